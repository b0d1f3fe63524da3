#include "DiagnosticLogBuffer.h"

#include "platform/AtomicFile.h"

#include "CrashCapture.h"
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

#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr QLatin1String logFileName("sorvane.log");

QMutex hooksMutex;
thread_local bool onWriterThread = false;
std::function<double()> testClock;
DiagnosticLogBuffer::TelemetryHandler telemetryHandler;
std::atomic<DiagnosticLogBuffer::TestHook> testHooks[3] = {};

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

namespace {

// Writes all of it, retrying a write cut short by a signal. A line normally goes in
// one write(2), so that O_APPEND keeps lines from different writers whole.
bool writeAll(int fd, const char *data, size_t size) noexcept
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= size_t(written);
    }
    return true;
}

QByteArray jsonLine(const DiagnosticLogEntry &entry)
{
    return QJsonDocument(entry.jsonObject()).toJson(QJsonDocument::Compact) + '\n';
}

void runTestHook(DiagnosticLogBuffer::TestHookPoint point, const DiagnosticLogEntry &entry)
{
    if (const DiagnosticLogBuffer::TestHook hook = testHooks[int(point)].load(std::memory_order_acquire))
        hook(entry);
}

} // namespace

// The one serial writer of a buffer's log file: lines are appended in the order
// they were queued, on a thread of its own, so add() never waits for the disk.
// Crash capture reads its counters and its kept-open file without any lock.
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
        if (const int fd = keptFd.exchange(-1); fd >= 0)
            ::close(fd);
    }

    void enqueue(DiagnosticLogEntry entry)
    {
        {
            std::lock_guard<std::mutex> locker(mutex);
            queue.push_back(std::move(entry));
            queued.fetch_add(1, std::memory_order_release);
            runTestHook(TestHookPoint::QueueLocked, queue.back());
        }
        wake.notify_one();
    }

    void flush()
    {
        std::unique_lock<std::mutex> locker(mutex);
        const quint64 target = queued.load();
        idle.wait(locker, [&] { return finished.load() >= target; });
    }

    QString liveFilePath() const
    {
        const QString folder = configuredFolder.isEmpty() ? AppPaths::logsFolder() : configuredFolder;
        return folder + QLatin1Char('/') + QString(logFileName);
    }

    bool keepLiveFileOpen()
    {
        std::lock_guard<std::mutex> locker(liveFileMutex);
        const QString live = liveFilePath();
        AppPaths::ensureFolder(QFileInfo(live).absolutePath());
        const QByteArray path = QFile::encodeName(live);
        if (size_t(path.size()) < sizeof livePath) {
            std::memcpy(livePath, path.constData(), size_t(path.size()) + 1);
            livePathReady.store(true, std::memory_order_release);
        }
        keepOpen = true;
        const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
        if (const int old = keptFd.exchange(fd); old >= 0)
            ::close(old);
        return true;
    }

    bool waitForQueuedLines(int timeoutMs) const noexcept
    {
        const quint64 target = queued.load(std::memory_order_acquire);
        if (finished.load(std::memory_order_acquire) >= target)
            return true;
        if (writerTid.load() == ::gettid())
            return false; // the writer is the one dying: nothing more gets written
        timespec start {};
        ::clock_gettime(CLOCK_MONOTONIC, &start);
        for (;;) {
            const timespec pause {0, 1000000};
            ::nanosleep(&pause, nullptr);
            if (finished.load(std::memory_order_acquire) >= target)
                return true;
            timespec now {};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            const long long elapsedMs =
                (now.tv_sec - start.tv_sec) * 1000LL + (now.tv_nsec - start.tv_nsec) / 1000000;
            if (elapsedMs >= timeoutMs)
                return false;
        }
    }

    bool writeLineNow(const char *line, size_t size) const noexcept
    {
        const int saved = errno;
        int fd = keptFd.load(std::memory_order_acquire);
        bool opened = false;
        if (fd < 0 && livePathReady.load(std::memory_order_acquire)) {
            fd = ::open(livePath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
            opened = fd >= 0;
        }
        const bool written = fd >= 0 && writeAll(fd, line, size);
        if (opened)
            ::close(fd);
        errno = saved;
        return written;
    }

private:
    void run()
    {
        onWriterThread = true;
        writerTid.store(::gettid());
        // Deep JSON or a runaway redaction must still end in a crash record.
        CrashCapture::prepareThread();
        std::unique_lock<std::mutex> locker(mutex);
        for (;;) {
            wake.wait(locker, [&] { return stopping || !queue.empty(); });
            if (queue.empty())
                return; // stopping, and everything queued is written
            DiagnosticLogEntry entry = std::move(queue.front());
            queue.pop_front();
            locker.unlock();
            runTestHook(TestHookPoint::WriterThread, entry);
            append(entry);
            locker.lock();
            finished.fetch_add(1, std::memory_order_release);
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
        const QByteArray line = jsonLine(entry);
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
            const int fd = ::open(QFile::encodeName(live).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
            if (fd >= 0) {
                writeAll(fd, line.constData(), size_t(line.size()));
                ::close(fd);
            }
            return;
        }
        std::lock_guard<std::mutex> locker(liveFileMutex);
        if (AtomicFile::write(live, line))
            reopenKeptFile(live);
    }

    // A new live file (after a rotation, or the old one was deleted): the kept
    // descriptor moves to it under the same number, so a signal handler reading it
    // at any moment finds an open file.
    void reopenKeptFile(const QString &live)
    {
        if (!keepOpen)
            return;
        const int fd = ::open(QFile::encodeName(live).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0)
            return;
        const int kept = keptFd.load();
        if (kept < 0) {
            keptFd.store(fd);
            return;
        }
        ::dup2(fd, kept);
        ::close(fd);
    }

    const QString configuredFolder;
    bool folderResolved = false;
    QString resolvedFolder;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<DiagnosticLogEntry> queue;
    // Read by a signal handler, so they are atomics rather than guarded by the mutex.
    std::atomic<quint64> queued {0};
    std::atomic<quint64> finished {0};
    std::atomic<pid_t> writerTid {0};
    bool stopping = false;

    // The file kept open for crash capture; guarded by liveFileMutex for writers,
    // read without it by the signal handler.
    std::mutex liveFileMutex;
    bool keepOpen = false;
    std::atomic<int> keptFd {-1};
    std::atomic<bool> livePathReady {false};
    char livePath[PATH_MAX] = {};

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

DiagnosticLogEntry DiagnosticLogBuffer::makeEntry(Level level, const QString &category, const QString &message,
                                                  const std::optional<LoggedError> &error)
{
    DiagnosticLogEntry entry;
    entry.msg = DiagnosticRedaction::redact(message);
    entry.ts = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    entry.level = levelText(level);
    entry.category = category;
    if (error) {
        entry.exceptionType = unqualified(error->typeName);
        entry.exceptionMessage = DiagnosticRedaction::redact(error->description);
    }
    return entry;
}

void DiagnosticLogBuffer::appendToRing(const DiagnosticLogEntry &entry)
{
    m_entries.append(entry);
    if (m_entries.size() > m_maxEntries)
        m_entries.remove(0, m_entries.size() - m_maxEntries);
    runTestHook(TestHookPoint::RingLocked, entry);
}

void DiagnosticLogBuffer::mirrorToSystemLog(Level level, const DiagnosticLogEntry &entry)
{
    const QString consoleLine = entry.exceptionMessage
        ? entry.msg + QStringLiteral(" (") + *entry.exceptionMessage + QLatin1Char(')')
        : entry.msg;
    const SystemLog::Type type = level == Level::Debug ? SystemLog::Type::Debug
        : level == Level::Info                         ? SystemLog::Type::Info
                                                       : SystemLog::Type::Error;
    SystemLog::write(type, entry.category, consoleLine);
}

void DiagnosticLogBuffer::add(Level level, const QString &category, const QString &message,
                              const std::optional<LoggedError> &error)
{
    if (level == Level::Debug && !isVerboseActive())
        return;

    const DiagnosticLogEntry entry = makeEntry(level, category, message, error);
    {
        QMutexLocker locker(&m_lock);
        appendToRing(entry);
        // Queued under the lock so that the file keeps the ring's order.
        m_writer->enqueue(entry);
    }

    mirrorToSystemLog(level, entry);

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

void DiagnosticLogBuffer::addFinal(Level level, const QString &category, const QString &message, int timeoutMs)
{
    if (level == Level::Debug && !isVerboseActive())
        return;

    const DiagnosticLogEntry entry = makeEntry(level, category, message, std::nullopt);
    // The dying thread may hold the lock itself (a throw from a noexcept function
    // does not unwind): then the ring simply goes without this entry.
    if (m_lock.tryLock(timeoutMs)) {
        appendToRing(entry);
        m_lock.unlock();
    }
    mirrorToSystemLog(level, entry);

    // Not through the queue: a writer that is stuck, or is this very thread, would
    // never write it. Waiting first keeps it after the lines logged before it.
    const QByteArray line = jsonLine(entry);
    m_writer->waitForQueuedLines(timeoutMs);
    if (m_writer->writeLineNow(line.constData(), size_t(line.size())))
        return;
    // Nothing kept open (crash capture not installed): open the file by its path.
    const QString live = m_writer->liveFilePath();
    AppPaths::ensureFolder(QFileInfo(live).absolutePath());
    const int fd = ::open(QFile::encodeName(live).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) {
        writeAll(fd, line.constData(), size_t(line.size()));
        ::close(fd);
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

bool DiagnosticLogBuffer::keepLiveFileOpen()
{
    return m_writer->keepLiveFileOpen();
}

bool DiagnosticLogBuffer::waitForQueuedLines(int timeoutMs) const noexcept
{
    return m_writer->waitForQueuedLines(timeoutMs);
}

bool DiagnosticLogBuffer::writeLineNow(const char *line, size_t size) const noexcept
{
    return m_writer->writeLineNow(line, size);
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
    if (secondsSince1970() - startedAt > verboseLifetimeSeconds) {
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

void DiagnosticLogBuffer::setTestHook(TestHookPoint point, TestHook hook)
{
    testHooks[int(point)].store(hook, std::memory_order_release);
}
