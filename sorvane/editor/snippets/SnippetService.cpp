#include "SnippetService.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace {
Snippet starter(const QString &name, const QString &trigger, const QString &body)
{
    Snippet snippet;
    snippet.name = name;
    snippet.trigger = trigger;
    snippet.body = body;
    return snippet;
}

void logPersistWarning(const QString &message, const QString &errorType, const QString &error)
{
    DiagnosticLogBuffer::shared().add(DiagnosticLogBuffer::Level::Warn, QStringLiteral("persist"), message,
                                      LoggedError{errorType, error});
}
} // namespace

SnippetService::SnippetService(const QString &storePath, QObject *parent)
    : QObject(parent)
    , m_path(storePath)
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(saveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, &SnippetService::save);
    // An edit made just before Quit must still reach the disk.
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &SnippetService::flushPendingSave);
    load();
}

SnippetService::~SnippetService()
{
    flushPendingSave();
}

SnippetService &SnippetService::shared()
{
    static SnippetService *service = new SnippetService(storePath());
    return *service;
}

QString SnippetService::storePath()
{
    const QString folder = AppPaths::supportFolder();
    if (folder.isEmpty())
        return {};
    return folder + QStringLiteral("/snippets.json");
}

const QList<Snippet> &SnippetService::starters()
{
    static const QList<Snippet> list = {
        starter(QStringLiteral("Today's date"), QStringLiteral(";date"), QStringLiteral("{{date}}")),
        starter(QStringLiteral("Timestamp"), QStringLiteral(";now"), QStringLiteral("{{datetime}}")),
        starter(QStringLiteral("Meeting notes"), QStringLiteral(";meet"),
                QStringLiteral("# Meeting \u2014 {{date}}\n\n**Attendees:** {{cursor}}\n\n## Agenda\n\n- \n\n"
                               "## Notes\n\n## Action items\n\n- [ ] ")),
        starter(QStringLiteral("Blog post frontmatter"), QStringLiteral(";post"),
                QStringLiteral("---\ntitle: {{cursor}}\ndate: {{date}}\ndraft: true\ntags: []\n---\n\n")),
        starter(QStringLiteral("Code block"), QStringLiteral(";code"), QStringLiteral("```\n{{cursor}}\n```")),
    };
    return list;
}

void SnippetService::load()
{
    if (!m_path.isEmpty() && QFileInfo::exists(m_path)) {
        QFile file(m_path);
        QString problem;
        std::optional<QList<Snippet>> decoded;
        if (!file.open(QIODevice::ReadOnly)) {
            problem = file.errorString();
        } else {
            QJsonParseError parseError;
            const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
            if (parseError.error != QJsonParseError::NoError) {
                problem = parseError.errorString();
            } else if (!document.isArray()) {
                problem = QStringLiteral("not an array of snippets");
            } else {
                QList<Snippet> list;
                for (const QJsonValue &value : document.array()) {
                    auto snippet = Snippet::fromJson(value);
                    if (!snippet) {
                        problem = QStringLiteral("a snippet lacks a key or has a wrong value");
                        break;
                    }
                    list.append(*snippet);
                }
                if (problem.isEmpty())
                    decoded = list;
            }
        }
        if (decoded) {
            m_snippets = *decoded;
            return;
        }
        // Keep what the user had (perhaps one hand edit away from working) before
        // the starters take its place.
        logPersistWarning(QStringLiteral("snippet library unreadable; kept aside and replaced by the starters"),
                          QStringLiteral("SnippetLoadError"), problem);
        if (!moveAside())
            m_writeBlocked = true;
    }
    m_snippets = starters();
    save();
}

bool SnippetService::moveAside()
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QString base = m_path + QStringLiteral(".invalid-") + stamp;
    QString target = base;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = base + QLatin1Char('-') + QString::number(n);
    if (QDir().rename(m_path, target))
        return true;
    logPersistWarning(QStringLiteral("snippet library could not be kept aside; it stays as it is and changes "
                                     "will not survive relaunch"),
                      QStringLiteral("SnippetLoadError"), QStringLiteral("rename to %1 failed").arg(target));
    return false;
}

std::optional<Snippet> SnippetService::find(const QString &trigger) const
{
    for (const Snippet &snippet : m_snippets) {
        if (snippet.trigger == trigger)
            return snippet;
    }
    return std::nullopt;
}

void SnippetService::setSnippets(const QList<Snippet> &snippets)
{
    m_snippets = snippets;
    Q_EMIT snippetsChanged();
}

void SnippetService::update(const Snippet &snippet)
{
    for (qsizetype i = 0; i < m_snippets.size(); ++i) {
        if (m_snippets[i].id == snippet.id) {
            QList<Snippet> list = m_snippets;
            list[i] = snippet;
            setSnippets(list);
            scheduleSave();
            return;
        }
    }
}

void SnippetService::add(const Snippet &snippet)
{
    QList<Snippet> list = m_snippets;
    list.append(snippet);
    setSnippets(list);
    scheduleSave();
}

void SnippetService::remove(const QUuid &id)
{
    QList<Snippet> list = m_snippets;
    list.removeIf([&](const Snippet &snippet) { return snippet.id == id; });
    setSnippets(list);
    scheduleSave();
}

void SnippetService::resetToDefaults()
{
    setSnippets(starters());
    scheduleSave();
}

void SnippetService::scheduleSave()
{
    m_saveTimer.start();
}

void SnippetService::flushPendingSave()
{
    if (!m_saveTimer.isActive())
        return;
    m_saveTimer.stop();
    save();
}

void SnippetService::save()
{
    if (m_path.isEmpty() || m_writeBlocked)
        return;
    // A failure here shows up as the write's failure just below.
    AppPaths::ensureFolder(QFileInfo(m_path).absolutePath());
    QJsonArray array;
    for (const Snippet &snippet : m_snippets)
        array.append(snippet.jsonObject());
    QString error;
    const bool ok = AtomicFile::write(m_path, QJsonDocument(array).toJson(QJsonDocument::Indented), &error);
    if (!ok)
        logPersistWarning(QStringLiteral("snippet save failed; in-memory snippets intact but will not survive relaunch"),
                          QStringLiteral("SnippetSaveError"), error);
    Q_EMIT saveFinished(ok);
}
