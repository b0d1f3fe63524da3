// The updater end to end against a feed served on loopback: what is offered, what
// reaches Downloads and what is refused; the status text after each cycle; and the
// start-up steps (configuration, version record, saved alert frame, channels).
#include "Ed25519TestKey.h"
#include "HttpPeer.h"
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"

#include "platform/AppPaths.h"
#include "platform/BundleInfo.h"
#include "platform/DesktopShare.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "shell/DiagnosticsSeam.h"
#include "shell/UpdateAlert.h"
#include "shell/UpdateUserDriver.h"
#include "shell/UpdaterService.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

namespace {

using Outcome = AppcastUpdater::CycleResult::Outcome;

constexpr int cycleTimeout = 20000;
const QByteArray feedPath = "/appcast.xml";
const QByteArray updatePath = "/files/sorvane-1.3.0.tar.gz";

// Answers the update offer as scripted and keeps what the updater showed.
class ScriptedUserDriver : public AppcastUpdater::UserDriver
{
public:
    enum class Answer { Install, Later };
    Answer answer = Answer::Install;

    QList<AppcastItem> offers;
    std::function<void()> cancel;
    QStringList saved;
    QStringList errors;
    int upToDate = 0;
    int downloadsEnded = 0;

    void offerUpdate(const AppcastItem &item, const QString &, std::function<void(bool)> reply) override
    {
        offers.append(item);
        reply(answer == Answer::Install);
    }
    void showDownloadStarted(const AppcastItem &, std::function<void()> cancelDownload) override
    {
        cancel = std::move(cancelDownload);
    }
    void showDownloadProgress(qint64, qint64) override {}
    void showDownloadEnded() override { ++downloadsEnded; }
    void showUpdateSaved(const AppcastItem &, const QString &path) override { saved.append(path); }
    void showUpToDate(const QString &) override { ++upToDate; }
    void showUpdateError(const QString &message) override { errors.append(message); }
};

class RecordingLauncher : public DesktopShare::Launcher
{
public:
    QStringList shown;
    bool startDetached(const QString &, const QStringList &) override { return false; }
    bool openUrl(const QUrl &) override { return false; }
    bool showItemsInFileManager(const QStringList &fileUris) override
    {
        shown += fileUris;
        return true;
    }
};

class RecordingAnalytics : public DiagnosticsSeam
{
public:
    QStringList events;
    void track(const QString &event, const QVariantMap &properties) override
    {
        QStringList fields;
        for (auto it = properties.begin(); it != properties.end(); ++it)
            fields.append(it.key() + QLatin1Char('=') + it.value().toString());
        events.append((QStringList{event} + fields).join(QLatin1Char(' ')));
    }
};

enum class Signing { Good, Tampered, OtherKey, Missing, NotBase64 };

} // namespace

Q_DECLARE_METATYPE(Signing)
Q_DECLARE_METATYPE(HttpPeer::Reply)

