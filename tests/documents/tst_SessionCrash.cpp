// A real process running the document manager is killed (SIGKILL) or asked to stop
// (SIGTERM); the next start in this process, with the same folders, gets the text back.
#include "DocumentTestFiles.h"
#include "ScriptedAlertPresenter.h"
#include "SessionTestFiles.h"
#include "TestEnvironment.h"

#include "diagnostics/DiagnosticUploader.h"
#include "documents/DocumentManager.h"
#include "documents/DocumentSessionKeeper.h"
#include "documents/DocumentSessionState.h"
#include "platform/AppPaths.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/types.h>

using namespace SessionTestFiles;

namespace {

// The helper process and its line protocol.
class Child
{
public:
    Child()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(SESSION_CHILD), {});
    }
    ~Child()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    bool started() { return m_process.waitForStarted(10000) && readLine() == "ready"; }

    // Sends one command and gives the answer without "ok" (or the whole answer on error).
    QByteArray send(const QByteArray &command)
    {
        m_process.write(command + '\n');
        const QByteArray answer = readLine();
        if (answer == "ok")
            return QByteArray("ok");
        return answer.startsWith("ok ") ? answer.mid(3) : answer;
    }

    QByteArray edit(int index, const QString &text)
    {
        return send("edit " + QByteArray::number(index) + ' ' + text.toUtf8().toPercentEncoding());
    }

    void signal(int number) { ::kill(static_cast<pid_t>(m_process.processId()), number); }
    QProcess &process() { return m_process; }

private:
    QByteArray readLine()
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(30000))
                return QByteArray("<no answer>");
        }
        return m_process.readLine().trimmed();
    }

    QProcess m_process;
};

QStringList snapshotNames()
{
    return QDir(recoveryFolder()).entryList({QStringLiteral("*.md")}, QDir::Files, QDir::Name);
}

} // namespace

class tst_SessionCrash : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void killedProcessComesBack_data();
    void killedProcessComesBack();
    void terminationSignalWritesState();

private:
    std::unique_ptr<DocumentTestFiles> m_files;
};

void tst_SessionCrash::init()
{
    QDir(AppPaths::supportFolder()).removeRecursively();
    m_files = std::make_unique<DocumentTestFiles>();
}

void tst_SessionCrash::killedProcessComesBack_data()
{
    QTest::addColumn<bool>("snapshotAfterSession");
    QTest::addColumn<int>("answer");
    QTest::newRow("snapshot after the session, recover") << true << 0;
    QTest::newRow("snapshot after the session, discard") << true << 1;
    // Every snapshot is older than the session and differs from it: nothing to offer.
    QTest::newRow("session after the snapshot") << false << 0;
}

