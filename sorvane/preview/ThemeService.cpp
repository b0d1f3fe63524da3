#include "ThemeService.h"

#include "diagnostics/CrashCapture.h"
#include "diagnostics/DiagnosticLogBuffer.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/DesktopShare.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

void logPersist(DiagnosticLogBuffer::Level level, const QString &message, const std::optional<LoggedError> &error)
{
    DiagnosticLogBuffer::shared().add(level, QStringLiteral("persist"), message, error);
}

} // namespace

// One thread that writes custom.css, one text at a time in the order they were
// handed over. A text still waiting when a newer one comes is dropped: only the
// newest needs to land, and nothing older can land after it.
struct ThemeService::SaveQueue {
    struct Job {
        QString path;
        QByteArray data;
    };

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Job> jobs;
    bool busy = false;
    bool stopping = false;
    // A file we could not read is moved out of the way before the first write.
    bool keepAsidePending = false;
    Writer writer;
    std::thread thread;

    ~SaveQueue()
    {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        if (thread.joinable())
            thread.join();
    }

    void enqueue(Job job)
    {
        {
            std::lock_guard lock(mutex);
            jobs.clear();
            jobs.push_back(std::move(job));
            if (!thread.joinable())
                thread = std::thread([this] { run(); });
        }
        wake.notify_all();
    }

    void waitUntilIdle()
    {
        std::unique_lock lock(mutex);
        idle.wait(lock, [this] { return jobs.empty() && !busy; });
    }

    void run()
    {
        CrashCapture::prepareThread();
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !jobs.empty(); });
            if (jobs.empty())
                return;
            Job job = std::move(jobs.front());
            jobs.pop_front();
            busy = true;
            const Writer write = writer;
            const bool keepAside = keepAsidePending;
            lock.unlock();
            const bool keptAside = !keepAside || moveAside(job.path);
            if (keptAside)
                writeFile(job, write);
            lock.lock();
            if (keepAside && keptAside)
                keepAsidePending = false;
            busy = false;
            if (jobs.empty())
                idle.notify_all();
        }
    }

    static bool moveAside(const QString &path)
    {
        if (!QFileInfo::exists(path))
            return true;
        // Dots keep the name short of what the log redacts as an opaque token.
        const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd.HHmmss"));
        QString aside = path + QStringLiteral(".unreadable-") + stamp;
        for (int n = 2; QFileInfo::exists(aside); ++n)
            aside = path + QStringLiteral(".unreadable-%1-%2").arg(stamp).arg(n);
        QFile file(path);
        if (!file.rename(aside)) {
            // Writing now would destroy the user's CSS; the text stays in memory
            // and the next save tries again.
            logPersist(DiagnosticLogBuffer::Level::Warn,
                       QStringLiteral("custom.css is not UTF-8 and could not be kept aside; not saved"),
                       LoggedError{QStringLiteral("FileRenameError"), file.errorString()});
            return false;
        }
        logPersist(DiagnosticLogBuffer::Level::Warn,
                   QStringLiteral("custom.css was not UTF-8; kept aside as %1").arg(QFileInfo(aside).fileName()),
                   std::nullopt);
        return true;
    }

    static void writeFile(const Job &job, const Writer &write)
    {
        QDir().mkpath(QFileInfo(job.path).absolutePath());
        QString error;
        const bool ok = write ? write(job.path, job.data, &error) : AtomicFile::write(job.path, job.data, &error);
        if (!ok) {
            // The text in memory keeps applying; only the next launch loses it.
            logPersist(DiagnosticLogBuffer::Level::Warn,
                       QStringLiteral("custom CSS save failed; in-memory theme intact but will not survive relaunch"),
                       LoggedError{QStringLiteral("FileWriteError"), error});
        }
    }
};

QString ThemeService::proThemeRawValue(ProTheme theme)
{
    switch (theme) {
    case ProTheme::SerifPro:
        return QStringLiteral("Serif Pro");
    case ProTheme::Mono:
        return QStringLiteral("Mono");
    case ProTheme::Minimal:
        break;
    }
    return QStringLiteral("Minimal");
}

std::optional<ThemeService::ProTheme> ThemeService::proThemeFromRawValue(const QString &rawValue)
{
    for (ProTheme theme : allProThemes()) {
        if (proThemeRawValue(theme) == rawValue)
            return theme;
    }
    return std::nullopt;
}

QList<ThemeService::ProTheme> ThemeService::allProThemes()
{
    return {ProTheme::SerifPro, ProTheme::Mono, ProTheme::Minimal};
}

