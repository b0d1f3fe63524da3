#include "TestEnvironment.h"

#include "ServicePeer.h"
#include "diagnostics/Analytics.h"
#include "platform/BundleInfo.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QMutex>
#include <QPoint>
#include <QRegularExpression>
#include <QSysInfo>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int arrivalTimeoutMs = 20000;
const QRegularExpression isoTime(QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z$)"));
const QRegularExpression upperUuid(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
const QRegularExpression anonymousId(QStringLiteral("^dev_[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));

// The account library as analytics sees it: a stored session and the install
// metrics, with what was asked of them. Called from any thread.
struct FakeAccount {
    mutable QMutex mutex;
    std::optional<Analytics::StoredSession> session;
    std::optional<QString> keychainInstallID = QStringLiteral("inst-1");
    bool shouldFireFirstOpen = true;
    bool markSucceeds = true;
    QStringList seeds;
    int marks = 0;

    Analytics::Providers providers()
    {
        Analytics::Providers made;
        made.storedSession = [this] {
            QMutexLocker locker(&mutex);
            return session;
        };
        made.seedInstallID = [this](const QString &id) {
            QMutexLocker locker(&mutex);
            seeds << id;
            if (!keychainInstallID)
                keychainInstallID = id;
        };
        made.installID = [this]() -> std::optional<QString> {
            QMutexLocker locker(&mutex);
            if (!keychainInstallID)
                keychainInstallID = QStringLiteral("made-by-library");
            return keychainInstallID;
        };
        made.shouldFireFirstOpen = [this] {
            QMutexLocker locker(&mutex);
            return shouldFireFirstOpen;
        };
        made.markFirstOpenFired = [this] {
            QMutexLocker locker(&mutex);
            ++marks;
            return markSucceeds;
        };
        return made;
    }
};

QJsonObject jsonOf(const QJsonObject &request)
{
    return request.value(QStringLiteral("json")).toObject();
}

QJsonObject itemOf(const QJsonObject &request)
{
    return jsonOf(request).value(QStringLiteral("batch")).toArray().first().toObject();
}

QJsonObject propertiesOf(const QJsonObject &request)
{
    return itemOf(request).value(QStringLiteral("properties")).toObject();
}

// The capture's event name for "/batch", the mirrored name for the identity service.
QString eventOf(const QJsonObject &request)
{
    if (request.value(QStringLiteral("path")).toString() == QLatin1String("/batch"))
        return itemOf(request).value(QStringLiteral("event")).toString();
    return jsonOf(request).value(QStringLiteral("event")).toString();
}

QString header(const QJsonObject &request, const char *name)
{
    return request.value(QStringLiteral("headers")).toObject().value(QString::fromLatin1(name)).toString();
}

} // namespace

class tst_Analytics : public QObject
{
    Q_OBJECT

    ServicePeer &m_peer;
    std::shared_ptr<FakeAccount> m_account;
    QMutex m_eventsMutex;
    QStringList m_events; // names in the order track() was called
    int m_settles = 0;

    QStringList trackedEvents()
    {
        QMutexLocker locker(&m_eventsMutex);
        return m_events;
    }

    // The requests to `path` that carry `event` (a capture's or a mirror's name).
    QList<QJsonObject> sent(const QString &path, const QString &event) const
    {
        QList<QJsonObject> found;
        for (const QJsonObject &request : m_peer.requests(path)) {
            if (eventOf(request) == event)
                found << request;
        }
        return found;
    }

    QList<QJsonObject> captures(const QString &capture) const { return sent(QStringLiteral("/batch"), capture); }
    QList<QJsonObject> mirrors(const QString &event) const { return sent(QStringLiteral("/api/app-events"), event); }

    bool waitForCapture(const QString &capture, int count = 1) const
    {
        return QTest::qWaitFor([&] { return captures(capture).size() >= count; }, arrivalTimeoutMs);
    }

    bool waitForMirror(const QString &event) const
    {
        return QTest::qWaitFor([&] { return !mirrors(event).isEmpty(); }, arrivalTimeoutMs);
    }

    // Sends one mirrored event and waits for both its requests, so that whatever was
    // sent before it has had its turn: what has not arrived by then was not sent.
    bool settle()
    {
        Settings::shared().setValue(SettingsKeys::analyticsOptOut, false);
        const int step = ++m_settles;
        Analytics::track(QStringLiteral("sync_enabled"), {{QStringLiteral("step"), step}});
        return QTest::qWaitFor(
            [&] {
                const auto arrived = [&](const QList<QJsonObject> &requests, bool mirrored) {
                    for (const QJsonObject &request : requests) {
                        const QJsonObject properties = mirrored ? jsonOf(request).value(QStringLiteral("properties")).toObject()
                                                                : propertiesOf(request);
                        if (properties.value(QStringLiteral("step")).toInt() == step)
                            return true;
                    }
                    return false;
                };
                return arrived(captures(QStringLiteral("sorvane_sync_enabled")), false)
                       && arrived(mirrors(QStringLiteral("sync_enabled")), true);
            },
            arrivalTimeoutMs);
    }

    // Requests other than the settling ones.
    QList<QJsonObject> unsettledRequests() const
    {
        QList<QJsonObject> others;
        for (const QJsonValue &value : m_peer.log()) {
            const QJsonObject request = value.toObject();
            const QString event = eventOf(request);
            if (event != QLatin1String("sorvane_sync_enabled") && event != QLatin1String("sync_enabled"))
                others << request;
        }
        return others;
    }

public:
    explicit tst_Analytics(ServicePeer &peer)
        : m_peer(peer)
    {
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("SORVANE_ANALYTICS_URL", m_peer.url().toEncoded());
        qputenv("SORVANE_IDENTITY_URL", m_peer.url().toEncoded());
        Analytics::setObserver([this](const QString &name, const QVariantMap &) {
            QMutexLocker locker(&m_eventsMutex);
            m_events << name;
        });
    }

    void cleanupTestCase()
    {
        Analytics::setObserver(nullptr);
        Analytics::setProviders({});
        BundleInfo::setInfoForTesting(std::nullopt);
    }

    void init()
    {
        Analytics::resetForTesting();
        m_peer.reset();
        Settings &settings = Settings::shared();
        for (const QString &key : {SettingsKeys::analyticsOptOut, SettingsKeys::analyticsAnonymousId,
                                   SettingsKeys::analyticsLastLaunchedVersion, SettingsKeys::analyticsInstallFirstOpenedAt})
            settings.remove(key);
        m_account = std::make_shared<FakeAccount>();
        Analytics::setProviders(m_account->providers());
        BundleInfo::setInfoForTesting(QVariantMap{{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("2.0.0")},
                                                  {QStringLiteral("CFBundleVersion"), QStringLiteral("77")}});
        QMutexLocker locker(&m_eventsMutex);
        m_events.clear();
    }

    void cleanup()
    {
        // Nothing still on its way reaches the next test's log.
        QVERIFY(settle());
    }

    // One event as the capture endpoint and the identity service get it: the base
    // properties under the caller's, the envelope PostHog requires, the headers.
    void eventCarriesBasePropertiesAndEnvelope()
    {
        Analytics::track(QStringLiteral("settings_viewed"),
                         {{QStringLiteral("platform"), QStringLiteral("caller's")}, {QStringLiteral("extra"), 3}});
        QVERIFY(waitForCapture(QStringLiteral("sorvane_settings_viewed")));
        QVERIFY(waitForMirror(QStringLiteral("settings_viewed")));
        const QJsonObject request = captures(QStringLiteral("sorvane_settings_viewed")).first();
        QCOMPARE(request.value(QStringLiteral("method")).toString(), QStringLiteral("POST"));
        QCOMPARE(request.value(QStringLiteral("errors")).toArray(), QJsonArray());
        QCOMPARE(header(request, "content-type"), QStringLiteral("application/json"));
        QCOMPARE(header(request, "accept"), QStringLiteral("application/json"));
        QVERIFY(!request.value(QStringLiteral("headers")).toObject().contains(QStringLiteral("authorization")));

        const QJsonObject body = jsonOf(request);
        QCOMPARE(body.value(QStringLiteral("api_key")).toString(),
                 QStringLiteral("phc_Qm7Ld2Rw9Xk4Tb6Nh1Vz8Pc3Jf5Gs0Ya2Ue7Wr4Io9Kb"));
        QVERIFY(isoTime.match(body.value(QStringLiteral("sent_at")).toString()).hasMatch());
        QCOMPARE(body.value(QStringLiteral("batch")).toArray().size(), 1);
        const QJsonObject item = itemOf(request);
        QVERIFY(isoTime.match(item.value(QStringLiteral("timestamp")).toString()).hasMatch());
        QVERIFY(upperUuid.match(item.value(QStringLiteral("uuid")).toString()).hasMatch());
        const QString distinct = item.value(QStringLiteral("distinct_id")).toString();
        QVERIFY2(anonymousId.match(distinct).hasMatch(), qPrintable(distinct));
        QCOMPARE(distinct, Settings::shared().stringValue(SettingsKeys::analyticsAnonymousId));

        const QJsonObject expected{
            {QStringLiteral("app"), QStringLiteral("sorvane")},
            {QStringLiteral("app_slug"), QStringLiteral("sorvane")},
            {QStringLiteral("platform"), QStringLiteral("caller's")},
            {QStringLiteral("version"), QStringLiteral("2.0.0")},
            {QStringLiteral("app_version"), QStringLiteral("2.0.0")},
            {QStringLiteral("install_channel"), QStringLiteral("direct")},
            {QStringLiteral("install_id"), QStringLiteral("inst-1")},
            {QStringLiteral("auth_state"), QStringLiteral("pre_auth")},
            {QStringLiteral("$lib"), QStringLiteral("sorvane-linux")},
            {QStringLiteral("$lib_version"), QStringLiteral("1.0")},
            {QStringLiteral("$app_version"), QStringLiteral("2.0.0")},
            {QStringLiteral("$app_build"), QStringLiteral("77")},
            {QStringLiteral("$os"), QStringLiteral("Linux")},
            {QStringLiteral("$os_version"), QSysInfo::prettyProductName()},
            {QStringLiteral("extra"), 3},
        };
        QCOMPARE(propertiesOf(request), expected);

        const QJsonObject mirror = mirrors(QStringLiteral("settings_viewed")).first();
        QCOMPARE(header(mirror, "content-type"), QStringLiteral("application/json"));
        QCOMPARE(header(mirror, "accept"), QStringLiteral("application/json"));
        QVERIFY(!mirror.value(QStringLiteral("headers")).toObject().contains(QStringLiteral("authorization")));
        const QJsonObject expectedMirror{
            {QStringLiteral("event"), QStringLiteral("settings_viewed")},
            {QStringLiteral("app_slug"), QStringLiteral("sorvane")},
            {QStringLiteral("platform"), QStringLiteral("linux")},
            {QStringLiteral("version"), QStringLiteral("2.0.0")},
            {QStringLiteral("app_version"), QStringLiteral("2.0.0")},
            {QStringLiteral("install_channel"), QStringLiteral("direct")},
            {QStringLiteral("install_id"), QStringLiteral("inst-1")},
            {QStringLiteral("distinct_id"), distinct},
            {QStringLiteral("properties"), expected},
        };
        QCOMPARE(jsonOf(mirror), expectedMirror);
    }

    // The stored session decides the distinct id and the account properties; any
    // stored session authorises the mirror.
    void storedSessionShapesTheEvent_data()
    {
        QTest::addColumn<QString>("accountID");
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("account id") << "ta_42" << true;
        QTest::newRow("id of another kind") << "acct_42" << false;
    }
    void storedSessionShapesTheEvent()
    {
        QFETCH(QString, accountID);
        QFETCH(bool, signedIn);
        m_account->session = Analytics::StoredSession{QStringLiteral("tvs-secret"), accountID};
        Analytics::track(QStringLiteral("app_updated"));
        QVERIFY(waitForCapture(QStringLiteral("sorvane_app_updated")));
        QVERIFY(waitForMirror(QStringLiteral("app_updated")));

        const QJsonObject capture = captures(QStringLiteral("sorvane_app_updated")).first();
        const QJsonObject properties = propertiesOf(capture);
        const QString distinct = itemOf(capture).value(QStringLiteral("distinct_id")).toString();
        QCOMPARE(properties.value(QStringLiteral("auth_state")).toString(),
                 signedIn ? QStringLiteral("signed_in") : QStringLiteral("pre_auth"));
        QCOMPARE(properties.contains(QStringLiteral("tolvern_account_id")), signedIn);
        if (signedIn)
            QCOMPARE(distinct, accountID);
        else
            QVERIFY2(anonymousId.match(distinct).hasMatch(), qPrintable(distinct));
        QVERIFY(!capture.value(QStringLiteral("headers")).toObject().contains(QStringLiteral("authorization")));

        const QJsonObject mirror = mirrors(QStringLiteral("app_updated")).first();
        QCOMPARE(header(mirror, "authorization"), QStringLiteral("Bearer tvs-secret"));
        QCOMPARE(jsonOf(mirror).value(QStringLiteral("tolvern_account_id")).toString(), signedIn ? accountID : QString());
        QCOMPARE(jsonOf(mirror).value(QStringLiteral("distinct_id")).toString(), distinct);
    }

    void namesAndMirroring_data()
    {
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("capture");
        QTest::addColumn<bool>("mirrored");
        QTest::newRow("mirrored event") << "settings_viewed" << "sorvane_settings_viewed" << true;
        QTest::newRow("sign-in event") << "auth_completed" << "sorvane_auth_completed" << true;
        QTest::newRow("app event") << "copy_html" << "sorvane_copy_html" << false;
        QTest::newRow("service event keeps its name") << "$pageview" << "$pageview" << false;
        QTest::newRow("dollar name of a mirrored event") << "$settings_viewed" << "$settings_viewed" << false;
    }
    void namesAndMirroring()
    {
        QFETCH(QString, event);
        QFETCH(QString, capture);
        QFETCH(bool, mirrored);
        Analytics::track(event);
        QVERIFY(waitForCapture(capture));
        QVERIFY(settle());
        const QList<QJsonObject> others = unsettledRequests();
        QCOMPARE(others.size(), mirrored ? 2 : 1);
        if (mirrored)
            QCOMPARE(mirrors(event).size(), 1);
    }

    // Values arrive JSON-safe; one JSON cannot hold drops the whole event.
    void propertyValuesAreSanitised_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QJsonValue>("sent"); // Undefined: nothing is sent
        const QDateTime when(QDate(2026, 3, 1), QTime(12, 0, 0, 250), Qt::UTC);
        const QString whenText = QStringLiteral("2026-03-01T12:00:00.250Z");
        QTest::newRow("string") << QVariant(QStringLiteral("menu")) << QJsonValue(QStringLiteral("menu"));
        QTest::newRow("Boolean") << QVariant(true) << QJsonValue(true);
        QTest::newRow("64-bit integer") << QVariant(Q_INT64_C(9007199254740993)) << QJsonValue(Q_INT64_C(9007199254740993));
        QTest::newRow("double") << QVariant(2.5) << QJsonValue(2.5);
        QTest::newRow("date") << QVariant(when) << QJsonValue(whenText);
        QTest::newRow("date in another zone")
            << QVariant(when.toOffsetFromUtc(3600)) << QJsonValue(whenText);
        QTest::newRow("URL") << QVariant(QUrl(QStringLiteral("https://example.com/a b?q=1")))
                             << QJsonValue(QStringLiteral("https://example.com/a%20b?q=1"));
        QTest::newRow("nested dictionary")
            << QVariant(QVariantMap{{QStringLiteral("when"), when},
                                    {QStringLiteral("inner"), QVariantMap{{QStringLiteral("url"), QUrl(QStringLiteral("file:///tmp/x.md"))}}}})
            << QJsonValue(QJsonObject{{QStringLiteral("when"), whenText},
                                      {QStringLiteral("inner"), QJsonObject{{QStringLiteral("url"), QStringLiteral("file:///tmp/x.md")}}}});
        QTest::newRow("list") << QVariant(QVariantList{when, 1, QStringLiteral("a")})
                              << QJsonValue(QJsonArray{whenText, 1, QStringLiteral("a")});
        QTest::newRow("other value as text") << QVariant(QPoint(1, 2)) << QJsonValue(QStringLiteral("QPoint(1,2)"));
        QTest::newRow("not a number") << QVariant(qQNaN()) << QJsonValue(QJsonValue::Undefined);
        QTest::newRow("infinity deep inside")
            << QVariant(QVariantMap{{QStringLiteral("list"), QVariantList{1, qInf()}}}) << QJsonValue(QJsonValue::Undefined);
    }
    void propertyValuesAreSanitised()
    {
        QFETCH(QVariant, value);
        QFETCH(QJsonValue, sent);
        Analytics::track(QStringLiteral("probe"), {{QStringLiteral("value"), value}});
        if (sent.isUndefined()) {
            QVERIFY(settle());
            QCOMPARE(unsettledRequests().size(), 0);
            return;
        }
        QVERIFY(waitForCapture(QStringLiteral("sorvane_probe")));
        QCOMPARE(propertiesOf(captures(QStringLiteral("sorvane_probe")).first()).value(QStringLiteral("value")), sent);
    }

    // Opted out, nothing leaves: no event, no identity, no launch bookkeeping.
    void optOutSendsNothing()
    {
        Settings::shared().setValue(SettingsKeys::analyticsOptOut, true);
        Analytics::track(QStringLiteral("settings_viewed"));
        Analytics::track(QStringLiteral("$pageview"));
        Analytics::identify(QStringLiteral("ta_1"));
        Analytics::setup();
        QVERIFY(!Analytics::hasSetupThisLaunch());
        QVERIFY(!Settings::shared().contains(SettingsKeys::analyticsLastLaunchedVersion));
        QCOMPARE(m_account->marks, 0);

        QVERIFY(settle());
        QCOMPARE(unsettledRequests().size(), 0);
        // identify() changed nothing either: events still go out anonymously.
        const QJsonObject settled = captures(QStringLiteral("sorvane_sync_enabled")).first();
        QVERIFY(itemOf(settled).value(QStringLiteral("distinct_id")).toString().startsWith(QLatin1String("dev_")));
    }

    void anonymousIdGetsItsPrefix_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QString>("expected"); // empty: a fresh "dev_" + UUID
        QTest::newRow("none") << QJsonValue(QJsonValue::Undefined) << QString();
        QTest::newRow("empty") << QJsonValue(QString()) << QString();
        QTest::newRow("a number, read as its text") << QJsonValue(12) << "dev_12";
        QTest::newRow("bare id from a reset") << QJsonValue(QStringLiteral("ABC-123")) << "dev_ABC-123";
        QTest::newRow("prefixed") << QJsonValue(QStringLiteral("dev_xyz")) << "dev_xyz";
    }
    void anonymousIdGetsItsPrefix()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(QString, expected);
        if (!stored.isUndefined())
            Settings::shared().setValue(SettingsKeys::analyticsAnonymousId, stored);
        Analytics::track(QStringLiteral("copy_html"));
        QVERIFY(waitForCapture(QStringLiteral("sorvane_copy_html")));
        const QString distinct =
            itemOf(captures(QStringLiteral("sorvane_copy_html")).first()).value(QStringLiteral("distinct_id")).toString();
        if (expected.isEmpty())
            QVERIFY2(anonymousId.match(distinct).hasMatch(), qPrintable(distinct));
        else
            QCOMPARE(distinct, expected);
        QCOMPARE(Settings::shared().stringValue(SettingsKeys::analyticsAnonymousId), distinct);
    }

    void identifyTakesOnlyAccountIds_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("identified"); // empty: ignored
        QTest::newRow("account id") << "ta_7" << "ta_7";
        QTest::newRow("padded with spaces and a line break") << "  ta_7\n" << "ta_7";
        QTest::newRow("other prefix") << "acct_7" << QString();
        QTest::newRow("upper case prefix") << "TA_7" << QString();
        QTest::newRow("space inside the prefix") << "t a_7" << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void identifyTakesOnlyAccountIds()
    {
        QFETCH(QString, given);
        QFETCH(QString, identified);
        Analytics::identify(given);
        Analytics::track(QStringLiteral("copy_html"));
        QVERIFY(waitForCapture(QStringLiteral("sorvane_copy_html")));
        const QString distinct =
            itemOf(captures(QStringLiteral("sorvane_copy_html")).first()).value(QStringLiteral("distinct_id")).toString();
        if (identified.isEmpty()) {
            QVERIFY2(distinct.startsWith(QLatin1String("dev_")), qPrintable(distinct));
            QVERIFY(settle());
            QVERIFY(captures(QStringLiteral("$identify")).isEmpty());
            return;
        }
        QCOMPARE(distinct, identified);
        QVERIFY(waitForCapture(QStringLiteral("$identify")));
        const QJsonObject identify = captures(QStringLiteral("$identify")).first();
        QCOMPARE(itemOf(identify).value(QStringLiteral("distinct_id")).toString(), identified);
        const QJsonObject properties = propertiesOf(identify);
        QCOMPARE(properties.value(QStringLiteral("distinct_id")).toString(), identified);
        QCOMPARE(properties.value(QStringLiteral("tolvern_account_id")).toString(), identified);
        // The anonymous id it takes over from, so the service joins the two.
        QCOMPARE(properties.value(QStringLiteral("$anon_distinct_id")).toString(),
                 Settings::shared().stringValue(SettingsKeys::analyticsAnonymousId));
        QCOMPARE(properties.value(QStringLiteral("$lib")).toString(), QStringLiteral("sorvane-linux"));
        QVERIFY(settle());
        QVERIFY(mirrors(QStringLiteral("$identify")).isEmpty());
        QVERIFY(!trackedEvents().contains(QStringLiteral("$identify")));
    }

    // Taking over from a stored account, not from the anonymous id: nothing to join.
    void identifyAfterStoredAccountLinksNoAnonymousId()
    {
        m_account->session = Analytics::StoredSession{QStringLiteral("tvs"), QStringLiteral("ta_old")};
        Analytics::identify(QStringLiteral("ta_new"));
        QVERIFY(waitForCapture(QStringLiteral("$identify")));
        const QJsonObject properties = propertiesOf(captures(QStringLiteral("$identify")).first());
        QVERIFY(!properties.contains(QStringLiteral("$anon_distinct_id")));
        // The identified account wins over the stored one.
        Analytics::track(QStringLiteral("copy_html"));
        QVERIFY(waitForCapture(QStringLiteral("sorvane_copy_html")));
        QCOMPARE(itemOf(captures(QStringLiteral("sorvane_copy_html")).first()).value(QStringLiteral("distinct_id")).toString(),
                 QStringLiteral("ta_new"));
    }

    // Reset forgets the account and stores a bare fresh id, prefixed on its next use;
    // it sends nothing, even while opted out it still resets.
    void resetForgetsTheAccount()
    {
        Analytics::identify(QStringLiteral("ta_9"));
        QVERIFY(waitForCapture(QStringLiteral("$identify")));
        const QString before = Settings::shared().stringValue(SettingsKeys::analyticsAnonymousId);
        Settings::shared().setValue(SettingsKeys::analyticsOptOut, true);
        Analytics::reset();
        const QString bare = Settings::shared().stringValue(SettingsKeys::analyticsAnonymousId);
        QVERIFY2(upperUuid.match(bare).hasMatch(), qPrintable(bare));
        QVERIFY(QStringLiteral("dev_") + bare != before);

        Settings::shared().setValue(SettingsKeys::analyticsOptOut, false);
        Analytics::track(QStringLiteral("copy_html"));
        QVERIFY(waitForCapture(QStringLiteral("sorvane_copy_html")));
        QCOMPARE(itemOf(captures(QStringLiteral("sorvane_copy_html")).first()).value(QStringLiteral("distinct_id")).toString(),
                 QStringLiteral("dev_") + bare);
        QCOMPARE(Settings::shared().stringValue(SettingsKeys::analyticsAnonymousId), QStringLiteral("dev_") + bare);
        QCOMPARE(unsettledRequests().size(), 2); // the "$identify" and this event
    }

    // The same event with the same distinguishing properties goes out once a minute.
    void repeatsAreThrottled()
    {
        for (int i = 0; i < 3; ++i)
            Analytics::track(QStringLiteral("copy_html"), {{QStringLiteral("source"), QStringLiteral("menu")}});
        Analytics::track(QStringLiteral("copy_html"), {{QStringLiteral("source"), QStringLiteral("toolbar")}});
        QVERIFY(settle());
        QCOMPARE(captures(QStringLiteral("sorvane_copy_html")).size(), 2);
        QCOMPARE(trackedEvents().count(QStringLiteral("copy_html")), 4); // the observer sees every call
    }

    // Each launch in a fresh process: the events, their order, the bookkeeping.
    void launches_data()
    {
        QTest::addColumn<QJsonValue>("storedVersion");
        QTest::addColumn<bool>("firstOpenReported");
        QTest::addColumn<bool>("libraryWouldFire");
        QTest::addColumn<bool>("markSucceeds");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("marks");
        const QJsonValue none(QJsonValue::Undefined);
        QTest::newRow("first launch") << none << false << true << true
                                      << QStringList{"app_relaunched", "app_first_opened"} << 1;
        QTest::newRow("after an update") << QJsonValue("1.9.0") << true << false << true
                                         << QStringList{"update_installed", "app_relaunched"} << 1;
        QTest::newRow("again") << QJsonValue("2.0.0") << true << false << true << QStringList{"app_relaunched"} << 1;
        QTest::newRow("empty version record") << QJsonValue("") << true << false << true
                                              << QStringList{"app_relaunched"} << 1;
        QTest::newRow("library reported the first opening") << QJsonValue("2.0.0") << false << false << true
                                                             << QStringList{"app_relaunched"} << 0;
        QTest::newRow("first-open marker not stored") << none << false << true << false
                                                      << QStringList{"app_relaunched"} << 1;
    }
    void launches()
    {
        QFETCH(QJsonValue, storedVersion);
        QFETCH(bool, firstOpenReported);
        QFETCH(bool, libraryWouldFire);
        QFETCH(bool, markSucceeds);
        QFETCH(QStringList, events);
        QFETCH(int, marks);
        Settings &settings = Settings::shared();
        if (!storedVersion.isUndefined())
            settings.setValue(SettingsKeys::analyticsLastLaunchedVersion, storedVersion);
        const QString reportedAt = QStringLiteral("2025-01-01T00:00:00.000Z");
        if (firstOpenReported)
            settings.setValue(SettingsKeys::analyticsInstallFirstOpenedAt, reportedAt);
        m_account->shouldFireFirstOpen = libraryWouldFire;
        m_account->markSucceeds = markSucceeds;

        Analytics::setup();
        QVERIFY(Analytics::hasSetupThisLaunch());
        QCOMPARE(trackedEvents(), events);
        QCOMPARE(settings.stringValue(SettingsKeys::analyticsLastLaunchedVersion), QStringLiteral("2.0.0"));
        QCOMPARE(m_account->marks, marks);
        QVERIFY(anonymousId.match(settings.stringValue(SettingsKeys::analyticsAnonymousId)).hasMatch());

        for (const QString &event : events) {
            QVERIFY2(waitForCapture(QStringLiteral("sorvane_") + event), qPrintable(event));
            QVERIFY2(waitForMirror(event), qPrintable(event));
        }
        const auto properties = [&](const QString &event) {
            return propertiesOf(captures(QStringLiteral("sorvane_") + event).first());
        };
        const QJsonObject relaunched = properties(QStringLiteral("app_relaunched"));
        QCOMPARE(relaunched.value(QStringLiteral("$app_version")).toString(), QStringLiteral("2.0.0"));
        QCOMPARE(relaunched.value(QStringLiteral("auth_transport")).toString(), QStringLiteral("aswas"));
        if (events.contains(QStringLiteral("update_installed"))) {
            const QJsonObject update = properties(QStringLiteral("update_installed"));
            QCOMPARE(update.value(QStringLiteral("$app_version")).toString(), QStringLiteral("2.0.0"));
            QCOMPARE(update.value(QStringLiteral("$previous_app_version")).toString(), storedVersion.toString());
            QCOMPARE(update.value(QStringLiteral("from_version")).toString(), storedVersion.toString());
            QCOMPARE(update.value(QStringLiteral("to_version")).toString(), QStringLiteral("2.0.0"));
        }
        const QString firstOpenedAt = settings.stringValue(SettingsKeys::analyticsInstallFirstOpenedAt);
        if (events.contains(QStringLiteral("app_first_opened"))) {
            QVERIFY(isoTime.match(firstOpenedAt).hasMatch());
            QCOMPARE(properties(QStringLiteral("app_first_opened")).value(QStringLiteral("first_opened_at")).toString(),
                     firstOpenedAt);
        } else {
            QCOMPARE(firstOpenedAt, firstOpenReported ? reportedAt : QString());
        }

        // Once per process: turning analytics back on later sends nothing again.
        Analytics::setup();
        QCOMPARE(trackedEvents(), events);
        QVERIFY(settle());
        QCOMPARE(unsettledRequests().size(), 2 * events.size());
    }

    // The install metrics take the anonymous id as the install id before their first
    // use, so both name the install alike.
    void installIdIsSeededOnce_data()
    {
        QTest::addColumn<QJsonValue>("storedAnonymousId");
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("seeded");
        QTest::newRow("fresh install") << QJsonValue(QJsonValue::Undefined) << false << true;
        QTest::newRow("prefixed id") << QJsonValue("dev_ABC") << false << true;
        QTest::newRow("bare id, prefixed on its first use") << QJsonValue("ABC") << false << true;
        // A signed-in event never reads the anonymous id, so a bare one stays bare.
        QTest::newRow("bare id while signed in") << QJsonValue("ABC") << true << false;
        QTest::newRow("nothing stored while signed in") << QJsonValue(QJsonValue::Undefined) << true << false;
    }
    void installIdIsSeededOnce()
    {
        QFETCH(QJsonValue, storedAnonymousId);
        QFETCH(bool, signedIn);
        QFETCH(bool, seeded);
        m_account->keychainInstallID.reset();
        if (signedIn)
            m_account->session = Analytics::StoredSession{QStringLiteral("tvs"), QStringLiteral("ta_1")};
        if (!storedAnonymousId.isUndefined())
            Settings::shared().setValue(SettingsKeys::analyticsAnonymousId, storedAnonymousId);
        Analytics::track(QStringLiteral("copy_html"));
        Analytics::track(QStringLiteral("copy_rich_text"));
        // Two requests on two connections: either may reach the peer first.
        QVERIFY(waitForCapture(QStringLiteral("sorvane_copy_html")));
        QVERIFY(waitForCapture(QStringLiteral("sorvane_copy_rich_text")));
        const QString installID = propertiesOf(captures(QStringLiteral("sorvane_copy_html")).first())
                                      .value(QStringLiteral("install_id"))
                                      .toString();
        if (seeded) {
            const QString anonymous = Settings::shared().stringValue(SettingsKeys::analyticsAnonymousId);
            QCOMPARE(m_account->seeds, QStringList{anonymous});
            QCOMPARE(installID, anonymous);
        } else {
            QCOMPARE(m_account->seeds, QStringList());
            QCOMPARE(installID, QStringLiteral("made-by-library"));
        }
    }

    // Eight threads track while another alternates identify and reset: every request
    // is whole JSON the capture endpoint accepts, and every distinct id is an
    // anonymous or an account id.
    void threadsTrackWhileIdentityChanges()
    {
        constexpr int threads = 8;
        constexpr int perThread = 20;
        constexpr int identifies = 20;
        // Standard threads, so that a thread checker sees every hand-over. Each worker
        // sends its i-th event only once the identity has changed i times, so that the
        // events spread over the changes instead of racing ahead of them. Relaxed: the
        // pacing must not order the threads' memory for a thread checker.
        std::atomic<int> changes = 0;
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([&changes, t] {
                for (int i = 0; i < perThread; ++i) {
                    while (changes.load(std::memory_order_relaxed) < i * 2 * identifies / perThread)
                        std::this_thread::yield();
                    Analytics::track(QStringLiteral("worker_%1_%2").arg(t).arg(i), {{QStringLiteral("n"), i}});
                }
            });
        }
        workers.emplace_back([&changes] {
            for (int i = 0; i < identifies; ++i) {
                Analytics::identify(QStringLiteral("ta_%1").arg(i));
                changes.fetch_add(1, std::memory_order_relaxed);
                Analytics::reset();
                changes.fetch_add(1, std::memory_order_relaxed);
            }
        });
        for (std::thread &worker : workers)
            worker.join();

        const int expected = threads * perThread + identifies;
        QList<QJsonObject> batches;
        QVERIFY(QTest::qWaitFor([&] {
            batches = m_peer.requests(QStringLiteral("/batch"));
            return batches.size() >= expected;
        }, 60000));
        QCOMPARE(batches.size(), expected);
        const QRegularExpression distinctShape(QStringLiteral("^(dev_[0-9A-F-]{36}|ta_\\d+)$"));
        for (const QJsonObject &request : batches) {
            QVERIFY(request.contains(QStringLiteral("json")));
            QCOMPARE(request.value(QStringLiteral("errors")).toArray(), QJsonArray());
            const QString distinct = itemOf(request).value(QStringLiteral("distinct_id")).toString();
            QVERIFY2(distinctShape.match(distinct).hasMatch(), qPrintable(distinct));
        }
    }
};

int main(int argc, char **argv)
{
    TestEnvironment environment;
    QCoreApplication app(argc, argv);
    // Started while this process has one thread: a thread checker stops reporting in
    // a process that forks once it has more.
    ServicePeer peer;
    if (!peer.start())
        qFatal("service peer: %s", qPrintable(peer.errorString()));
    tst_Analytics test(peer);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_Analytics.moc"
