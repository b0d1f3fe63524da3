#include "TestEnvironment.h"
#include "platform/NetworkPathMonitor.h"
#include "shell/NetworkReachabilityService.h"

#include <QApplication>
#include <QMetaProperty>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <latch>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {
// A path source the test drives by hand.
class ScriptedPathSource : public NetworkPathSource
{
public:
    void start() override { ++starts; }
    void report(bool satisfied) { Q_EMIT pathUpdated(satisfied); }

    int starts = 0;
};

// Only inside the namespace tests/in-netns.sh made may the test move routes.
bool insideOwnNetworkNamespace()
{
    const QByteArray host = qgetenv("SORVANE_NETNS_HOST");
    char current[64] = {};
    const ssize_t length = ::readlink("/proc/self/ns/net", current, sizeof current - 1);
    return !host.isEmpty() && !qEnvironmentVariableIsEmpty("SORVANE_NETNS_DEVICE") && length > 0
        && host != QByteArray(current, length);
}

// Runs `ip ARGS`; on failure says what ip said.
QString ip(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ip"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return QStringLiteral("ip %1 failed: %2 %3")
            .arg(arguments.join(QLatin1Char(' ')), process.errorString(),
                 QString::fromLocal8Bit(process.readAll()));
    return {};
}

constexpr int pathTimeoutMs = 20000;
} // namespace

