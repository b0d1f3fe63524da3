#include "TestEnvironment.h"
#include "platform/SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
// The second process's side runs on another thread: its calls block while the
// listening side needs the event loop to answer.
QFuture<bool> handOffElsewhere(const QString &name, const QStringList &arguments)
{
    return QtConcurrent::run([name, arguments] {
        SingleInstance client(name);
        return client.handOff(arguments, 5000) == SingleInstance::HandOff::delivered;
    });
}

// Sets an environment variable for one scope; an empty value unsets it.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const QString &value)
        : m_name(name)
        , m_had(qEnvironmentVariableIsSet(name))
        , m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, QFile::encodeName(value));
    }
    ~ScopedEnv()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

// Puts a folder of the given kind at path: "private" (0700, ours), "open" (0755),
// "symlink" (to a private folder elsewhere), "foreign" (0700, another user's),
// anything else leaves nothing there.
bool makeFolder(const QString &kind, const QString &path, const QString &elsewhere)
{
    const QByteArray native = QFile::encodeName(path);
    if (kind == QLatin1String("symlink"))
        return QDir().mkpath(elsewhere) && ::chmod(QFile::encodeName(elsewhere).constData(), 0700) == 0
            && ::symlink(QFile::encodeName(elsewhere).constData(), native.constData()) == 0;
    if (kind == QLatin1String("private") || kind == QLatin1String("foreign"))
        return ::mkdir(native.constData(), 0700) == 0
            && (kind == QLatin1String("private") || ::chown(native.constData(), 65534, 65534) == 0);
    if (kind == QLatin1String("open"))
        return ::mkdir(native.constData(), 0700) == 0 && ::chmod(native.constData(), 0755) == 0;
    return true;
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

    // The socket only ever lies in a folder nobody else can enter; when the runtime
    // folder is not such a folder the fallback must be, or there is no socket.
    void socketOnlyInAPrivateFolder_data()
    {
        QTest::addColumn<QString>("runtime");  // a makeFolder kind, "unset" or "missing"
        QTest::addColumn<QString>("fallback"); // a makeFolder kind or "absent"
        QTest::addColumn<QString>("expected"); // "runtime", "fallback" or "none"
        const auto row = [](const char *name, const char *runtime, const char *fallback, const char *expected) {
            QTest::newRow(name) << QString::fromLatin1(runtime) << QString::fromLatin1(fallback)
                                << QString::fromLatin1(expected);
        };
        row("private runtime folder", "private", "absent", "runtime");
        row("no XDG_RUNTIME_DIR", "unset", "absent", "fallback");
        row("runtime folder missing", "missing", "absent", "fallback");
        row("runtime folder 0755", "open", "absent", "fallback");
        row("runtime folder a symlink", "symlink", "absent", "fallback");
        row("runtime folder someone else's", "foreign", "absent", "fallback");
        row("fallback already made", "unset", "private", "fallback");
        row("fallback 0755", "unset", "open", "none");
        row("fallback a symlink", "open", "symlink", "none");
        row("fallback someone else's", "unset", "foreign", "none");
    }

    void socketOnlyInAPrivateFolder()
    {
        QFETCH(QString, runtime);
        QFETCH(QString, fallback);
        QFETCH(QString, expected);
        if ((runtime == QLatin1String("foreign") || fallback == QLatin1String("foreign")) && ::getuid() != 0)
            QSKIP("giving a folder to another user needs root");
        QTemporaryDir root;
        const QString runtimePath = root.filePath(QStringLiteral("runtime"));
        const QString tempPath = root.filePath(QStringLiteral("tmp"));
        QVERIFY(QDir().mkpath(tempPath));
        const QString fallbackPath = tempPath + QStringLiteral("/sorvane-%1").arg(::getuid());
        QVERIFY(makeFolder(runtime, runtimePath, root.filePath(QStringLiteral("elsewhere-runtime"))));
        QVERIFY(makeFolder(fallback, fallbackPath, root.filePath(QStringLiteral("elsewhere-tmp"))));
        const ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtime == QLatin1String("unset") ? QString() : runtimePath);
        const ScopedEnv tempEnv("TMPDIR", tempPath);

        const QString name = SingleInstance::defaultServerName();
        const QString socketName = QStringLiteral("/sorvane-%1.socket").arg(::getuid());
        if (expected == QLatin1String("none")) {
            QCOMPARE(name, QString());
            SingleInstance none(name);
            QCOMPARE(none.listen(), SingleInstance::Listen::unavailable);
            QCOMPARE(none.handOff({QStringLiteral("/a.md")}, 1000), SingleInstance::HandOff::noneRunning);
            return;
        }
        QCOMPARE(name, (expected == QLatin1String("runtime") ? runtimePath : fallbackPath) + socketName);
        struct stat folder {};
        QCOMPARE(::lstat(QFile::encodeName(QFileInfo(name).path()).constData(), &folder), 0);
        QVERIFY(S_ISDIR(folder.st_mode));
        QCOMPARE(folder.st_mode & 0777, 0700u);
        QCOMPARE(folder.st_uid, ::getuid());
        SingleInstance running(name);
        QCOMPARE(running.listen(), SingleInstance::Listen::listening);
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
        QCOMPARE(running.listen(), SingleInstance::Listen::listening);
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
        QCOMPARE(other.listen(), SingleInstance::Listen::taken);
    }

    // The running side may ask the user something (a modal alert with its own event
    // loop) about the files it got; the sender is gone by then, and so is its socket.
    void receiverMayRunANestedLoop()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("n.socket"));
        SingleInstance running(name);
        QCOMPARE(running.listen(), SingleInstance::Listen::listening);
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
        QCOMPARE(lonely.handOff({QStringLiteral("/a.md")}, 1000), SingleInstance::HandOff::noneRunning);
    }

    // A socket file from a crashed process does not keep the next one from running.
    void staleSocketIsReplaced()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("stale.socket"));
        QVERIFY(leaveStaleSocket(name));
        SingleInstance fresh(name);
        QCOMPARE(fresh.handOff({}, 1000), SingleInstance::HandOff::noneRunning);
        QCOMPARE(fresh.listen(), SingleInstance::Listen::listening);
        QSignalSpy received(&fresh, &SingleInstance::argumentsReceived);
        QFuture<bool> handed = handOffElsewhere(name, {QStringLiteral("/y.md")});
        QTRY_VERIFY(handed.isFinished());
        QVERIFY(handed.result());
        QTRY_COMPARE(received.count(), 1);
    }

    // Someone holds the socket but never answers: that is not "nobody running",
    // and the socket is not taken from it.
    void silentHolderIsNotAnswering()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("silent.socket"));
        QLocalServer silent;
        QVERIFY(silent.listen(name));
        SingleInstance second(name);
        QCOMPARE(second.handOff({QStringLiteral("/a.md")}, 500), SingleInstance::HandOff::noAnswer);
        QCOMPARE(second.listen(), SingleInstance::Listen::taken);
    }

    // Junk on the socket is dropped without taking the listener down.
    void junkIsIgnored()
    {
        QTemporaryDir dir;
        const QString name = dir.filePath(QStringLiteral("j.socket"));
        SingleInstance running(name);
        QCOMPARE(running.listen(), SingleInstance::Listen::listening);
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
