#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

class tst_SorvaneApp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A save past `ulimit -f` fails like any write error (reported, file kept) instead
    // of SIGXFSZ ending the editor with its unsaved tabs.
    void fileSizeLimitFailsTheSave()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("doc.md"));
        QVERIFY(writeFile(path, "original\n"));

        QProcess child;
        child.setChildProcessModifier([] {
            // As a shell's `ulimit -f 256` leaves it: the signal at its default.
            std::signal(SIGXFSZ, SIG_DFL);
            const rlimit limit{256 * 1024, 256 * 1024};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        });
        child.start(QStringLiteral(SAVE_CHILD), {path, QString::number(1024 * 1024)});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray output = child.readAllStandardOutput();
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QVERIFY2(output.contains("saved no\n"), output.constData());
        QVERIFY2(output.contains("alert sorv.ane could not save \"doc.md\": "), output.constData());

        QCOMPARE(readFile(path), QByteArray("original\n"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("doc.md")});
    }
};

SORVANE_TEST_MAIN(tst_SorvaneApp)
#include "tst_SorvaneApp.moc"
