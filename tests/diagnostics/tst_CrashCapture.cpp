// A real process with crash capture installed dies in each way it can: by each of the
// fatal signals, on a worker thread, by a stack overflow, by an uncaught exception
// (also one escaping an event handler), and inside the log's own machinery. Each time
// it must end by the expected signal, never hang, and leave its record last in
// "sorvane.log"; the next launch then offers its unsaved tab back.
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "documents/DocumentManager.h"
#include "documents/DocumentSessionKeeper.h"
#include "platform/AppPaths.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstring>

namespace {

// Long enough for a loaded machine, short enough that a hang fails the test
// rather than the whole run. A stuck writer costs the child two seconds.
constexpr int childTimeoutMs = 30000;

struct ChildRun {
    bool finished = false;
    QProcess::ExitStatus status = QProcess::NormalExit;
    int exitCode = 0; // the signal's number after a crash
    QByteArray output;
    QDateTime startedAt;
    QDateTime endedAt;
};

ChildRun runChild(const QString &mode)
{
    ChildRun run;
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    run.startedAt = QDateTime::currentDateTimeUtc();
    child.start(QStringLiteral(CRASH_CHILD), {mode});
    run.finished = child.waitForFinished(childTimeoutMs);
    run.endedAt = QDateTime::currentDateTimeUtc();
    if (!run.finished) {
        child.kill();
        child.waitForFinished(childTimeoutMs);
    }
    run.status = child.exitStatus();
    run.exitCode = child.exitCode();
    run.output = child.readAll();
    return run;
}

QString logFile()
{
    return AppPaths::logsFolder() + QStringLiteral("/sorvane.log");
}

} // namespace

class tst_CrashCapture : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void crashLeavesItsRecordLast_data();
    void crashLeavesItsRecordLast();
    void nextLaunchOffersTheUnsavedTab();
};

void tst_CrashCapture::init()
{
    QDir(AppPaths::logsFolder()).removeRecursively();
    QDir(AppPaths::supportFolder()).removeRecursively();
}

void tst_CrashCapture::crashLeavesItsRecordLast_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("signal");
    // The record's message up to its stack: empty for "fatal signal N (description)".
    QTest::addColumn<QString>("text");
    // The line logged just before the crash; the writer cannot write it when the
    // crash holds its queue.
    QTest::addColumn<bool>("queuedLineWritten");

    const QString bySignal;
    QTest::newRow("null write") << "null-write" << SIGSEGV << bySignal << true;
    QTest::newRow("abort") << "abort" << SIGABRT << bySignal << true;
    QTest::newRow("illegal instruction") << "illegal-instruction" << SIGILL << bySignal << true;
    QTest::newRow("integer division by zero") << "divide-by-zero" << SIGFPE << bySignal << true;
    QTest::newRow("bus error") << "bus-error" << SIGBUS << bySignal << true;
    QTest::newRow("trap") << "trap" << SIGTRAP << bySignal << true;
    QTest::newRow("broken pipe") << "broken-pipe" << SIGPIPE << bySignal << true;
    QTest::newRow("segfault on a worker thread") << "worker-null-write" << SIGSEGV << bySignal << true;
    QTest::newRow("stack overflow") << "stack-overflow" << SIGSEGV << bySignal << true;
    QTest::newRow("stack overflow on a worker thread") << "worker-stack-overflow" << SIGSEGV << bySignal << true;

    QTest::newRow("uncaught exception")
        << "uncaught-exception" << SIGABRT
        << "uncaught NSException name=std::runtime_error reason=disk on fire" << true;
    QTest::newRow("exception escaping an event handler")
        << "event-handler-exception" << SIGABRT
        << "uncaught NSException name=crashchild::Unexplained reason=<no reason>" << true;
    QTest::newRow("exception on a worker thread")
        << "worker-exception" << SIGABRT
        << "uncaught NSException name=std::out_of_range reason=index 7 of 3" << true;

    QTest::newRow("crash on the log writer's thread") << "writer-thread" << SIGSEGV << bySignal << true;
    QTest::newRow("crash holding the ring's lock") << "ring-locked" << SIGSEGV << bySignal << true;
    QTest::newRow("crash holding the writer's queue") << "queue-locked" << SIGSEGV << bySignal << false;
    QTest::newRow("exception while another thread holds the ring's lock")
        << "exception-ring-held" << SIGABRT << "uncaught NSException name=std::runtime_error reason=while the log is held"
        << true;
    QTest::newRow("exception while the writer is stuck")
        << "exception-writer-stuck" << SIGABRT
        << "uncaught NSException name=std::runtime_error reason=while the log is held" << true;
    QTest::newRow("exception on the log writer's thread")
        << "exception-writer-thread" << SIGABRT
        << "uncaught NSException name=std::logic_error reason=thrown by the writer" << true;
}

