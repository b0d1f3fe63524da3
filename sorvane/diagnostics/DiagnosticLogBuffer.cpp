#include "DiagnosticLogBuffer.h"

#include "platform/AtomicFile.h"

#include "DiagnosticRedaction.h"
#include "platform/AppPaths.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "platform/SystemLog.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMutexLocker>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>

namespace {

constexpr QLatin1String logFileName("sorvane.log");

QMutex hooksMutex;
thread_local bool onWriterThread = false;
std::function<double()> testClock;
DiagnosticLogBuffer::TelemetryHandler telemetryHandler;

double secondsSince1970()
{
    std::function<double()> clock;
    {
        QMutexLocker locker(&hooksMutex);
        clock = testClock;
    }
    return clock ? clock() : double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

QString unqualified(const QString &typeName)
{
    const qsizetype colons = typeName.lastIndexOf(QLatin1String("::"));
    return colons < 0 ? typeName : typeName.mid(colons + 2);
}

} // namespace

QJsonObject DiagnosticLogEntry::jsonObject() const
{
    QJsonObject object{
        {QStringLiteral("ts"), ts},
        {QStringLiteral("level"), level},
        {QStringLiteral("category"), category},
        {QStringLiteral("msg"), msg},
    };
    if (exceptionType && !exceptionType->isEmpty())
        object.insert(QStringLiteral("exception_type"), *exceptionType);
    if (exceptionMessage && !exceptionMessage->isEmpty())
        object.insert(QStringLiteral("exception_message"), *exceptionMessage);
    return object;
}

// The one serial writer of a buffer's log file: lines are appended in the order
// they were queued, on a thread of its own, so add() never waits for the disk.
struct DiagnosticLogBuffer::FileWriter {
    explicit FileWriter(QString folder)
        : configuredFolder(std::move(folder))
        , thread([this] { run(); })
    {
    }

    ~FileWriter()
    {
        {
            std::lock_guard<std::mutex> locker(mutex);
            stopping = true;
        }
        wake.notify_one();
        thread.join();
    }

    void enqueue(DiagnosticLogEntry entry)
    {
        {
            std::lock_guard<std::mutex> locker(mutex);
            queue.push_back(std::move(entry));
            ++queued;
        }
        wake.notify_one();
    }

    void flush()
    {
        std::unique_lock<std::mutex> locker(mutex);
        const quint64 target = queued;
        idle.wait(locker, [&] { return finished >= target; });
    }

    QString liveFilePath() const
    {
        const QString folder = configuredFolder.isEmpty() ? AppPaths::logsFolder() : configuredFolder;
        return folder + QLatin1Char('/') + QString(logFileName);
    }

private:
    void run()
    {
        onWriterThread = true;
        std::unique_lock<std::mutex> locker(mutex);
        for (;;) {
            wake.wait(locker, [&] { return stopping || !queue.empty(); });
            if (queue.empty())
                return; // stopping, and everything queued is written
            DiagnosticLogEntry entry = std::move(queue.front());
            queue.pop_front();
            locker.unlock();
            append(entry);
            locker.lock();
            ++finished;
            idle.notify_all();
        }
    }

    // Resolved on the first write and remembered.
    QString folder()
    {
        if (!folderResolved) {
            folderResolved = true;
            resolvedFolder = configuredFolder.isEmpty() ? AppPaths::logsFolder() : configuredFolder;
            AppPaths::ensureFolder(resolvedFolder); // a failure shows up as a failed open below
        }
        return resolvedFolder;
    }

    void append(const DiagnosticLogEntry &entry)
    {
        const QString dir = folder();
        if (dir.isEmpty())
            return;
        const QByteArray line = QJsonDocument(entry.jsonObject()).toJson(QJsonDocument::Compact) + '\n';
        const QString live = dir + QLatin1Char('/') + QString(logFileName);
        const QString rotated = live + QStringLiteral(".1");

        QFileInfo info(live);
        if (info.exists() && info.size() >= rotationThreshold) {
            QFile::remove(rotated);
            QFile::rename(live, rotated);
            info.refresh();
        }

        if (info.exists() || info.isSymLink()) {
            // A log that is there but will not open for appending (read-only, a folder,
            // a dangling link) is left alone: the entry stays in the ring and system log.
            QFile file(live);
            if (file.open(QIODevice::WriteOnly | QIODevice::Append))
                file.write(line);
            return;
        }
        AtomicFile::write(live, line);
    }