namespace {

QByteArray updatePayload()
{
    QByteArray bytes;
    for (int i = 0; i < 200000; ++i)
        bytes.append(char((i * 131 + i / 7) & 0xff));
    return bytes;
}

QByteArray feedXml(const QByteArray &items)
{
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:sorvane=\"" + AppcastFeed::namespaceUri.toUtf8()
        + "\"><channel><title>sorv.ane</title>" + items + "</channel></rss>";
}

QByteArray itemXml(const QString &version, const QString &channel, const QUrl &url, qint64 length,
                   const QString &signature)
{
    QByteArray xml = "<item><title>sorv.ane " + version.toUtf8() + "</title><sorvane:version>" + version.toUtf8()
        + "</sorvane:version>";
    if (!channel.isEmpty())
        xml += "<sorvane:channel>" + channel.toUtf8() + "</sorvane:channel>";
    xml += "<description>Faster preview.</description><enclosure url=\"" + url.toEncoded() + "\" length=\""
        + QByteArray::number(length) + "\" type=\"application/octet-stream\"";
    if (!signature.isNull())
        xml += " sorvane:edSignature=\"" + signature.toUtf8() + "\"";
    return xml + "/></item>";
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QString downloads()
{
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class tst_UpdaterService : public QObject
{
    Q_OBJECT

    HttpPeer m_peer;
    Ed25519TestKey m_key;
    Ed25519TestKey m_otherKey;
    RecordingLauncher m_launcher;
    ScriptedUserDriver *m_driver = nullptr;

    QVariantMap bundle(const QUrl &feed) const
    {
        return {{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.2.0")},
                {QStringLiteral("SUFeedURL"), feed.toString()},
                {QStringLiteral("SUPublicEDKey"), m_key.publicKeyBase64()}};
    }

    std::unique_ptr<UpdaterService> makeService(AppcastUpdater::UserDriver *driver,
                                                std::chrono::milliseconds idleTimeout = std::chrono::seconds(30))
    {
        UpdaterService::Environment environment;
        environment.userDriver = driver;
        environment.idleTimeout = idleTimeout;
        environment.screens = [] { return QList<QRect>{QRect(0, 0, 1920, 1080)}; };
        return std::make_unique<UpdaterService>(nullptr, nullptr, environment);
    }

    // One user-initiated cycle, waited for to its end.
    static bool runCycle(UpdaterService &service)
    {
        if (!service.canCheckForUpdates())
            return false;
        service.checkForUpdates();
        return QTest::qWaitFor([&] { return service.canCheckForUpdates(); }, cycleTimeout);
    }

    void serveUpdate(const QString &version, const QString &channel = QString())
    {
        const QByteArray payload = updatePayload();
        m_peer.route(updatePath, {200, payload});
        m_peer.route(feedPath, {200, feedXml(itemXml(version, channel, m_peer.url(QString::fromLatin1(updatePath)),
                                                     payload.size(), m_key.signBase64(payload)))});
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_peer.port() != 0);
        QVERIFY(m_key.isValid() && m_otherKey.isValid());
        DesktopShare::setLauncher(&m_launcher);
    }

    void cleanupTestCase() { DesktopShare::setLauncher(nullptr); }

    void init()
    {
        for (const QString &key : {SettingsKeys::betaUpdatesEnabled, SettingsKeys::lastKnownVersion,
                                   SettingsKeys::updateAlertFrame})
            Settings::shared().remove(key);
        QDir(downloads()).removeRecursively();
        QDir(AppPaths::privateTempFolder()).removeRecursively();
        BundleInfo::setInfoForTesting(bundle(m_peer.url(QString::fromLatin1(feedPath))));
        m_peer.resume();
        m_peer.clearRequests();
        m_launcher.shown.clear();
    }

    void cleanup() { BundleInfo::setInfoForTesting(std::nullopt); }

    void installCycle_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("channel");
        QTest::addColumn<bool>("beta");
        QTest::addColumn<Signing>("signing");
        // Announced length minus the real one.
        QTest::addColumn<qint64>("lengthDelta");
        QTest::addColumn<qint64>("truncateAfter");
        // Where the item points instead of the peer; empty for the peer.
        QTest::addColumn<QString>("enclosure");
        QTest::addColumn<bool>("offered");
        QTest::addColumn<bool>("saved");
        // Part of the failure text; empty when the cycle must leave none.
        QTest::addColumn<QString>("failure");

        QTest::newRow("newer signed item") << "1.3.0" << "" << false << Signing::Good << 0LL << -1LL << "" << true << true << "";
        QTest::newRow("tampered byte") << "1.3.0" << "" << false << Signing::Tampered << 0LL << -1LL << "" << true << false << "signature does not match";
        QTest::newRow("other key") << "1.3.0" << "" << false << Signing::OtherKey << 0LL << -1LL << "" << true << false << "signature does not match";
        QTest::newRow("no signature") << "1.3.0" << "" << false << Signing::Missing << 0LL << -1LL << "" << true << false << "no signature";
        QTest::newRow("bad signature") << "1.3.0" << "" << false << Signing::NotBase64 << 0LL << -1LL << "" << true << false << "not a valid Ed25519 signature";
        QTest::newRow("announced longer") << "1.3.0" << "" << false << Signing::Good << 1LL << -1LL << "" << true << false << "where the feed announced";
        QTest::newRow("announced shorter") << "1.3.0" << "" << false << Signing::Good << -1LL << -1LL << "" << true << false << "larger than";
        QTest::newRow("truncated") << "1.3.0" << "" << false << Signing::Good << 0LL << 70000LL << "" << true << false << "download";
        QTest::newRow("plain http elsewhere") << "1.3.0" << "" << false << Signing::Good << 0LL << -1LL << "http://192.0.2.10/sorvane-1.3.0.tar.gz" << true << false << "only over https";
        QTest::newRow("older only") << "1.1.9" << "" << false << Signing::Good << 0LL << -1LL << "" << false << false << "";
        QTest::newRow("equal only") << "1.2.0" << "" << false << Signing::Good << 0LL << -1LL << "" << false << false << "";
        QTest::newRow("beta-only newer, beta on") << "1.3.0" << "beta" << true << Signing::Good << 0LL << -1LL << "" << true << true << "";
        QTest::newRow("beta-only newer, beta off") << "1.3.0" << "beta" << false << Signing::Good << 0LL << -1LL << "" << false << false << "";
    }

    void installCycle()
    {
        QFETCH(QString, version);
        QFETCH(QString, channel);
        QFETCH(bool, beta);
        QFETCH(Signing, signing);
        QFETCH(qint64, lengthDelta);
        QFETCH(qint64, truncateAfter);
        QFETCH(QString, enclosure);
        QFETCH(bool, offered);
        QFETCH(bool, saved);
        QFETCH(QString, failure);

        const QByteArray payload = updatePayload();
        QByteArray served = payload;
        if (signing == Signing::Tampered)
            served[served.size() / 2] = char(served.at(served.size() / 2) ^ 0x20);
        QString signature;
        switch (signing) {
        case Signing::Good:
        case Signing::Tampered: signature = m_key.signBase64(payload); break;
        case Signing::OtherKey: signature = m_otherKey.signBase64(payload); break;
        case Signing::Missing: break;
        case Signing::NotBase64: signature = QStringLiteral("not*base64"); break;
        }
        HttpPeer::Reply update{200, served};
        update.truncateAfter = truncateAfter;
        m_peer.route(updatePath, update);
        const QUrl url = enclosure.isEmpty() ? m_peer.url(QString::fromLatin1(updatePath)) : QUrl(enclosure);
        m_peer.route(feedPath, {200, feedXml(itemXml(version, channel, url, payload.size() + lengthDelta, signature))});
        Settings::shared().setValue(SettingsKeys::betaUpdatesEnabled, beta);

        ScriptedUserDriver driver;
        auto service = makeService(&driver);
        QVERIFY(service->hasController());
        QVERIFY(runCycle(*service));

        QCOMPARE(driver.offers.size(), offered ? 1 : 0);
        if (failure.isEmpty()) {
            QCOMPARE(service->statusMessage(), QString());
            QVERIFY(driver.errors.isEmpty());
        } else {
            QVERIFY2(service->statusMessage().startsWith(QLatin1String("Update check failed: "))
                         && service->statusMessage().contains(failure),
                     qPrintable(service->statusMessage()));
            QCOMPARE(driver.errors.size(), 1);
        }
        QCOMPARE(driver.upToDate, offered ? 0 : 1);
        // Nothing unverified is left behind, in the private folder or in Downloads.
        QCOMPARE(filesIn(AppPaths::privateTempFolder()), QStringList());
        if (saved) {
            const QString path = downloads() + QStringLiteral("/sorvane-1.3.0.tar.gz");
            QCOMPARE(filesIn(downloads()), QStringList{"sorvane-1.3.0.tar.gz"});
            QCOMPARE(readFile(path), payload);
            QCOMPARE(driver.saved, QStringList{path});
            QCOMPARE(m_launcher.shown, QStringList{QUrl::fromLocalFile(path).toString()});
        } else {
            QCOMPARE(filesIn(downloads()), QStringList());
            QVERIFY(driver.saved.isEmpty());
            QVERIFY(m_launcher.shown.isEmpty());
        }
        // Only what can be verified is fetched at all.
        if (signing == Signing::Missing || signing == Signing::NotBase64 || !offered)
            QCOMPARE(m_peer.requestCount(updatePath), 0);
    }

    void failedCheckThenGood_data()
    {
        QTest::addColumn<HttpPeer::Reply>("reply");
        QTest::addColumn<bool>("refuse");
        QTest::addColumn<QString>("failure");

        QTest::newRow("malformed XML") << HttpPeer::Reply{200, "<rss version=\"2.0\"><channel><item>"} << false << "not valid XML";
        QTest::newRow("HTTP 500") << HttpPeer::Reply{500, "oops"} << false << "500";
        QTest::newRow("refused connection") << HttpPeer::Reply{} << true << "refused";
        QTest::newRow("feed over 1 MiB")
            << HttpPeer::Reply{200, feedXml(QByteArray(1024 * 1024, ' '))} << false << "larger than";
        HttpPeer::Reply stalled;
        stalled.stall = true;
        QTest::newRow("server stops answering") << stalled << false << "stopped answering";
    }

    void failedCheckThenGood()
    {
        QFETCH(HttpPeer::Reply, reply);
        QFETCH(bool, refuse);
        QFETCH(QString, failure);

        m_peer.route(feedPath, reply);
        if (refuse)
            m_peer.refuse();
        ScriptedUserDriver driver;
        auto service = makeService(&driver, std::chrono::milliseconds(1500));
        QSignalSpy messages(service.get(), &UpdaterService::statusMessageChanged);
        QVERIFY(runCycle(*service));
        QVERIFY2(service->statusMessage().startsWith(QLatin1String("Update check failed: "))
                     && service->statusMessage().contains(failure, Qt::CaseInsensitive),
                 qPrintable(service->statusMessage()));
        QCOMPARE(driver.errors.size(), 1);

        // The next cycle that ends well takes the text away.
        m_peer.resume();
        m_peer.route(feedPath, {200, feedXml(itemXml("1.1.0", QString(), m_peer.url("/old.tar.gz"), 10, "x"))});
        QVERIFY(runCycle(*service));
        QCOMPARE(service->statusMessage(), QString());
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages.at(1).at(0).toString(), QString());
        QCOMPARE(driver.upToDate, 1);
    }

    void refusesPlainHttpElsewhere_data()
    {
        QTest::addColumn<QString>("feed");
        QTest::newRow("http host") << "http://example.com/appcast.xml";
        QTest::newRow("http private address") << "http://10.0.0.1/appcast.xml";
        QTest::newRow("http name starting localhost") << "http://localhost.example.com/appcast.xml";
        QTest::newRow("ftp on loopback") << "ftp://127.0.0.1/appcast.xml";
        QTest::newRow("local file") << "file:///etc/hosts";
        QTest::newRow("placeholder") << "REPLACE_WITH_FEED";
    }

    void refusesPlainHttpElsewhere()
    {
        QFETCH(QString, feed);
        BundleInfo::setInfoForTesting(bundle(QUrl(feed)));
        ScriptedUserDriver driver;
        auto service = makeService(&driver);
        QVERIFY(service->hasController());
        QVERIFY(runCycle(*service));
        QVERIFY2(service->statusMessage().contains(QLatin1String("only over https")), qPrintable(service->statusMessage()));
        QVERIFY(driver.offers.isEmpty());
    }

    void redirects_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("failure");
        QTest::newRow("to loopback") << "/moved/appcast.xml" << "";
        QTest::newRow("to plain http elsewhere") << "http://192.0.2.10/appcast.xml" << "only over https";
        // The network layer itself follows no redirect off http and https.
        QTest::newRow("to a local file") << "file:///etc/hosts" << "302";
    }