void tst_CrashCapture::crashLeavesItsRecordLast()
{
    QFETCH(QString, mode);
    QFETCH(int, signal);
    QFETCH(QString, text);
    QFETCH(bool, queuedLineWritten);
    if (text.isEmpty())
        text = QStringLiteral("fatal signal %1 (%2)").arg(signal).arg(QString::fromLocal8Bit(::strsignal(signal)));

    const ChildRun run = runChild(mode);
    QVERIFY2(run.finished, "the child hung");
    QVERIFY2(run.status == QProcess::CrashExit, run.output.constData());
    QCOMPARE(run.exitCode, signal);

    // Every line is whole JSON.
    const QList<QByteArray> lines = readFile(logFile()).split('\n');
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.last().isEmpty(), "the file ends in a line feed");
    QList<QJsonObject> objects;
    for (const QByteArray &line : lines.first(lines.size() - 1)) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        QVERIFY2(error.error == QJsonParseError::NoError && document.isObject(), line.constData());
        objects.append(document.object());
    }

    // The record: last, alone, with the log's four keys.
    QVERIFY(!objects.isEmpty());
    const QJsonObject record = objects.last();
    QCOMPARE(record.keys(), (QStringList{"category", "level", "msg", "ts"}));
    QCOMPARE(record.value("level").toString(), QStringLiteral("error"));
    QCOMPARE(record.value("category").toString(), QStringLiteral("CrashCapture"));
    const QString msg = record.value("msg").toString();
    QVERIFY2(msg.startsWith(text + QStringLiteral("\n  0x")), qPrintable(msg));
    const int records = int(std::count_if(objects.cbegin(), objects.cend(), [](const QJsonObject &object) {
        return object.value("category").toString() == QLatin1String("CrashCapture");
    }));
    QCOMPARE(records, 1);
    // Its time stamp is the moment of the crash, in the log's format.
    const QString ts = record.value("ts").toString();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$")).match(ts).hasMatch(),
             qPrintable(ts));
    const QDateTime crashedAt = QDateTime::fromString(ts, Qt::ISODateWithMs);
    QVERIFY2(crashedAt >= run.startedAt.addSecs(-1) && crashedAt <= run.endedAt.addSecs(1), qPrintable(ts));

    // The lines logged before it are all there, in order, and nothing after them.
    QStringList logged;
    for (const QJsonObject &object : std::as_const(objects)) {
        if (object.value("category").toString() == QLatin1String("test"))
            logged.append(object.value("msg").toString());
    }
    QStringList expected{"before crash 1", "before crash 2", "before crash 3", "queued just before"};
    if (!queuedLineWritten && logged.size() == 3)
        expected.removeLast();
    QCOMPARE(logged, expected);
}

void tst_CrashCapture::nextLaunchOffersTheUnsavedTab()
{
    const ChildRun run = runChild(QStringLiteral("null-write"));
    QVERIFY2(run.finished, "the child hung");
    QCOMPARE(run.status, QProcess::CrashExit);

    ScriptedAlertPresenter alerts;
    alerts.alertAnswers = {0}; // Recover
    DocumentManager manager;
    manager.sessionKeeper().restoreSessionIfNeeded();

    QCOMPARE(alerts.alerts.size(), 1);
    QCOMPARE(alerts.alerts.at(0).messageText, QStringLiteral("Recover unsaved documents?"));
    const QList<TabDocument *> tabs = manager.documents();
    QCOMPARE(tabs.size(), 1);
    QCOMPARE(tabs.at(0)->text(), QStringLiteral("draft from the crashed run\n"));
    QVERIFY(tabs.at(0)->isModified());
}

SORVANE_TEST_MAIN(tst_CrashCapture)
#include "tst_CrashCapture.moc"
