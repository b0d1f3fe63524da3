#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// The real binary, twice: a running sorvane in its own HOME and runtime folder, then
// `sorvane FILE…` from another folder, which must hand its files over and exit.
class tst_SecondLaunch : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QProcess m_first;
    QByteArray m_output;

    QProcessEnvironment environment() const { return environmentIn(m_home.path()); }

    static QProcessEnvironment environmentIn(const QString &home)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), home + QStringLiteral("/.local/state"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/runtime"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("SORVANE_REPORT_TABS"), QStringLiteral("1"));
        return env;
    }

    // The tab paths of the last "tabs" line the first process printed.
    QStringList lastTabs()
    {
        m_output += m_first.readAllStandardOutput();
        QStringList paths;
        const QList<QByteArray> lines = m_output.split('\n');
        for (const QByteArray &line : lines) {
            if (!line.startsWith("tabs "))
                continue;
            paths.clear();
            const QJsonArray tabs = QJsonDocument::fromJson(line.mid(5)).array();
            for (const QJsonValue &tab : tabs)
                paths.append(tab.toObject().value(QStringLiteral("path")).toString());
        }
        return paths;
    }

    int runSecond(const QStringList &arguments, const QString &workingDirectory)
    {
        QProcess second;
        second.setProcessEnvironment(environment());
        second.setWorkingDirectory(workingDirectory);
        second.start(QStringLiteral(SORVANE_BINARY), arguments);
        if (!second.waitForFinished(30000)) {
            second.kill();
            second.waitForFinished();
            return -1;
        }
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -2;
    }

    // Folders, settings past the first launch and three documents.
    static bool prepareHome(const QString &path)
    {
        QDir home(path);
        for (const char *folder : {".config/sorvane", ".local/share", ".local/state", ".cache", "runtime", "docs/sub"}) {
            if (!home.mkpath(QString::fromLatin1(folder)))
                return false;
        }
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // Past the first launch, so no welcome tab and no prompts get in the way.
        QFile settings(home.filePath(QStringLiteral(".config/sorvane/settings.json")));
        if (!settings.open(QIODevice::WriteOnly))
            return false;
        settings.write(R"({"hasOpenedWelcomeDoc": true, "hasPromptedForDefaultHandler": true})");
        settings.close();
        for (const char *name : {"docs/a.md", "docs/b.md", "docs/sub/c.md"}) {
            QFile file(home.filePath(QString::fromLatin1(name)));
            if (!file.open(QIODevice::WriteOnly))
                return false;
            file.write("# text\n");
        }
        return true;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(prepareHome(m_home.path()));
        m_first.setProcessEnvironment(environment());
        m_first.setWorkingDirectory(m_home.path());
        m_first.start(QStringLiteral(SORVANE_BINARY), {});
        QVERIFY(m_first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT((m_output += m_first.readAllStandardOutput()).contains("listening yes"), 30000);
    }

    void cleanupTestCase()
    {
        // SIGTERM goes through the quit gate's forced path and ends the process cleanly.
        m_first.terminate();
        QVERIFY(m_first.waitForFinished(30000));
        QCOMPARE(m_first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_first.exitCode(), 0);
    }

    // The running instance holds the socket but is stuck: the second launch gives up
    // on it, says so and exits, and never starts as a second owner of the session.
    void stuckInstanceIsNotJoined()
    {
        QTemporaryDir home;
        QVERIFY(prepareHome(home.path()));
        const QString session = home.filePath(QStringLiteral(".local/share/dev.tolvern.sorvane/SessionState.json"));
        const QByteArray sessionBytes = R"({"openDocuments": [], "selectedIndex": null})";
        QVERIFY(writeFile(session, sessionBytes));
        const QDateTime sessionDate = QFileInfo(session).lastModified();

        // Takes connections (the kernel queues them) and never answers.
        QLocalServer stuck;
        QVERIFY(stuck.listen(home.filePath(QStringLiteral("runtime/sorvane-%1.socket").arg(::getuid()))));

        QProcess second;
        second.setProcessEnvironment(environmentIn(home.path()));
        second.start(QStringLiteral(SORVANE_BINARY), {home.filePath(QStringLiteral("docs/a.md"))});
        const bool exited = second.waitForFinished(60000);
        if (!exited) {
            second.kill();
            second.waitForFinished();
        }
        QVERIFY2(exited, "the second launch kept running");
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("already running but does not answer"));
        QVERIFY(!second.readAllStandardOutput().contains("listening"));
        QCOMPARE(readFile(session), sessionBytes);
        QCOMPARE(QFileInfo(session).lastModified(), sessionDate);
    }

    void fileArrivesAsATab()
    {
        const QString docs = m_home.filePath(QStringLiteral("docs"));
        QCOMPARE(runSecond({QStringLiteral("a.md")}, docs), 0);
        QTRY_COMPARE_WITH_TIMEOUT(lastTabs(), QStringList{docs + QStringLiteral("/a.md")}, 30000);
    }


    // Two at once, relative to the second process's folder; an account callback in
    // between opens nothing.
    void severalArgumentsAndAURL()
    {
        const QString docs = m_home.filePath(QStringLiteral("docs"));
        QCOMPARE(runSecond({QStringLiteral("../b.md"), QStringLiteral("sorvane://auth/callback?code=x"),
                            QStringLiteral("c.md")},
                           docs + QStringLiteral("/sub")),
                 0);
        QTRY_COMPARE_WITH_TIMEOUT(lastTabs(),
                                  (QStringList{docs + QStringLiteral("/a.md"), docs + QStringLiteral("/b.md"),
                                               docs + QStringLiteral("/sub/c.md")}),
                                  30000);
        // The same file again selects its tab instead of opening a second one.
        QCOMPARE(runSecond({docs + QStringLiteral("/a.md")}, m_home.path()), 0);
        QCOMPARE(runSecond({}, m_home.path()), 0);
        QCOMPARE(lastTabs().size(), 3);
        QCOMPARE(m_first.state(), QProcess::Running);
    }

    // A file that does not exist is reported in the running window (an alert), which
    // keeps running and keeps taking files.
    void missingFileKeepsTheInstanceAlive()
    {
        const QString docs = m_home.filePath(QStringLiteral("docs"));
        QCOMPARE(runSecond({QStringLiteral("gone.md")}, docs), 0);
        QFile d(docs + QStringLiteral("/d.md"));
        QVERIFY(d.open(QIODevice::WriteOnly));
        d.close();
        QCOMPARE(runSecond({QStringLiteral("d.md")}, docs), 0);
        QTRY_COMPARE_WITH_TIMEOUT(lastTabs().size(), 4, 30000);
        QCOMPARE(lastTabs().last(), docs + QStringLiteral("/d.md"));
        QCOMPARE(m_first.state(), QProcess::Running);
    }
};

SORVANE_TEST_MAIN(tst_SecondLaunch)
#include "tst_SecondLaunch.moc"