    // Every hop of a redirect is held to the rules of the first address.
    void redirects()
    {
        QFETCH(QString, target);
        QFETCH(QString, failure);
        const QUrl location = target.startsWith(QLatin1Char('/')) ? m_peer.url(target) : QUrl(target);
        HttpPeer::Reply moved{302, QByteArray()};
        moved.headers = {{"Location", location.toEncoded()}};
        m_peer.route(feedPath, moved);
        m_peer.route("/moved/appcast.xml", {200, feedXml(itemXml("1.1.0", QString(), m_peer.url("/old.tar.gz"), 10, "x"))});
        ScriptedUserDriver driver;
        auto service = makeService(&driver);
        QVERIFY(runCycle(*service));
        if (failure.isEmpty()) {
            QCOMPARE(service->statusMessage(), QString());
            QCOMPARE(driver.upToDate, 1);
            QCOMPARE(m_peer.requestCount("/moved/appcast.xml"), 1);
        } else {
            QVERIFY2(service->statusMessage().contains(failure), qPrintable(service->statusMessage()));
            QCOMPARE(driver.upToDate, 0);
        }
    }

    // Ordinary ends also clear the text a failed cycle left.
    void laterAndCancel_data()
    {
        QTest::addColumn<bool>("cancelDownload");
        QTest::newRow("Later") << false;
        QTest::newRow("Cancel during the download") << true;
    }