class tst_NetworkReachabilityService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsItsPathSource_data()
    {
        QTest::addColumn<QList<bool>>("paths");
        QTest::addColumn<QList<bool>>("notified");
        QTest::addColumn<bool>("online");

        QTest::newRow("no path yet") << QList<bool>{} << QList<bool>{} << true;
        QTest::newRow("first path satisfied") << QList<bool>{true} << QList<bool>{} << true;
        QTest::newRow("first path unsatisfied") << QList<bool>{false} << QList<bool>{false} << false;
        QTest::newRow("unsatisfied twice") << QList<bool>{false, false} << QList<bool>{false} << false;
        QTest::newRow("off and on again") << QList<bool>{false, true} << QList<bool>{false, true} << true;
        QTest::newRow("repeats between changes")
            << QList<bool>{false, false, true, true, true, false} << QList<bool>{false, true, false} << false;
        QTest::newRow("flapping")
            << QList<bool>{true, false, true, false, true} << QList<bool>{false, true, false, true} << true;
    }

    // Views bind to the property: its notify signal fires once per real change,
    // after the new value is readable.
    void followsItsPathSource()
    {
        QFETCH(QList<bool>, paths);
        QFETCH(QList<bool>, notified);
        QFETCH(bool, online);

        auto owned = std::make_unique<ScriptedPathSource>();
        ScriptedPathSource *const source = owned.get();
        NetworkReachabilityService service(std::move(owned));
        QCOMPARE(source->starts, 1);

        const QMetaObject *meta = service.metaObject();
        const QMetaProperty property = meta->property(meta->indexOfProperty("isOnline"));
        QVERIFY(property.hasNotifySignal());
        QCOMPARE(property.read(&service).toBool(), true);

        QSignalSpy notifications(&service, property.notifySignal());
        QList<bool> readAtNotification;
        connect(&service, &NetworkReachabilityService::isOnlineChanged, this,
                [&] { readAtNotification << property.read(&service).toBool(); });

        for (bool satisfied : paths)
            source->report(satisfied);

        QList<bool> carried;
        for (const QList<QVariant> &arguments : std::as_const(notifications))
            carried << arguments.at(0).toBool();
        QCOMPARE(carried, notified);
        QCOMPARE(readAtNotification, notified);
        QCOMPARE(service.isOnline(), online);
    }

    // Made once however many threads ask first, and living where the views read it:
    // its reports must reach it even when a worker thread without an event loop made it.
    void sharedIsMadeOnceForTheApplicationThread()
    {
        constexpr int callers = 8;
        std::vector<NetworkReachabilityService *> seen(callers, nullptr);
        std::latch go(callers);
        std::vector<std::thread> threads;
        for (int i = 0; i < callers; ++i)
            threads.emplace_back([&, i] {
                go.arrive_and_wait();
                seen[i] = &NetworkReachabilityService::shared();
            });
        for (std::thread &thread : threads)
            thread.join();

        NetworkReachabilityService *const service = &NetworkReachabilityService::shared();
        for (NetworkReachabilityService *one : seen)
            QCOMPARE(one, service);
        QCOMPARE(service->thread(), qApp->thread());
        // Nothing has reached it yet: reports are delivered by this thread's loop.
        QVERIFY(service->isOnline());

        auto *const source = service->findChild<NetworkPathSource *>();
        QVERIFY(source);
        QSignalSpy paths(source, &NetworkPathSource::pathUpdated);
        QVERIFY(paths.wait(pathTimeoutMs));
    }

    void followsTheDefaultRoute_data()
    {
        QTest::addColumn<bool>("earlierServiceEnded");
        QTest::newRow("first service of the process") << false;
        // GLib's monitor is one per process: a service made after another one ended
        // must still hear of changes.
        QTest::newRow("after an earlier service ended") << true;
    }

    // The real monitor in a namespace of the test's own, toggling the default route.
    void followsTheDefaultRoute()
    {
        QFETCH(bool, earlierServiceEnded);
        if (!insideOwnNetworkNamespace())
            QSKIP("moves routes, so runs only in its own network namespace (tests/in-netns.sh)");
        static int servicesEnded = 0;
        if (earlierServiceEnded && servicesEnded == 0)
            QSKIP("needs the row before it in the same process");

        const QString device = qEnvironmentVariable("SORVANE_NETNS_DEVICE");
        const QString gateway = qEnvironmentVariable("SORVANE_NETNS_GATEWAY");
        const QStringList defaultRoute{QStringLiteral("default"), QStringLiteral("via"), gateway,
                                       QStringLiteral("dev"), device};
        const auto route = [&](const char *verb, const QStringList &which) {
            return ip(QStringList{QStringLiteral("route"), QLatin1String(verb)} + which);
        };
        // Routes a step adds that change nothing about reachability.
        const QStringList sideRouteA{QStringLiteral("10.201.0.0/16"), QStringLiteral("via"), gateway};
        const QStringList sideRouteB{QStringLiteral("10.202.0.0/16"), QStringLiteral("via"), gateway};
        // Whatever an earlier row left behind.
        for (const QStringList &which : {defaultRoute, sideRouteA, sideRouteB})
            route("del", which);

        auto owned = std::make_unique<NetworkPathMonitor>();
        QSignalSpy paths(owned.get(), &NetworkPathSource::pathUpdated);
        NetworkReachabilityService service(std::move(owned));
        QSignalSpy changes(&service, &NetworkReachabilityService::isOnlineChanged);
        QVERIFY(service.isOnline());

        const auto notifiedSoFar = [&] {
            QList<bool> values;
            for (const QList<QVariant> &arguments : std::as_const(changes))
                values << arguments.at(0).toBool();
            return values;
        };

        // The first path: no default route.
        QTRY_VERIFY_WITH_TIMEOUT(!paths.isEmpty(), pathTimeoutMs);
        QCOMPARE(notifiedSoFar(), QList<bool>{false});
        QVERIFY(!service.isOnline());

        struct Step
        {
            const char *verb;
            QStringList route;
            bool online;
            bool changes; // false: the same state again, which must stay silent
        };
        const Step steps[] = {
            {"add", sideRouteA, false, false},
            {"add", defaultRoute, true, true},
            {"add", sideRouteB, true, false},
            {"del", defaultRoute, false, true},
            {"add", defaultRoute, true, true},
        };
        QList<bool> expected{false};
        for (const Step &step : steps) {
            const qsizetype pathsBefore = paths.size();
            const QString failure = route(step.verb, step.route);
            QVERIFY2(failure.isEmpty(), qPrintable(failure));
            if (step.changes)
                expected << step.online;
            QTRY_VERIFY2_WITH_TIMEOUT(paths.size() > pathsBefore && service.isOnline() == step.online,
                                      qPrintable(QStringLiteral("ip route %1 %2")
                                                     .arg(QLatin1String(step.verb),
                                                          step.route.join(QLatin1Char(' ')))),
                                      pathTimeoutMs);
            QCOMPARE(notifiedSoFar(), expected);
        }
        ++servicesEnded;
    }
};

SORVANE_TEST_MAIN(tst_NetworkReachabilityService)
#include "tst_NetworkReachabilityService.moc"
