#include "TestFiles.h"
#include "TestEnvironment.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "platform/Settings.h"
#include "platform/SystemLog.h"

#include <QApplication>
#include <QJsonDocument>
#include <QLocalServer>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <unistd.h>
#include <vector>

using Level = DiagnosticLogBuffer::Level;
using TelemetryLevel = DiagnosticLogBuffer::TelemetryLevel;

namespace {

struct SystemLogLine {
    SystemLog::Type type;
    QString category;
    QString line;
};

struct TelemetryCall {
    TelemetryLevel level;
    QString event;
    QMap<QString, QString> fields;
};

// Records what reaches the system log and the telemetry hand-off while it lives.
class Witness
{
public:
    Witness()
    {
        SystemLog::setObserver([this](SystemLog::Type type, const QString &category, const QString &line) {
            QMutexLocker locker(&m_mutex);
            m_systemLog.append({type, category, line});
        });
        DiagnosticLogBuffer::setTelemetryHandler(
            [this](TelemetryLevel level, const QString &event, const QMap<QString, QString> &fields) {
                QMutexLocker locker(&m_mutex);
                m_telemetry.append({level, event, fields});
            });
    }
    ~Witness()
    {
        SystemLog::setObserver(nullptr);
        DiagnosticLogBuffer::setTelemetryHandler(nullptr);
    }

    QList<SystemLogLine> systemLog() const
    {
        QMutexLocker locker(&m_mutex);
        return m_systemLog;
    }
    QList<TelemetryCall> telemetry() const
    {
        QMutexLocker locker(&m_mutex);
        return m_telemetry;
    }

private:
    mutable QMutex m_mutex;
    QList<SystemLogLine> m_systemLog;
    QList<TelemetryCall> m_telemetry;
};


// Every line of the file as a JSON object; fails the test on a line that does not parse.
QList<QJsonObject> jsonLines(const QString &path)
{
    QList<QJsonObject> objects;
    const QByteArray content = readFile(path);
    if (content.isEmpty())
        return objects;
    [&] { QVERIFY2(content.endsWith('\n'), "the file ends in the middle of a line"); }();
    const QList<QByteArray> lines = content.chopped(1).split('\n');
    for (const QByteArray &line : lines) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        [&] { QVERIFY2(error.error == QJsonParseError::NoError && document.isObject(), line.constData()); }();
        objects.append(document.object());
    }
    return objects;
}

} // namespace

class tst_DiagnosticLogBuffer : public QObject
{
    Q_OBJECT

private:
    QString logFile() const { return m_folder->path() + QStringLiteral("/sorvane.log"); }

    std::unique_ptr<QTemporaryDir> m_folder;

private Q_SLOTS:
    void init()
    {
        m_folder = std::make_unique<QTemporaryDir>();
        QVERIFY(m_folder->isValid());
        DiagnosticLogBuffer::setClockForTesting(nullptr);
        DiagnosticLogBuffer::setVerbose(false);
    }
    void cleanup()
    {
        DiagnosticLogBuffer::setClockForTesting(nullptr);
        DiagnosticLogBuffer::setVerbose(false);
    }

    void ringKeepsTheNewest_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("kept");

