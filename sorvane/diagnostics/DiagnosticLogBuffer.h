#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// An error that comes with a log message: its type name and its description.
struct LoggedError {
    QString typeName;
    QString description;
};

// One entry of the diagnostic log; every text but the category is already redacted.
struct DiagnosticLogEntry {
    QString ts;
    QString level;
    QString category;
    QString msg;
    std::optional<QString> exceptionType;
    std::optional<QString> exceptionMessage;

    // The entry as one line of the log file: "ts", "level", "category", "msg", plus
    // "exception_type" and "exception_message" only when present and not empty.
    QJsonObject jsonObject() const;
};

// The process-wide diagnostic log: redacts each message, keeps the newest entries in
// memory, mirrors them to the system log, appends them to sorvane.log on one serial
// writer thread and hands warnings and errors to the error-telemetry client.
// Every subsystem writes to shared(); the report builder reads the ring.
class DiagnosticLogBuffer
{
public:
    enum class Level { Debug, Info, Warn, Error };
    enum class TelemetryLevel { Warning, Error };

    using TelemetryHandler =
        std::function<void(TelemetryLevel level, const QString &event, const QMap<QString, QString> &fields)>;

    static constexpr int sharedCapacity = 200;
    // A live file at least this large is rotated before the next line (more than 1 MiB).
    static constexpr qint64 rotationThreshold = 1048577;
    static constexpr double verboseLifetimeSeconds = 86400;

    // logFolder empty: the standard logs folder, resolved on the first write.
    explicit DiagnosticLogBuffer(int capacity, const QString &logFolder = QString());
    ~DiagnosticLogBuffer();
    DiagnosticLogBuffer(const DiagnosticLogBuffer &) = delete;
    DiagnosticLogBuffer &operator=(const DiagnosticLogBuffer &) = delete;

    static DiagnosticLogBuffer &shared();

    // Callable from any thread; returns without waiting for the file write.
    void add(Level level, const QString &category, const QString &message,
             const std::optional<LoggedError> &error = std::nullopt);

    // Copies of the ring, oldest first.
    QList<DiagnosticLogEntry> entries() const;
    QList<DiagnosticLogEntry> lastEntries(qsizetype count) const;

    // Waits until every line queued so far is on disk (or given up on).
    void flush();

    // The live log file this buffer appends to.
    QString logFilePath() const;

    // Crash capture's way in. A dying process cannot trust the ring's lock or the
    // writer's queue (the crash may have come while one was held, or on the writer's
    // own thread), so its last record goes straight to a file kept open for it.

    // Opens the live file now (creating it) and keeps it open, reopened by the writer
    // whenever it starts a new file. False when it cannot be opened.
    bool keepLiveFileOpen();
    // Async-signal-safe. Waits at most timeoutMs until every line queued before the
    // call is written; false when they were not (on the writer's own thread at once).
    bool waitForQueuedLines(int timeoutMs) const noexcept;
    // Async-signal-safe. Appends one whole line to the kept-open file with a single
    // write(2) (or opens the live file by its path when none is kept).
    bool writeLineNow(const char *line, size_t size) const noexcept;
    // For a process about to abort: add() that waits at most timeoutMs for the ring's
    // lock and for the lines queued before it, then writes its line itself. Not
    // forwarded to telemetry, which could not send it before the process ends.
    void addFinal(Level level, const QString &category, const QString &message, int timeoutMs);

    // True on a thread that writes log files: whatever it says must not come back
    // as another entry to write.
    static bool isWriterThread();

    static QString levelText(Level level);

    // The verbose switch: debug entries are kept only while it is on, and it turns
    // itself off one day after it was switched on.
    static bool isVerboseActive();
    static void setVerbose(bool on);
    // Seconds since 1970; tests pass their own clock, nullptr restores the real one.
    static void setClockForTesting(std::function<double()> secondsSince1970);

    // Receives warnings and errors (event = the redacted message, fields = {"category"}).
    // Never called while a lock of the buffer is held.
    static void setTelemetryHandler(TelemetryHandler handler);

    // Where a test may make the log's machinery crash: while the ring's lock is held
    // (after the entry joined the ring), while the writer's queue is held (after the
    // entry was queued), and on the writer's thread before it writes the entry.
    enum class TestHookPoint { RingLocked, QueueLocked, WriterThread };
    using TestHook = void (*)(const DiagnosticLogEntry &entry);
    static void setTestHook(TestHookPoint point, TestHook hook);

private:
    struct FileWriter;

    static DiagnosticLogEntry makeEntry(Level level, const QString &category, const QString &message,
                                        const std::optional<LoggedError> &error);
    // Under m_lock.
    void appendToRing(const DiagnosticLogEntry &entry);
    static void mirrorToSystemLog(Level level, const DiagnosticLogEntry &entry);

    mutable QMutex m_lock;
    QList<DiagnosticLogEntry> m_entries;
    const int m_maxEntries;
    std::unique_ptr<FileWriter> m_writer;
};