    void laterAndCancel()
    {
        QFETCH(bool, cancelDownload);
        m_peer.route(feedPath, {500, "down"});
        ScriptedUserDriver driver;
        driver.answer = cancelDownload ? ScriptedUserDriver::Answer::Install : ScriptedUserDriver::Answer::Later;
        auto service = makeService(&driver);
        QVERIFY(runCycle(*service));
        QVERIFY(!service->statusMessage().isEmpty());

        serveUpdate(QStringLiteral("1.3.0"));
        HttpPeer::Reply stalled;
        stalled.stall = true;
        m_peer.route(updatePath, stalled);
        service->checkForUpdates();
        if (cancelDownload) {
            QTRY_COMPARE_WITH_TIMEOUT(m_peer.requestCount(updatePath), 1, cycleTimeout);
            // A cycle is running: no second one starts.
            QVERIFY(!service->canCheckForUpdates());
            service->checkForUpdates();
            QCOMPARE(m_peer.requestCount(feedPath), 2);
            QVERIFY(driver.cancel);
            driver.cancel();
        }
        QTRY_VERIFY_WITH_TIMEOUT(service->canCheckForUpdates(), cycleTimeout);
        QCOMPARE(driver.offers.size(), 1);
        QCOMPARE(service->statusMessage(), QString());
        QCOMPARE(driver.errors.size(), 1);
        QCOMPARE(m_peer.requestCount(updatePath), cancelDownload ? 1 : 0);
        QCOMPARE(driver.downloadsEnded, cancelDownload ? 1 : 0);
        QCOMPARE(filesIn(AppPaths::privateTempFolder()), QStringList());
        QCOMPARE(filesIn(downloads()), QStringList());
    }