    const QString configuredFolder;
    bool folderResolved = false;
    QString resolvedFolder;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<DiagnosticLogEntry> queue;
    quint64 queued = 0;
    quint64 finished = 0;
    bool stopping = false;
    std::thread thread; // last, so that it starts after everything it uses
};

DiagnosticLogBuffer::DiagnosticLogBuffer(int capacity, const QString &logFolder)
    : m_maxEntries(std::max(capacity, 1))
    , m_writer(std::make_unique<FileWriter>(logFolder))
{
    m_entries.reserve(m_maxEntries);
}

DiagnosticLogBuffer::~DiagnosticLogBuffer() = default;

DiagnosticLogBuffer &DiagnosticLogBuffer::shared()
{
    // Never destroyed, so that late writers during shutdown still find it; queued lines
    // are written out at exit.
    static DiagnosticLogBuffer *const instance = [] {
        auto *buffer = new DiagnosticLogBuffer(sharedCapacity);
        std::atexit([] { DiagnosticLogBuffer::shared().flush(); });
        return buffer;
    }();
    return *instance;
}

void DiagnosticLogBuffer::add(Level level, const QString &category, const QString &message,
                              const std::optional<LoggedError> &error)
{
    if (level == Level::Debug && !isVerboseActive())
        return;

    DiagnosticLogEntry entry;
    entry.msg = DiagnosticRedaction::redact(message);
    entry.ts = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    entry.level = levelText(level);
    entry.category = category;
    if (error) {
        entry.exceptionType = unqualified(error->typeName);
        entry.exceptionMessage = DiagnosticRedaction::redact(error->description);
    }

    {
        QMutexLocker locker(&m_lock);
        m_entries.append(entry);
        if (m_entries.size() > m_maxEntries)
            m_entries.remove(0, m_entries.size() - m_maxEntries);
        // Queued under the lock so that the file keeps the ring's order.
        m_writer->enqueue(entry);
    }

    const QString consoleLine =
        error ? entry.msg + QStringLiteral(" (") + *entry.exceptionMessage + QLatin1Char(')') : entry.msg;
    const SystemLog::Type type = level == Level::Debug ? SystemLog::Type::Debug
        : level == Level::Info                         ? SystemLog::Type::Info
                                                       : SystemLog::Type::Error;
    SystemLog::write(type, category, consoleLine);

    if (level == Level::Warn || level == Level::Error) {
        TelemetryHandler handler;
        {
            QMutexLocker locker(&hooksMutex);
            handler = telemetryHandler;
        }
        if (handler)
            handler(level == Level::Warn ? TelemetryLevel::Warning : TelemetryLevel::Error, entry.msg,
                    {{QStringLiteral("category"), category}});
    }
}

QList<DiagnosticLogEntry> DiagnosticLogBuffer::entries() const
{
    QMutexLocker locker(&m_lock);
    return m_entries;
}

QList<DiagnosticLogEntry> DiagnosticLogBuffer::lastEntries(qsizetype count) const
{
    QMutexLocker locker(&m_lock);
    return count >= m_entries.size() ? m_entries : m_entries.mid(m_entries.size() - std::max<qsizetype>(count, 0));
}

bool DiagnosticLogBuffer::isWriterThread()
{
    return onWriterThread;
}

void DiagnosticLogBuffer::flush()
{
    m_writer->flush();
}

QString DiagnosticLogBuffer::logFilePath() const
{
    return m_writer->liveFilePath();
}

QString DiagnosticLogBuffer::levelText(Level level)
{
    switch (level) {
    case Level::Debug:
        return QStringLiteral("debug");
    case Level::Info:
        return QStringLiteral("info");
    case Level::Warn:
        return QStringLiteral("warn");
    case Level::Error:
        return QStringLiteral("error");
    }
    return QString();
}

bool DiagnosticLogBuffer::isVerboseActive()
{
    Settings &settings = Settings::shared();
    if (!settings.boolValue(SettingsKeys::verboseDiagnosticsEnabled))
        return false;
    const double startedAt = settings.doubleValue(SettingsKeys::verboseDiagnosticsEnabledAt);
    if (!(startedAt > 0)) // also refuses a stored NaN, which would never expire
        return false;
    // A start in the future means the clock went back: the day cannot be measured,
    // so the switch ends rather than staying on indefinitely.
    const double elapsed = secondsSince1970() - startedAt;
    if (elapsed > verboseLifetimeSeconds || elapsed < 0) {
        settings.setValue(SettingsKeys::verboseDiagnosticsEnabled, false);
        return false;
    }
    return true;
}

void DiagnosticLogBuffer::setVerbose(bool on)
{
    Settings &settings = Settings::shared();
    settings.setValue(SettingsKeys::verboseDiagnosticsEnabled, on);
    settings.setValue(SettingsKeys::verboseDiagnosticsEnabledAt, on ? secondsSince1970() : 0.0);
}

void DiagnosticLogBuffer::setClockForTesting(std::function<double()> clock)
{
    QMutexLocker locker(&hooksMutex);
    testClock = std::move(clock);
}

void DiagnosticLogBuffer::setTelemetryHandler(TelemetryHandler handler)
{
    QMutexLocker locker(&hooksMutex);
    telemetryHandler = std::move(handler);
}
