#include "TestEnvironment.h"
#include "platform/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// The second process's side runs on another thread: its calls block while the
// listening side needs the event loop to answer.
QFuture<bool> handOffElsewhere(const QString &name, const QStringList &arguments)
{
    return QtConcurrent::run([name, arguments] {
        SingleInstance client(name);
        return client.handOff(arguments, 5000);
    });
}

// A socket file with nobody behind it, as a crashed process leaves it.
bool leaveStaleSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    if (static_cast<size_t>(encoded.size()) >= sizeof address.sun_path) {
        ::close(fd);
        return false;
    }
    std::memcpy(address.sun_path, encoded.constData(), static_cast<size_t>(encoded.size()));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return bound && QFileInfo::exists(path);
}
} // namespace

class tst_SingleInstance : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void serverLivesInTheRuntimeFolder()
    {
        const QString name = SingleInstance::defaultServerName();
        QCOMPARE(QFileInfo(name).absolutePath(), QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).absolutePath());
        QCOMPARE(QFileInfo(name).fileName(), QStringLiteral("sorvane-%1.socket").arg(::getuid()));
    }

    void argumentsBecomeAbsolute_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("relative") << QStringList{QStringLiteral("a.md"), QStringLiteral("sub/b.md")}
                                  << QStringList{QStringLiteral("/work/dir/a.md"), QStringLiteral("/work/dir/sub/b.md")};
        QTest::newRow("parent and dot") << QStringList{QStringLiteral("../c.md"), QStringLiteral("./d.md")}
                                        << QStringList{QStringLiteral("/work/c.md"), QStringLiteral("/work/dir/d.md")};
        QTest::newRow("absolute") << QStringList{QStringLiteral("/etc/x.md")} << QStringList{QStringLiteral("/etc/x.md")};
        QTest::newRow("urls kept") << QStringList{QStringLiteral("sorvane://auth/cb?code=1"), QStringLiteral("SORVANE:x"), QStringLiteral("file:///tmp/e.md")}
                                   << QStringList{QStringLiteral("sorvane://auth/cb?code=1"), QStringLiteral("SORVANE:x"), QStringLiteral("file:///tmp/e.md")};
        QTest::newRow("colon in a file name") << QStringList{QStringLiteral("notes:today.md")}
                                              << QStringList{QStringLiteral("/work/dir/notes:today.md")};
        QTest::newRow("empty dropped") << QStringList{QString()} << QStringList{};
    }

    void argumentsBecomeAbsolute()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, expected);
        QCOMPARE(SingleInstance::absoluteArguments(arguments, QStringLiteral("/work/dir")), expected);
    }

    void secondInstanceHandsOver()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("s.socket"));
        SingleInstance running(name);
        QVERIFY(running.listen());
        QSignalSpy received(&running, &SingleInstance::argumentsReceived);

        const QStringList two{QStringLiteral("/x/a.md"), QStringLiteral("/x/b é.md")};
        QFuture<bool> first = handOffElsewhere(name, two);
        QTRY_VERIFY(first.isFinished());
        QVERIFY(first.result());
        // The running side hands the arguments on after its read handler returns,
        // which may be after the sender is done.
        QTRY_COMPARE(received.count(), 1);
        QCOMPARE(received.first().first().toStringList(), two);

        // No arguments still counts: the running window comes forward.
        QFuture<bool> bare = handOffElsewhere(name, {});
        QTRY_VERIFY(bare.isFinished());
        QVERIFY(bare.result());
        QTRY_COMPARE(received.count(), 2);
        QVERIFY(received.last().first().toStringList().isEmpty());

        // Only one may listen while the first lives.
        SingleInstance other(name);
        QVERIFY(!other.listen());
    }

    // The running side may ask the user something (a modal alert with its own event
    // loop) about the files it got; the sender is gone by then, and so is its socket.
    void receiverMayRunANestedLoop()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("n.socket"));
        SingleInstance running(name);
        QVERIFY(running.listen());
        QFuture<bool> handed;
        bool modalDone = false;
        connect(&running, &SingleInstance::argumentsReceived, this, [&] {
            QTRY_VERIFY(handed.isFinished());
            QTest::qWait(100); // the sender's disconnect arrives inside this loop
            modalDone = true;
        });
        handed = handOffElsewhere(name, {QStringLiteral("/missing.md")});
        QTRY_VERIFY(modalDone);
        QVERIFY(handed.result());
        QFuture<bool> next = handOffElsewhere(name, {QStringLiteral("/next.md")});
        QTRY_VERIFY(next.isFinished());
        QVERIFY(next.result());
    }

    void nobodyListening()
    {
        QTemporaryDir dir;
        SingleInstance lonely(dir.filePath(QStringLiteral("none.socket")));
        QVERIFY(!lonely.handOff({QStringLiteral("/a.md")}, 1000));
    }

    // A socket file from a crashed process does not keep the next one from running.
    void staleSocketIsReplaced()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("stale.socket"));
        QVERIFY(leaveStaleSocket(name));
        SingleInstance fresh(name);
        QVERIFY(!fresh.handOff({}, 1000));
        QVERIFY(fresh.listen());
        QSignalSpy received(&fresh, &SingleInstance::argumentsReceived);
        QFuture<bool> handed = handOffElsewhere(name, {QStringLiteral("/y.md")});
        QTRY_VERIFY(handed.isFinished());
        QVERIFY(handed.result());
        QTRY_COMPARE(received.count(), 1);
    }

    // Junk on the socket is dropped without taking the listener down.
    void junkIsIgnored()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("j.socket"));
        SingleInstance running(name);
        QVERIFY(running.listen());
        QSignalSpy received(&running, &SingleInstance::argumentsReceived);
        QLocalSocket junk;
        junk.connectToServer(name);
        QVERIFY(junk.waitForConnected(1000));
        junk.write("{\"not\": \"a list\"}\n");
        junk.flush();
        QTRY_COMPARE(junk.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(received.count(), 0);
        QFuture<bool> handed = handOffElsewhere(name, {QStringLiteral("/z.md")});
        QTRY_VERIFY(handed.isFinished());
        QVERIFY(handed.result());
        QTRY_COMPARE(received.count(), 1);
    }
};

SORVANE_TEST_MAIN(tst_SingleInstance)
#include "tst_SingleInstance.moc"
