#include "SessionStateStore.h"

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>

namespace {

const QString decodingErrorType = QStringLiteral("DecodingError");
const QString fileErrorType = QStringLiteral("FileError");

const QString writeFailedMessage =
    QStringLiteral("session-state file write failed; open-tab state will not survive relaunch");

} // namespace

SessionStateStore::SessionStateStore(Settings &settings, QString supportFolder, PersistenceLog log)
    : m_settings(settings), m_folder(std::move(supportFolder)), m_log(std::move(log))
{
}

SessionStateStore::SessionStateStore() : SessionStateStore(Settings::shared(), AppPaths::supportFolder()) {}

QString SessionStateStore::filePath() const
{
    return m_folder.isEmpty() ? QString() : m_folder + QLatin1Char('/') + QLatin1String(fileName);
}

bool SessionStateStore::shouldRestoreSession() const
{
    const QJsonValue stored = m_settings.storedValue(SettingsKeys::restoreSession);
    if (stored.isUndefined() || stored.isNull())
        return true;
    return m_settings.boolValue(SettingsKeys::restoreSession, SettingsDefaults::restoreSession);
}

void SessionStateStore::logLine(DiagnosticLogBuffer::Level level, const QString &message,
                                const std::optional<LoggedError> &error) const
{
    if (m_log)
        m_log(level, QLatin1String(logCategory), message, error);
}

void SessionStateStore::write(const DocumentSessionState &state)
{
    m_settings.remove(SettingsKeys::legacySessionState);
    const QString path = filePath();
    if (!shouldRestoreSession()) {
        if (!path.isEmpty())
            QFile::remove(path);
        return;
    }
    const QByteArray data = state.encode();
    if (data.isEmpty()) {
        logLine(DiagnosticLogBuffer::Level::Error,
                QStringLiteral("session-state JSON encode failed; open-tab state will not survive relaunch"),
                LoggedError{QStringLiteral("EncodingError"), QStringLiteral("the JSON encoder produced nothing")});
        return;
    }
    if (path.isEmpty())
        return;
    if (!AppPaths::ensureFolder(m_folder)) {
        logLine(DiagnosticLogBuffer::Level::Error, writeFailedMessage,
                LoggedError{fileErrorType, QStringLiteral("could not create the folder %1").arg(m_folder)});
        return;
    }
    protectUndecodableFile();
    QString reason;
    if (!AtomicFile::write(path, data, &reason))
        logLine(DiagnosticLogBuffer::Level::Error, writeFailedMessage, LoggedError{fileErrorType, reason});
}

std::optional<DocumentSessionState> SessionStateStore::decodeFile(const QByteArray &data)
{
    QString reason;
    std::optional<DocumentSessionState> state = DocumentSessionState::decode(data, &reason);
    if (!state) {
        logLine(DiagnosticLogBuffer::Level::Warn,
                QStringLiteral("session-state file decode failed; falling back to legacy key"),
                LoggedError{decodingErrorType, reason});
        keepAside();
    }
    return state;
}

void SessionStateStore::protectUndecodableFile()
{
    if (m_fileChecked)
        return;
    m_fileChecked = true;
    QFile file(filePath());
    if (file.open(QIODevice::ReadOnly) && !DocumentSessionState::decode(file.readAll()))
        keepAside();
}

void SessionStateStore::keepAside()
{
    const QString path = filePath();
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString target = path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);
    QFile file(path);
    if (file.rename(target)) {
        m_keptAsidePath = target;
        logLine(DiagnosticLogBuffer::Level::Info,
                QStringLiteral("undecodable session-state file kept as ") + QFileInfo(target).fileName());
    } else {
        logLine(DiagnosticLogBuffer::Level::Error,
                QStringLiteral("could not keep the undecodable session-state file aside"),
                LoggedError{fileErrorType, file.errorString()});
    }
}

std::optional<DocumentSessionState> SessionStateStore::load()
{
    const QString path = filePath();
    if (!path.isEmpty()) {
        m_fileChecked = true;
        QFile file(path);
        if (QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly)) {
            const QByteArray data = file.readAll();
            file.close();
            if (std::optional<DocumentSessionState> state = decodeFile(data))
                return state;
        }
    }

    const QJsonValue legacy = m_settings.storedValue(SettingsKeys::legacySessionState);
    if (legacy.isUndefined() || legacy.isNull())
        return std::nullopt;
    QString reason;
    std::optional<DocumentSessionState> state;
    if (legacy.isString())
        state = DocumentSessionState::decode(legacy.toString().toUtf8(), &reason);
    else if (legacy.isObject())
        state = DocumentSessionState::fromJson(legacy.toObject(), &reason);
    else
        reason = QStringLiteral("the stored value is neither JSON text nor an object");
    if (!state)
        logLine(DiagnosticLogBuffer::Level::Warn,
                QStringLiteral("legacy session-state (UserDefaults) decode failed; next launch starts fresh"),
                LoggedError{decodingErrorType, reason});
    return state;
}

std::optional<QDateTime> SessionStateStore::fileModificationTime() const
{
    const QFileInfo info(filePath());
    if (filePath().isEmpty() || !info.isFile())
        return std::nullopt;
    return info.lastModified().toUTC();
}