        QTest::newRow("201 into 200") << 200 << 201 << 200;
        QTest::newRow("capacity 0 gives 1") << 0 << 3 << 1;
        QTest::newRow("negative capacity gives 1") << -5 << 2 << 1;
        QTest::newRow("below capacity") << 5 << 3 << 3;
    }
    void ringKeepsTheNewest()
    {
        QFETCH(int, capacity);
        QFETCH(int, added);
        QFETCH(int, kept);

        DiagnosticLogBuffer buffer(capacity, m_folder->path());
        for (int i = 0; i < added; ++i)
            buffer.add(Level::Info, QStringLiteral("test"), QStringLiteral("m%1").arg(i));

        const QList<DiagnosticLogEntry> entries = buffer.entries();
        QCOMPARE(entries.size(), kept);
        QCOMPARE(entries.first().msg, QStringLiteral("m%1").arg(added - kept));
        QCOMPARE(entries.last().msg, QStringLiteral("m%1").arg(added - 1));
        const QList<DiagnosticLogEntry> lastTwo = buffer.lastEntries(2);
        QCOMPARE(lastTwo.size(), std::min(2, kept));
        QCOMPARE(lastTwo.last().msg, entries.last().msg);
        buffer.flush();
        QCOMPARE(jsonLines(logFile()).size(), added); // the file keeps everything
    }

    void lineHasTheLogKeys_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("withError");
        QTest::addColumn<QString>("errorType");
        QTest::addColumn<QString>("errorText");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("expectedMsg");
        QTest::addColumn<QString>("expectedErrorMessage");

        const QStringList four{"category", "level", "msg", "ts"};
        const QStringList six{"category", "exception_message", "exception_type", "level", "msg", "ts"};
        QTest::newRow("info without error") << int(Level::Info) << "opened /home/jo/a.md" << false << QString()
                                            << QString() << four << "opened /home/<redacted>/a.md" << QString();
        QTest::newRow("warn with error")
            << int(Level::Warn) << "save failed" << true << "sorvane::FileError"
            << "cannot write /home/jo/a.md" << six << "save failed" << "cannot write /home/<redacted>/a.md";
        QTest::newRow("error with empty error texts")
            << int(Level::Error) << "boom" << true << QString() << QString() << four << "boom" << QString();
        QTest::newRow("empty message is kept") << int(Level::Info) << QString() << false << QString() << QString()
                                               << four << QString() << QString();
    }
    void lineHasTheLogKeys()
    {
        QFETCH(int, level);
        QFETCH(QString, message);
        QFETCH(bool, withError);
        QFETCH(QString, errorType);
        QFETCH(QString, errorText);
        QFETCH(QStringList, keys);
        QFETCH(QString, expectedMsg);
        QFETCH(QString, expectedErrorMessage);

        DiagnosticLogBuffer buffer(10, m_folder->path());
        const std::optional<LoggedError> error =
            withError ? std::optional<LoggedError>(LoggedError{errorType, errorText}) : std::nullopt;
        buffer.add(Level(level), QStringLiteral("persist jo@example.com"), message, error);
        buffer.flush();

        const QList<QJsonObject> lines = jsonLines(logFile());
        QCOMPARE(lines.size(), 1);
        const QJsonObject line = lines.first();
        QStringList actualKeys = line.keys();
        actualKeys.sort();
        QCOMPARE(actualKeys, keys);
        QCOMPARE(line.value("level").toString(), DiagnosticLogBuffer::levelText(Level(level)));
        QCOMPARE(line.value("category").toString(), QStringLiteral("persist jo@example.com")); // never redacted
        QCOMPARE(line.value("msg").toString(), expectedMsg);
        QVERIFY(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)")
                    .match(line.value("ts").toString())
                    .hasMatch());
        if (keys.size() == 6) {
            QCOMPARE(line.value("exception_type").toString(), QStringLiteral("FileError"));
            QCOMPARE(line.value("exception_message").toString(), expectedErrorMessage);
        }
        QCOMPARE(buffer.entries().size(), 1);
        QCOMPARE(buffer.entries().first().msg, expectedMsg);
    }

    void rotatesAboveOneMebibyte_data()
    {
        QTest::addColumn<qint64>("existingSize");
        QTest::addColumn<bool>("rotates");

        QTest::newRow("exactly 1 MiB appends") << qint64(1048576) << false;
        QTest::newRow("one byte more rotates") << qint64(1048577) << true;
        QTest::newRow("small file appends") << qint64(10) << false;
    }
    void rotatesAboveOneMebibyte()
    {
        QFETCH(qint64, existingSize);
        QFETCH(bool, rotates);

        const QByteArray existing = QByteArray(existingSize - 1, 'x') + '\n';
        QVERIFY(writeFile(logFile(), existing));
        QVERIFY(writeFile(logFile() + ".1", "older generation\n"));

        DiagnosticLogBuffer buffer(10, m_folder->path());
        buffer.add(Level::Info, QStringLiteral("test"), QStringLiteral("next line"));
        buffer.flush();

        const QByteArray live = readFile(logFile());
        if (rotates) {
            QCOMPARE(readFile(logFile() + ".1"), existing); // the one older generation is replaced
            QCOMPARE(jsonLines(logFile()).size(), 1);
            QCOMPARE(jsonLines(logFile()).first().value("msg").toString(), QStringLiteral("next line"));
            QVERIFY(!QFileInfo::exists(logFile() + ".2"));
        } else {
            QVERIFY(live.startsWith(existing));
            const QJsonObject appended = QJsonDocument::fromJson(live.mid(existing.size()).trimmed()).object();
            QCOMPARE(appended.value("msg").toString(), QStringLiteral("next line"));
            QCOMPARE(readFile(logFile() + ".1"), QByteArray("older generation\n"));
        }
    }

    // Crash capture writes to the file kept open for it: after the writer starts a new
    // live file, a last record must land there, not in the file it replaced.
    void keptFileFollowsTheLiveFile_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("rotated") << "rotate";
        QTest::newRow("deleted under it") << "delete";
        QTest::newRow("unchanged") << "none";
    }
    void keptFileFollowsTheLiveFile()
    {
        QFETCH(QString, change);
        const QByteArray existing = change == "rotate" ? QByteArray(DiagnosticLogBuffer::rotationThreshold - 1, 'x') + '\n'
                                                       : QByteArray("{\"msg\":\"earlier\"}\n");
        QVERIFY(writeFile(logFile(), existing));

        DiagnosticLogBuffer buffer(10, m_folder->path());
        QVERIFY(buffer.keepLiveFileOpen());
        if (change == "delete")
            QVERIFY(QFile::remove(logFile()));
        buffer.add(Level::Info, QStringLiteral("test"), QStringLiteral("next line"));
        buffer.flush();
        const QByteArray record = "{\"msg\":\"last words\"}\n";
        QVERIFY(buffer.writeLineNow(record.constData(), size_t(record.size())));

        const QList<QJsonObject> lines = jsonLines(logFile());
        QCOMPARE(lines.size(), change == "none" ? 3 : 2);
        QCOMPARE(lines.at(lines.size() - 2).value("msg").toString(), QStringLiteral("next line"));
        QCOMPARE(lines.last().value("msg").toString(), QStringLiteral("last words"));
        if (change == "rotate")
            QCOMPARE(readFile(logFile() + ".1"), existing);
    }

    // A last record of a dying process while the writer is stuck on an earlier line:
    // it neither waits for the writer for good nor goes missing, and the stuck line
    // still follows once the writer moves on.
    void finalRecordGetsPastAStuckWriter()
    {
        static QSemaphore entered;
        static QSemaphore release;
        DiagnosticLogBuffer::setTestHook(DiagnosticLogBuffer::TestHookPoint::WriterThread,
                                         [](const DiagnosticLogEntry &entry) {
                                             if (entry.msg == QLatin1String("stuck")) {
                                                 entered.release();
                                                 release.acquire();
                                             }
                                         });
        Witness witness;
        DiagnosticLogBuffer buffer(10, m_folder->path());
        // Declared after the buffer: a failed check must not leave its writer stuck.
        bool released = false;
        const auto unstick = qScopeGuard([&] {
            DiagnosticLogBuffer::setTestHook(DiagnosticLogBuffer::TestHookPoint::WriterThread, nullptr);
            if (!std::exchange(released, true))
                release.release();
        });
        buffer.add(Level::Info, QStringLiteral("test"), QStringLiteral("before"));
        buffer.add(Level::Info, QStringLiteral("test"), QStringLiteral("stuck"));
        entered.acquire();

        buffer.addFinal(Level::Error, QStringLiteral("CrashCapture"), QStringLiteral("last words"), 50);
        QStringList written;
        for (const QJsonObject &line : jsonLines(logFile()))
            written.append(line.value("msg").toString());
        QCOMPARE(written, (QStringList{"before", "last words"}));
        QCOMPARE(buffer.entries().last().msg, QStringLiteral("last words"));
        QCOMPARE(witness.systemLog().last().line, QStringLiteral("last words"));
        QVERIFY(witness.telemetry().isEmpty()); // nothing could send it before the end

        released = true;
        release.release();
        buffer.flush();
        written.clear();
        for (const QJsonObject &line : jsonLines(logFile()))
            written.append(line.value("msg").toString());
        QCOMPARE(written, (QStringList{"before", "last words", "stuck"}));
    }

    void concurrentWritersLoseNoLine()
    {
        constexpr int threads = 8;
        constexpr int perThread = 500;
        DiagnosticLogBuffer buffer(200, m_folder->path());

        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&buffer, t] {
                for (int i = 0; i < perThread; ++i)
                    buffer.add(i % 2 ? Level::Info : Level::Warn, QStringLiteral("t%1").arg(t),
                               QStringLiteral("thread %1 line %2").arg(t).arg(i));
            });
        }
        for (std::thread &worker : workers)
            worker.join();
        buffer.flush();

        const QList<QJsonObject> lines = jsonLines(logFile());
        QCOMPARE(lines.size(), threads * perThread);
        QList<int> nextIndex(threads, 0);
        const QRegularExpression shape(QStringLiteral("^thread (\\d) line (\\d+)$"));
        for (const QJsonObject &line : lines) {
            QCOMPARE(line.keys().size(), 4);
            const QRegularExpressionMatch match = shape.match(line.value("msg").toString());
            QVERIFY2(match.hasMatch(), qPrintable(line.value("msg").toString()));
            const int t = match.captured(1).toInt();
            QCOMPARE(line.value("category").toString(), QStringLiteral("t%1").arg(t));
            // Each thread's lines arrive in the order it wrote them.
            QCOMPARE(match.captured(2).toInt(), nextIndex[t]);
            ++nextIndex[t];
        }
        QCOMPARE(buffer.entries().size(), 200);
        // The ring and the file agree on the order of the newest entries.
        const QList<DiagnosticLogEntry> ring = buffer.entries();
        for (int i = 0; i < ring.size(); ++i)
            QCOMPARE(ring[i].msg, lines[lines.size() - ring.size() + i].value("msg").toString());
    }

    void debugNeedsVerbose()
    {
        Witness witness;
        DiagnosticLogBuffer buffer(10, m_folder->path());

        buffer.add(Level::Debug, QStringLiteral("test"), QStringLiteral("hidden detail"));
        buffer.flush();
        QVERIFY(buffer.entries().isEmpty());
        QVERIFY(!QFileInfo::exists(logFile()));
        QVERIFY(witness.systemLog().isEmpty());
        QVERIFY(witness.telemetry().isEmpty());

        DiagnosticLogBuffer::setVerbose(true);
        QVERIFY(DiagnosticLogBuffer::isVerboseActive());
        buffer.add(Level::Debug, QStringLiteral("test"), QStringLiteral("visible detail"));
        buffer.flush();
        QCOMPARE(buffer.entries().size(), 1);
        QCOMPARE(buffer.entries().first().level, QStringLiteral("debug"));
        QCOMPARE(jsonLines(logFile()).size(), 1);
        QCOMPARE(witness.systemLog().size(), 1);
        QCOMPARE(witness.systemLog().first().type, SystemLog::Type::Debug);
        QVERIFY(witness.telemetry().isEmpty());
    }

    void verboseExpiresAfterOneDay_data()
    {
        QTest::addColumn<double>("elapsed");
        QTest::addColumn<bool>("active");

        QTest::newRow("just switched on") << 0.0 << true;
        QTest::newRow("86400 s later") << 86400.0 << true;
        QTest::newRow("86401 s later") << 86401.0 << false;
        QTest::newRow("start time in the future") << -3600.0 << true;
    }
    void verboseExpiresAfterOneDay()
    {
        QFETCH(double, elapsed);
        QFETCH(bool, active);

        const double start = 1700000000.0;
        double now = start;
        DiagnosticLogBuffer::setClockForTesting([&now] { return now; });
        DiagnosticLogBuffer::setVerbose(true);
        QCOMPARE(Settings::shared().doubleValue("sorvane.verboseDiagnosticsEnabledAt"), start);

        now = start + elapsed;
        QCOMPARE(DiagnosticLogBuffer::isVerboseActive(), active);
        QCOMPARE(Settings::shared().boolValue("sorvane.verboseDiagnosticsEnabled"), active);
        now = start; // an expired switch stays off
        QCOMPARE(DiagnosticLogBuffer::isVerboseActive(), active);
    }

    void verboseNeedsAStartTime()
    {
        Settings::shared().setValue("sorvane.verboseDiagnosticsEnabled", true);
        Settings::shared().setValue("sorvane.verboseDiagnosticsEnabledAt", 0.0);
        QVERIFY(!DiagnosticLogBuffer::isVerboseActive());
        QVERIFY(Settings::shared().boolValue("sorvane.verboseDiagnosticsEnabled")); // left as it was

        DiagnosticLogBuffer::setVerbose(false);
        QCOMPARE(Settings::shared().doubleValue("sorvane.verboseDiagnosticsEnabledAt", -1), 0.0);
        QVERIFY(!DiagnosticLogBuffer::isVerboseActive());
    }

    void unopenableLogFileIsLeftAlone_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder in its place") << "folder";
        QTest::newRow("dangling link") << "link";
        QTest::newRow("socket in its place") << "socket";
        QTest::newRow("read-only file") << "readonly";
    }
    void unopenableLogFileIsLeftAlone()
    {
        QFETCH(QString, kind);
        const QByteArray earlier = "{\"msg\":\"earlier\"}\n";
        // Present but never opens for writing, even for root.
        QLocalServer socket;
        if (kind == "folder") {
            QVERIFY(QDir().mkpath(logFile()));
        } else if (kind == "link") {
            QVERIFY(QFile::link(m_folder->path() + "/missing-folder/sorvane.log", logFile()));
        } else if (kind == "socket") {
            QVERIFY(socket.listen(logFile()));
        } else {
            if (geteuid() == 0)
                QSKIP("root opens read-only files for writing");
            QVERIFY(writeFile(logFile(), earlier));
            QVERIFY(QFile::setPermissions(logFile(), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        }

        Witness witness;
        DiagnosticLogBuffer buffer(10, m_folder->path());
        buffer.add(Level::Warn, QStringLiteral("test"), QStringLiteral("still recorded"));
        buffer.flush();

        QCOMPARE(buffer.entries().size(), 1);
        QCOMPARE(witness.systemLog().size(), 1);
        const QFileInfo info(logFile());
        if (kind == "folder") {
            QVERIFY(info.isDir());
        } else if (kind == "link") {
            QVERIFY(info.isSymLink());
            QVERIFY(!info.exists());
        } else if (kind == "socket") {
            QVERIFY(!info.isFile());
            QVERIFY(info.exists());
        } else {
            QCOMPARE(readFile(logFile()), earlier);
        }
    }

    void missingLogFolderIsCreated()
    {
        const QString folder = m_folder->path() + "/deeper/Sorvane";
        DiagnosticLogBuffer buffer(10, folder);
        QCOMPARE(buffer.logFilePath(), folder + "/sorvane.log");
        buffer.add(Level::Info, QStringLiteral("test"), QStringLiteral("first"));
        buffer.flush();
        QCOMPARE(jsonLines(folder + "/sorvane.log").size(), 1);
    }

    void mirrorsToSystemLogAndTelemetry_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("withError");
        QTest::addColumn<int>("systemLogType");
        QTest::addColumn<QString>("consoleLine");
        QTest::addColumn<int>("telemetryLevel"); // -1: not handed off

        QTest::newRow("info") << int(Level::Info) << false << int(SystemLog::Type::Info)
                              << "sent to 10.0.0.1" << -1;
        QTest::newRow("warn") << int(Level::Warn) << false << int(SystemLog::Type::Error) << "sent to 10.0.0.1"
                              << int(TelemetryLevel::Warning);
        QTest::newRow("error with error text")
            << int(Level::Error) << true << int(SystemLog::Type::Error)
            << "sent to 10.0.0.1 (denied for jo@example.com)" << int(TelemetryLevel::Error);
    }
    void mirrorsToSystemLogAndTelemetry()
    {
        QFETCH(int, level);
        QFETCH(bool, withError);
        QFETCH(int, systemLogType);
        QFETCH(QString, consoleLine);
        QFETCH(int, telemetryLevel);

        Witness witness;
        DiagnosticLogBuffer buffer(10, m_folder->path());
        // The hand-off runs outside the buffer's lock: reading the ring from it must not block.
        int ringSizeSeenByHandler = -1;
        DiagnosticLogBuffer::setTelemetryHandler(
            [&](TelemetryLevel telemetry, const QString &event, const QMap<QString, QString> &fields) {
                ringSizeSeenByHandler = int(buffer.entries().size());
                QCOMPARE(int(telemetry), telemetryLevel);
                QCOMPARE(event, QStringLiteral("sent to <ip-redacted>"));
                QCOMPARE(fields, (QMap<QString, QString>{{"category", "net"}}));
            });
        const std::optional<LoggedError> error =
            withError ? std::optional<LoggedError>(LoggedError{"AuthError", "denied for jo@example.com"})
                      : std::nullopt;
        buffer.add(Level(level), QStringLiteral("net"), QStringLiteral("sent to 10.0.0.1"), error);

        QCOMPARE(witness.systemLog().size(), 1);
        const SystemLogLine line = witness.systemLog().first();
        QCOMPARE(int(line.type), systemLogType);
        QCOMPARE(line.category, QStringLiteral("net"));
        consoleLine.replace("10.0.0.1", "<ip-redacted>").replace("jo@example.com", "<redacted>");
        QCOMPARE(line.line, consoleLine);
        QCOMPARE(ringSizeSeenByHandler, telemetryLevel < 0 ? -1 : 1);
    }
};

SORVANE_TEST_MAIN(tst_DiagnosticLogBuffer)
#include "tst_DiagnosticLogBuffer.moc"
