#include "AwaitTask.h"
#include "ErrorTelemetryConsent.h"
#include "ErrorTelemetryFileDefaults.h"
#include "GeoProbeClient.h"
#include "HttpPeer.h"
#include "MemoryTelemetryDefaults.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTest>

using Keys = ErrorTelemetryConsent::Keys;

class tst_ErrorTelemetryConsent : public QObject
{
    Q_OBJECT

    std::shared_ptr<MemoryTelemetryDefaults> m_defaults;
    QNetworkAccessManager m_network;

    bool probe(HttpPeer &peer, const HttpPeer::Reply &reply, const QString &basePath = QStringLiteral("/"))
    {
        peer.route(basePath.toUtf8() + "api/geo", reply);
        return awaitTask(GeoProbeClient::probe(&m_network, peer.url(basePath)));
    }

private Q_SLOTS:
    void init()
    {
        m_defaults = std::make_shared<MemoryTelemetryDefaults>();
        ErrorTelemetryConsent::setDefaults(m_defaults);
    }

    // Each row: what the store holds, then the derived answers.
    void derivedSwitches_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("settled");
        QTest::addColumn<bool>("showEUOptIn");
        QTest::addColumn<bool>("showOptOutNote");
        QTest::newRow("fresh install") << QVariantMap{} << true << false << false << true;
        QTest::newRow("probe said EU") << QVariantMap{{Keys::resolvedIsEU, true}} << false << true << true << true;
        QTest::newRow("EU prompt shown")
            << QVariantMap{{Keys::resolvedIsEU, true}, {Keys::euOptInShown, true}} << false << true << false << true;
        QTest::newRow("EU user opted in")
            << QVariantMap{{Keys::resolvedIsEU, true}, {Keys::enabled, true}} << true << true << false << true;
        QTest::newRow("probe said not EU") << QVariantMap{{Keys::resolvedIsEU, false}} << true << true << false << true;
        QTest::newRow("switched off outside EU")
            << QVariantMap{{Keys::resolvedIsEU, false}, {Keys::enabled, false}} << false << true << false << true;
        QTest::newRow("switched off, no region") << QVariantMap{{Keys::enabled, false}} << false << true << false << true;
        QTest::newRow("note shown") << QVariantMap{{Keys::optOutShown, true}} << true << false << false << false;
        QTest::newRow("numbers read as booleans")
            << QVariantMap{{Keys::resolvedIsEU, 1}, {Keys::optOutShown, 0}} << false << true << true << true;
        QTest::newRow("texts read as booleans")
            << QVariantMap{{Keys::enabled, QStringLiteral("YES")}, {Keys::optOutShown, QStringLiteral("no")}} << true
            << true << false << true;
    }
    void derivedSwitches()
    {
        QFETCH(QVariantMap, stored);
        for (auto it = stored.cbegin(); it != stored.cend(); ++it)
            m_defaults->setValue(it.key(), it.value());
        QTEST(ErrorTelemetryConsent::isEnabled(), "enabled");
        QTEST(ErrorTelemetryConsent::isSettled(), "settled");
        QTEST(ErrorTelemetryConsent::shouldShowEUOptIn(), "showEUOptIn");
        QTEST(ErrorTelemetryConsent::shouldShowOptOutNote(), "showOptOutNote");
    }

    void choicesAndMarksAreStored()
    {
        m_defaults->setValue(Keys::resolvedIsEU, true);
        ErrorTelemetryConsent::markEUOptInShown();
        QVERIFY(!ErrorTelemetryConsent::shouldShowEUOptIn());
        ErrorTelemetryConsent::setEnabled(true);
        QVERIFY(ErrorTelemetryConsent::isEnabled());
        ErrorTelemetryConsent::markOptOutNoteShown();
        QVERIFY(!ErrorTelemetryConsent::shouldShowOptOutNote());
        ErrorTelemetryConsent::setEnabled(false);
        QVERIFY(!ErrorTelemetryConsent::isEnabled());
        QCOMPARE(m_defaults->value(Keys::enabled), QVariant(false));
        QCOMPARE(m_defaults->value(Keys::optOutShown), QVariant(true));
        QCOMPARE(m_defaults->value(Keys::euOptInShown), QVariant(true));
    }

    void probeReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("answer");
        // Empty: nothing stored, an earlier answer stays.
        QTest::addColumn<QVariant>("cached");
        QTest::newRow("EU") << 200 << QByteArray(R"({"eu":true})") << true << QVariant(true);
        QTest::newRow("not EU") << 200 << QByteArray(R"({"eu":false,"country":"NO"})") << false << QVariant(false);
        QTest::newRow("status 500 still decodes") << 500 << QByteArray(R"({"eu":true})") << true << QVariant(true);
        QTest::newRow("no eu key") << 200 << QByteArray(R"({"country":"DE"})") << false << QVariant();
        QTest::newRow("eu as text") << 200 << QByteArray(R"({"eu":"true"})") << false << QVariant();
        QTest::newRow("not JSON") << 200 << QByteArray("<html>") << false << QVariant();
        QTest::newRow("array") << 200 << QByteArray("[true]") << false << QVariant();
    }
    void probeReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QVariant, cached);
        HttpPeer peer;
        QTEST(probe(peer, {status, body}), "answer");
        QCOMPARE(GeoProbeClient::cachedIsEU().has_value(), cached.isValid());
        if (cached.isValid())
            QCOMPARE(*GeoProbeClient::cachedIsEU(), cached.toBool());
        QCOMPARE(peer.requests().size(), 1);
        QCOMPARE(peer.requests().first().method, QByteArray("GET"));
    }

    void failedProbeKeepsTheEarlierAnswer()
    {
        HttpPeer peer;
        QVERIFY(probe(peer, {200, R"({"eu":true})"}));
        QVERIFY(!probe(peer, {200, R"({"eu":null})"}));
        QCOMPARE(GeoProbeClient::cachedIsEU(), std::optional<bool>(true));
        const QUrl url = peer.url(QStringLiteral("/"));
        peer.refuse();
        QVERIFY(!awaitTask(GeoProbeClient::probe(&m_network, url)));
        QCOMPARE(GeoProbeClient::cachedIsEU(), std::optional<bool>(true));
        QVERIFY(!ErrorTelemetryConsent::isEnabled());
    }

    void probeKeepsTheBasePath()
    {
        HttpPeer peer;
        QVERIFY(probe(peer, {200, R"({"eu":true})"}, QStringLiteral("/identity/")));
        QCOMPARE(peer.requests().first().target, QByteArray("/identity/api/geo"));
        peer.route("/v2/api/geo", {200, R"({"eu":false})"});
        QVERIFY(!awaitTask(GeoProbeClient::probe(&m_network, peer.url(QStringLiteral("/v2")))));
        QCOMPARE(peer.requests().last().target, QByteArray("/v2/api/geo"));
    }

    // Without a host store the flags live in a JSON file of the library's own.
    void ownFileWithoutAHostStore()
    {
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        ErrorTelemetryConsent::setDefaults(nullptr);
        QVERIFY(ErrorTelemetryConsent::isEnabled());
        ErrorTelemetryConsent::setEnabled(false);
        ErrorTelemetryConsent::markOptOutNoteShown();
        const QString path = config.path() + QStringLiteral("/tolvern/error-telemetry.json");
        QVERIFY(QFile::exists(path));
        // A fresh reader of the same file sees both.
        ErrorTelemetryConsent::setDefaults(std::make_shared<ErrorTelemetryFileDefaults>(path));
        QVERIFY(!ErrorTelemetryConsent::isEnabled());
        QVERIFY(!ErrorTelemetryConsent::shouldShowOptOutNote());

        // A damaged file reads as a fresh install and the next choice replaces it.
        QFile damaged(path);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("{not json");
        damaged.close();
        QVERIFY(ErrorTelemetryConsent::isEnabled());
        ErrorTelemetryConsent::setEnabled(false);
        QVERIFY(!ErrorTelemetryConsent::isEnabled());
        qunsetenv("XDG_CONFIG_HOME");
    }
};

QTEST_GUILESS_MAIN(tst_ErrorTelemetryConsent)
#include "tst_ErrorTelemetryConsent.moc"