    void keepsExistingDownloads()
    {
        QVERIFY(QDir().mkpath(downloads()));
        const QStringList mine = {QStringLiteral("sorvane-1.3.0.tar.gz"), QStringLiteral("sorvane-1.3.0 (1).tar.gz")};
        for (const QString &name : mine) {
            QFile file(downloads() + QLatin1Char('/') + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(name.toUtf8());
        }
        serveUpdate(QStringLiteral("1.3.0"));
        ScriptedUserDriver driver;
        auto service = makeService(&driver);
        QVERIFY(runCycle(*service));
        QVERIFY(runCycle(*service));
        QCOMPARE(filesIn(downloads()), (QStringList{"sorvane-1.3.0 (1).tar.gz", "sorvane-1.3.0 (2).tar.gz",
                                                     "sorvane-1.3.0 (3).tar.gz", "sorvane-1.3.0.tar.gz"}));
        for (const QString &name : mine)
            QCOMPARE(readFile(downloads() + QLatin1Char('/') + name), name.toUtf8());
        QCOMPARE(readFile(downloads() + QStringLiteral("/sorvane-1.3.0 (3).tar.gz")), updatePayload());
    }

    void configuration_data()
    {
        QTest::addColumn<QVariant>("feed");
        QTest::addColumn<QVariant>("key");
        QTest::addColumn<bool>("valid");

        const QString key = Ed25519TestKey().publicKeyBase64();
        const QString feed = QStringLiteral("https://updates.example.org/appcast.xml");
        QTest::newRow("feed and key") << QVariant(feed) << QVariant(key) << true;
        QTest::newRow("spaces-only feed") << QVariant(QStringLiteral("   ")) << QVariant(key) << false;
        QTest::newRow("line breaks only feed") << QVariant(QStringLiteral("\n\t\r\n")) << QVariant(key) << false;
        QTest::newRow("placeholder key") << QVariant(feed) << QVariant(QStringLiteral("REPLACE_WITH_PUBLIC_KEY")) << false;
        QTest::newRow("placeholder key after spaces") << QVariant(feed) << QVariant(QStringLiteral("  REPLACE_ME")) << false;
        QTest::newRow("placeholder feed, real key") << QVariant(QStringLiteral("REPLACE_WITH_FEED")) << QVariant(key) << true;
        QTest::newRow("key with line break") << QVariant(feed) << QVariant(key + QStringLiteral("\n")) << true;
        QTest::newRow("no key") << QVariant(feed) << QVariant() << false;
        QTest::newRow("no feed") << QVariant() << QVariant(key) << false;
        QTest::newRow("feed no text") << QVariant(42) << QVariant(key) << false;
    }

    void configuration()
    {
        QFETCH(QVariant, feed);
        QFETCH(QVariant, key);
        QFETCH(bool, valid);
        QVariantMap info{{QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.2.0")}};
        if (feed.isValid())
            info.insert(QStringLiteral("SUFeedURL"), feed);
        if (key.isValid())
            info.insert(QStringLiteral("SUPublicEDKey"), key);
        BundleInfo::setInfoForTesting(info);
        ScriptedUserDriver driver;
        auto service = makeService(&driver);
        QCOMPARE(service->hasController(), valid);
        QCOMPARE(service->canCheckForUpdates(), valid);
        QCOMPARE(service->statusMessage(), QString());
    }

    void versionRecord_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QVariant>("storedAfter");

        QTest::newRow("first launch") << QVariant() << "1.2.0" << QStringList() << QVariant("1.2.0");
        QTest::newRow("empty record") << QVariant("") << "1.2.0" << QStringList() << QVariant("1.2.0");
        QTest::newRow("same version") << QVariant("1.2.0") << "1.2.0" << QStringList() << QVariant("1.2.0");
        QTest::newRow("updated from 1.1.0")
            << QVariant("1.1.0") << "1.2.0"
            << QStringList{"app_updated install_channel=direct new_version=1.2.0 prior_version=1.1.0"}
            << QVariant("1.2.0");
        QTest::newRow("back to an older build")
            << QVariant("1.3.0") << "1.2.0"
            << QStringList{"app_updated install_channel=direct new_version=1.2.0 prior_version=1.3.0"}
            << QVariant("1.2.0");
        QTest::newRow("no running version") << QVariant("1.1.0") << "" << QStringList() << QVariant("1.1.0");
    }

    void versionRecord()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, current);
        QFETCH(QStringList, events);
        QFETCH(QVariant, storedAfter);
        if (stored.isValid())
            Settings::shared().setValue(SettingsKeys::lastKnownVersion, QJsonValue::fromVariant(stored));
        QVariantMap info;
        if (!current.isEmpty())
            info.insert(QStringLiteral("CFBundleShortVersionString"), current);
        BundleInfo::setInfoForTesting(info);

        RecordingAnalytics analytics;
        // Two launches: the second of the same version adds nothing. "update_installed"
        // is the launch step's, never the updater's.
        for (int launch = 0; launch < 2; ++launch)
            UpdaterService service(&analytics, nullptr);
        QCOMPARE(analytics.events, events);
        QCOMPARE(Settings::shared().storedValue(SettingsKeys::lastKnownVersion).toVariant(), storedAfter);
    }