void tst_SessionCrash::killedProcessComesBack()
{
    QFETCH(bool, snapshotAfterSession);
    QFETCH(int, answer);
    const QString a = m_files->write(QStringLiteral("a.md"), "alpha\n");
    const QString b = m_files->write(QStringLiteral("b.md"), "beta\n");

    QUuid idA, idB, idUntitled;
    {
        Child child;
        QVERIFY(child.started());
        idA = QUuid::fromString(QString::fromLatin1(child.send("open " + a.toLocal8Bit())));
        idB = QUuid::fromString(QString::fromLatin1(child.send("open " + b.toLocal8Bit())));
        QVERIFY(!idA.isNull() && !idB.isNull());

        // Snapshots older than the session that follows: never offered.
        QCOMPARE(child.edit(0, QStringLiteral("alpha 1\n")), QByteArray("ok"));
        QCOMPARE(child.edit(1, QStringLiteral("beta 1\n")), QByteArray("ok"));
        QCOMPARE(child.send("snapshot"), QByteArray("ok"));
        QCOMPARE(child.edit(0, QStringLiteral("alpha 2\n")), QByteArray("ok"));
        QCOMPARE(child.edit(1, QStringLiteral("beta 2\n")), QByteArray("ok"));
        QCOMPARE(child.send("wait-session"), QByteArray("ok"));

        if (snapshotAfterSession) {
            // File times have a coarse clock: let it move on past the session write.
            QThread::msleep(50);
            // Newer snapshots: a holds text the session lacks, b the same text, and an
            // untitled tab the session never saw.
            QCOMPARE(child.edit(0, QStringLiteral("alpha 3\n")), QByteArray("ok"));
            idUntitled = QUuid::fromString(QString::fromLatin1(child.send("new")));
            QCOMPARE(child.edit(2, QStringLiteral("draft\n")), QByteArray("ok"));
            QCOMPARE(child.send("snapshot"), QByteArray("ok"));
        }

        child.signal(SIGKILL);
        QVERIFY(child.process().waitForFinished(10000));
        QCOMPARE(child.process().exitStatus(), QProcess::CrashExit);
    }

    // What the killed run left behind.
    const std::optional<DocumentSessionState> stored = storedSession();
    QVERIFY(stored);
    QCOMPARE(stored->documents.size(), 2);
    QCOMPARE(stored->documents.at(0).text, QStringLiteral("alpha 2\n"));
    QCOMPARE(snapshotNames().size(), snapshotAfterSession ? 3 : 2);

    ScriptedAlertPresenter alerts;
    alerts.alertAnswers = {answer};
    QList<std::pair<QString, int>> uploads;
    DiagnosticUploader::shared().setAutoReportObserver(
        [&](const QString &reason, int count) { uploads.append({reason, count}); });
    DocumentManager manager;
    manager.sessionKeeper().restoreSessionIfNeeded();
    DiagnosticUploader::shared().setAutoReportObserver({});

    QCOMPARE(uploads, (QList<std::pair<QString, int>>{{QStringLiteral("crash_recovery"), 0}}));
    const bool recovered = snapshotAfterSession && answer == 0;
    QCOMPARE(alerts.alerts.size(), snapshotAfterSession ? 1 : 0);
    if (snapshotAfterSession) {
        QCOMPARE(alerts.alerts.at(0).messageText, QStringLiteral("Recover unsaved documents?"));
        QCOMPARE(alerts.alerts.at(0).informativeText,
                 QStringLiteral("sorv.ane found 2 unsaved document(s) from a previous session."));
        QCOMPARE(alerts.alerts.at(0).buttons, (QStringList{QStringLiteral("Recover"), QStringLiteral("Discard")}));
    }

    const QList<TabDocument *> tabs = manager.documents();
    QCOMPARE(tabs.size(), recovered ? 3 : 2);
    QCOMPARE(tabs.at(0)->id(), idA);
    QCOMPARE(tabs.at(0)->fileURL().toLocalFile(), QFileInfo(a).canonicalFilePath());
    QCOMPARE(tabs.at(0)->text(), recovered ? QStringLiteral("alpha 3\n") : QStringLiteral("alpha 2\n"));
    QCOMPARE(tabs.at(0)->lastSavedText(), QStringLiteral("alpha\n"));
    QVERIFY(tabs.at(0)->isModified());
    QCOMPARE(tabs.at(1)->id(), idB);
    QCOMPARE(tabs.at(1)->fileURL().toLocalFile(), QFileInfo(b).canonicalFilePath());
    QCOMPARE(tabs.at(1)->text(), QStringLiteral("beta 2\n"));
    QVERIFY(tabs.at(1)->isModified());
    if (recovered) {
        QVERIFY(tabs.at(2)->fileURL().isEmpty());
        QCOMPARE(tabs.at(2)->text(), QStringLiteral("draft\n"));
        QVERIFY(tabs.at(2)->isModified());
        QVERIFY(tabs.at(2)->id() != idUntitled);
    }
    // The files themselves were never touched, and the offer does not come again.
    QCOMPARE(DocumentTestFiles::read(a), QByteArray("alpha\n"));
    QVERIFY(!QFileInfo::exists(recoveryFolder()));
}

void tst_SessionCrash::terminationSignalWritesState()
{
    const QString a = m_files->write(QStringLiteral("a.md"), "alpha\n");
    QUuid idA;
    {
        Child child;
        QVERIFY(child.started());
        idA = QUuid::fromString(QString::fromLatin1(child.send("open " + a.toLocal8Bit())));
        QCOMPARE(child.edit(0, QStringLiteral("alpha unsaved\n")), QByteArray("ok"));
        child.send("new");
        QCOMPARE(child.edit(1, QStringLiteral("decrypted secret\n")), QByteArray("ok"));
        QCOMPARE(child.send("sensitive 1"), QByteArray("ok"));
        QCOMPARE(child.send("gate"), QByteArray("ok"));
        child.signal(SIGTERM);
        QVERIFY(child.process().waitForFinished(10000));
        QCOMPARE(child.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.process().exitCode(), 0);
    }

    const std::optional<DocumentSessionState> stored = storedSession();
    QVERIFY(stored);
    QCOMPARE(stored->documents.size(), 1);
    QCOMPARE(stored->documents.at(0).id, idA);
    QCOMPARE(stored->documents.at(0).text, QStringLiteral("alpha unsaved\n"));
    QCOMPARE(snapshotNames(), QStringList{DocumentSessionState::uuidText(idA) + QStringLiteral(".md")});
    QVERIFY(!everythingWritten().contains("secret"));

    // The session was written after the snapshots: the next start asks nothing.
    ScriptedAlertPresenter alerts;
    DocumentManager manager;
    manager.sessionKeeper().restoreSessionIfNeeded();
    QVERIFY(alerts.alerts.isEmpty());
    QCOMPARE(manager.documents().size(), 1);
    QCOMPARE(manager.documents().at(0)->text(), QStringLiteral("alpha unsaved\n"));
    QVERIFY(!QFileInfo::exists(recoveryFolder()));
}

SORVANE_TEST_MAIN(tst_SessionCrash)
#include "tst_SessionCrash.moc"