QString ThemeService::proThemeStylesheet(ProTheme theme)
{
    switch (theme) {
    case ProTheme::SerifPro:
        return QStringLiteral(
            "body { font-family: \"Iowan Old Style\", \"Palatino Linotype\", Palatino, Georgia, serif; "
            "max-width: 720px; padding: 48px 40px; }\n"
            "h1, h2, h3, h4, h5, h6 { font-family: \"Iowan Old Style\", \"Palatino Linotype\", Palatino, Georgia, "
            "serif; font-weight: 600; letter-spacing: -0.01em; }\n"
            "h1 { font-size: 2.25em; }\n"
            "p { line-height: 1.75; }\n"
            "blockquote { font-style: italic; border-left-width: 4px; padding-left: 20px; }\n");
    case ProTheme::Mono:
        return QStringLiteral(
            "body { font-family: \"JetBrains Mono\", \"SF Mono\", \"Fira Code\", Menlo, monospace; "
            "font-size: 13px; line-height: 1.7; max-width: 800px; }\n"
            "h1, h2, h3, h4, h5, h6 { font-family: \"JetBrains Mono\", \"SF Mono\", Menlo, monospace; "
            "font-weight: 700; }\n"
            "code, pre code { font-size: 0.95em; }\n"
            "a { text-decoration: underline; }\n");
    case ProTheme::Minimal:
        break;
    }
    return QStringLiteral(
        "body { max-width: 620px; padding: 64px 32px; font-size: 17px; line-height: 1.7; }\n"
        "h1 { font-size: 1.9em; border-bottom: none; margin-bottom: 0.6em; }\n"
        "h2 { font-size: 1.4em; border-bottom: none; }\n"
        "h3 { font-size: 1.15em; }\n"
        "p { margin-bottom: 1.25em; }\n"
        "hr { margin: 3em auto; width: 40%; }\n");
}

QString ThemeService::startingTemplate()
{
    return QStringLiteral("/* Custom CSS for sorv.ane preview\n"
                          "   Paste anything. Selectors match the rendered HTML inside `#content`.\n"
                          "   Examples:\n"
                          "\n"
                          "   body { max-width: 720px; }\n"
                          "   h1 { color: #c0392b; }\n"
                          "   pre { background: #0b1020; color: #e3e9ff; }\n"
                          "*/");
}

QString ThemeService::customCSSPath()
{
    const QString folder = AppPaths::supportFolder();
    if (folder.isEmpty())
        return QString();
    return folder + QStringLiteral("/custom.css");
}

ThemeService::ThemeService(Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_selectedProThemeRaw(settings.stringValue(SettingsKeys::proTheme))
    , m_useCustomCSS(settings.useCustomCSS())
    , m_saves(std::make_unique<SaveQueue>())
{
    bool unreadable = false;
    m_customCSS = loadCustomCSS(&unreadable).value_or(startingTemplate());
    m_saves->keepAsidePending = unreadable;
    m_saveDelay.setSingleShot(true);
    m_saveDelay.setInterval(saveDelayMs);
    connect(&m_saveDelay, &QTimer::timeout, this, [this] {
        saveCustomCSS();
        if (m_useCustomCSS)
            Q_EMIT extraCSSChanged();
    });
}

ThemeService::~ThemeService()
{
    flushPendingSave();
}

ThemeService &ThemeService::shared()
{
    static ThemeService *service = [] {
        auto *created = new ThemeService(Settings::shared());
        // The last keystrokes must not be lost when the application quits.
        if (auto *app = QCoreApplication::instance())
            connect(app, &QCoreApplication::aboutToQuit, created, &ThemeService::flushPendingSave);
        return created;
    }();
    return *service;
}

void ThemeService::setWriterForTesting(Writer writer)
{
    std::lock_guard lock(m_saves->mutex);
    m_saves->writer = std::move(writer);
}

void ThemeService::flushPendingSave()
{
    if (m_saveDelay.isActive()) {
        m_saveDelay.stop();
        saveCustomCSS();
        if (m_useCustomCSS)
            Q_EMIT extraCSSChanged();
    }
    m_saves->waitUntilIdle();
}

void ThemeService::setSelectedProThemeRaw(const QString &raw)
{
    m_selectedProThemeRaw = raw;
    Q_EMIT selectedProThemeRawChanged();
    Q_EMIT changed();
    Q_EMIT extraCSSChanged();
    // The empty string is stored as such: "no extra theme" is a choice.
    m_settings.setValue(SettingsKeys::proTheme, raw);
}

void ThemeService::setCustomCSS(const QString &css)
{
    m_customCSS = css;
    Q_EMIT customCSSChanged();
    Q_EMIT changed();
    // Writing and reloading the previews on every keystroke stalls typing.
    m_saveDelay.start();
}

void ThemeService::setUseCustomCSS(bool on)
{
    m_useCustomCSS = on;
    Q_EMIT useCustomCSSChanged();
    Q_EMIT changed();
    Q_EMIT extraCSSChanged();
    m_settings.setUseCustomCSS(on);
}

QString ThemeService::extraCSS() const
{
    QString css;
    if (const auto theme = proThemeFromRawValue(m_selectedProThemeRaw))
        css += proThemeStylesheet(*theme);
    if (m_useCustomCSS)
        css += QStringLiteral("\n/* user custom.css */\n") + m_customCSS;
    return css;
}

void ThemeService::saveCustomCSS()
{
    const QString path = customCSSPath();
    if (path.isEmpty())
        return;
    m_saves->enqueue({path, m_customCSS.toUtf8()});
}

std::optional<QString> ThemeService::loadCustomCSS(bool *unreadable)
{
    *unreadable = false;
    const QString path = customCSSPath();
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *unreadable = file.exists();
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(file.readAll());
    if (decoder.hasError()) {
        *unreadable = true;
        return std::nullopt;
    }
    return text;
}

void ThemeService::revealCustomCSSInFinder()
{
    const QString path = customCSSPath();
    if (path.isEmpty())
        return;
    flushPendingSave();
    if (!QFileInfo::exists(path)) {
        saveCustomCSS();
        m_saves->waitUntilIdle();
    }
    if (m_revealer) {
        m_revealer(path);
        return;
    }
    DesktopShare::showInFileManager(path);
}