    void savedFrame_data()
    {
        QTest::addColumn<QJsonValue>("frame");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<bool>("kept");

        const QRect laptop(0, 0, 1920, 1050);
        const QRect right(1920, 0, 1280, 1024);
        QTest::newRow("off all screens") << QJsonValue("5000 5000 400 300") << QList{laptop, right} << false;
        QTest::newRow("left of all screens") << QJsonValue("-900 100 400 300") << QList{laptop, right} << false;
        QTest::newRow("overlapping a corner") << QJsonValue("1800 1000 400 300") << QList{laptop} << true;
        QTest::newRow("on the second screen") << QJsonValue("2400 100 400 300") << QList{laptop, right} << true;
        QTest::newRow("no screens") << QJsonValue("10 10 400 300") << QList<QRect>() << false;
        QTest::newRow("fewer than four numbers") << QJsonValue("5000 5000 400") << QList{laptop} << true;
        QTest::newRow("words among numbers") << QJsonValue("x 5000 y 5000 400 300") << QList{laptop} << false;
        QTest::newRow("any white space") << QJsonValue("10\n 10  400\t300") << QList{laptop} << true;
        QTest::newRow("not a text") << QJsonValue(5000) << QList{laptop} << true;
    }

    void savedFrame()
    {
        QFETCH(QJsonValue, frame);
        QFETCH(QList<QRect>, screens);
        QFETCH(bool, kept);
        Settings::shared().setValue(SettingsKeys::updateAlertFrame, frame);
        UpdaterService::Environment environment;
        environment.screens = [screens] { return screens; };
        UpdaterService service(nullptr, nullptr, environment);
        QCOMPARE(Settings::shared().storedValue(SettingsKeys::updateAlertFrame), kept ? frame : QJsonValue(QJsonValue::Undefined));
    }

