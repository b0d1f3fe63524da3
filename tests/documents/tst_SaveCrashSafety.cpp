// A process killed in the middle of saving leaves the old or the new content, whole.
#include "SaveLoopContent.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/types.h>

class tst_SaveCrashSafety : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void killedSaveLeavesWholeFile();
};

void tst_SaveCrashSafety::killedSaveLeavesWholeFile()
{
    const QByteArray a = saveLoopContent('A');
    const QByteArray b = saveLoopContent('B');
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.md"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(a);
    }

    // Fixed seed: the same kill delays every run.
    QRandomGenerator random(20240611);
    int changes = 0;
    QByteArray previous = a;
    for (int round = 0; round < 200; ++round) {
        QProcess helper;
        helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        helper.start(QStringLiteral(SAVE_LOOP_HELPER), {path});
        QVERIFY(helper.waitForStarted());
        while (!helper.canReadLine())
            QVERIFY2(helper.waitForReadyRead(10000), "the helper did not start saving");
        QCOMPARE(helper.readLine(), QByteArray("saving\n"));

        QThread::msleep(2 + random.bounded(58));
        ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
        QVERIFY(helper.waitForFinished(10000));
        QCOMPARE(helper.exitStatus(), QProcess::CrashExit);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        file.close();
        QVERIFY2(content == a || content == b,
                 qPrintable(QStringLiteral("round %1: %2 bytes of neither content").arg(round).arg(content.size())));
        if (content != previous)
            ++changes;
        previous = content;

        // Temp files of the killed saves; they never replace the document.
        const QStringList leftovers = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        for (const QString &name : leftovers) {
            if (name != QLatin1String("doc.md"))
                QFile::remove(dir.filePath(name));
        }
    }
    // The loop really saved (at least one kill came after a finished save).
    QVERIFY(changes > 0);
}

SORVANE_TEST_MAIN(tst_SaveCrashSafety)
#include "tst_SaveCrashSafety.moc"