    void allowedChannels_data()
    {
        QTest::addColumn<QJsonValue>("beta");
        QTest::addColumn<QStringList>("channels");
        QTest::newRow("beta on") << QJsonValue(true) << QStringList{"beta"};
        QTest::newRow("beta off") << QJsonValue(false) << QStringList();
        QTest::newRow("never set") << QJsonValue(QJsonValue::Undefined) << QStringList();
        // As the settings store reads switches written as text or numbers.
        QTest::newRow("text yes") << QJsonValue("yes") << QStringList{"beta"};
        QTest::newRow("number 0") << QJsonValue(0) << QStringList();
    }

    void allowedChannels()
    {
        QFETCH(QJsonValue, beta);
        QFETCH(QStringList, channels);
        // Made first: the setting counts when asked, not when the service was made.
        ScriptedUserDriver driver;
        auto service = makeService(&driver);
        if (!beta.isUndefined())
            Settings::shared().setValue(SettingsKeys::betaUpdatesEnabled, beta);
        QCOMPARE(service->allowedChannels(), QSet<QString>(channels.begin(), channels.end()));
    }

    // The application's own windows: the alert answered from the keyboard, the
    // progress window's Cancel, and the messages through the alert presenter.
    void applicationWindows_data()
    {
        QTest::addColumn<QString>("served");
        QTest::addColumn<int>("alertKey");
        QTest::addColumn<bool>("cancelProgress");
        QTest::addColumn<QString>("message");

        QTest::newRow("up to date") << "1.1.0" << 0 << false << "You're up to date!";
        QTest::newRow("Install with Return") << "1.3.0" << int(Qt::Key_Return) << false << "sorv.ane 1.3.0 is ready to install";
        QTest::newRow("Later with Escape") << "1.3.0" << int(Qt::Key_Escape) << false << "";
        QTest::newRow("Cancel the download") << "1.3.0" << int(Qt::Key_Return) << true << "";
        QTest::newRow("failed check") << "" << 0 << false << "Update Error";
    }

    void applicationWindows()
    {
        QFETCH(QString, served);
        QFETCH(int, alertKey);
        QFETCH(bool, cancelProgress);
        QFETCH(QString, message);

        if (served.isEmpty())
            m_peer.route(feedPath, {500, "down"});
        else
            serveUpdate(served);
        if (cancelProgress) {
            HttpPeer::Reply stalled;
            stalled.stall = true;
            m_peer.route(updatePath, stalled);
        }
        ScriptedAlertPresenter presenter;
        UpdateUserDriver driver;
        auto service = makeService(&driver);
        service->checkForUpdates();
        if (alertKey) {
            QTRY_VERIFY_WITH_TIMEOUT(driver.alert() && driver.alert()->isVisible(), cycleTimeout);
            QCOMPARE(driver.alert()->notesView()->toPlainText(), QStringLiteral("Faster preview."));
            QTest::keyClick(driver.alert(), Qt::Key(alertKey));
        }
        if (cancelProgress) {
            QTRY_VERIFY_WITH_TIMEOUT(driver.progress() && driver.progress()->isVisible(), cycleTimeout);
            QTRY_COMPARE_WITH_TIMEOUT(m_peer.requestCount(updatePath), 1, cycleTimeout);
            QTest::keyClick(driver.progress(), Qt::Key_Escape);
        }
        QTRY_VERIFY_WITH_TIMEOUT(service->canCheckForUpdates(), cycleTimeout);
        QTRY_VERIFY(!driver.alert());
        QVERIFY(!driver.progress());
        QStringList shown;
        for (const AlertRequest &alert : presenter.alerts)
            shown.append(alert.messageText);
        QCOMPARE(shown, message.isEmpty() ? QStringList() : QStringList{message});
        if (message.contains(QLatin1String("ready to install"))) {
            QCOMPARE(presenter.alerts.first().accessoryText, downloads() + QStringLiteral("/sorvane-1.3.0.tar.gz"));
            QVERIFY(presenter.alerts.first().informativeText.contains(QLatin1String("after you quit")));
        }
        QCOMPARE(filesIn(downloads()).size(), message.contains(QLatin1String("ready")) ? 1 : 0);
        QCOMPARE(filesIn(AppPaths::privateTempFolder()), QStringList());
    }
};

SORVANE_TEST_MAIN(tst_UpdaterService)
#include "tst_UpdaterService.moc"
