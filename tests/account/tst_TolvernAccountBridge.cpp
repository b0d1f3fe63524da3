#include "AccountTestBridge.h"
#include "AwaitTask.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace AccountTest;

class tst_TolvernAccountBridge : public QObject
{
    Q_OBJECT

    IdentityPeer *m_identity = nullptr;
    QNetworkAccessManager m_network;
    std::shared_ptr<InMemoryStorage> m_storage;
    std::unique_ptr<TolvernAccountBridge> m_bridge;

    // A bridge over the stand-in whose store holds `session`, when given.
    TolvernAccountBridge &makeBridge(const std::optional<StoredSession> &session = std::nullopt)
    {
        m_storage = std::make_shared<InMemoryStorage>();
        if (session)
            store(*m_storage, *session);
        m_bridge = std::make_unique<TolvernAccountBridge>(config(&m_network, m_identity->baseUrl()),
                                                          dependencies(m_storage));
        return *m_bridge;
    }

    // Signed in through the launch restore, with the session rewritten to expire at
    // `expiresAt` (the restore itself renews it once).
    StoredSession signInExpiringAt(const QDateTime &expiresAt, const QString &refreshToken = QString())
    {
        makeBridge(stored(m_identity->openSession(), QDateTime::currentDateTimeUtc().addDays(30)));
        const std::optional<TolvernAccount> account = awaitTask(m_bridge->restore());
        if (!account)
            return {};
        StoredSession session = *storedSession(*m_storage);
        session.expiresAt = expiresAt;
        if (!refreshToken.isEmpty())
            session.refreshToken = refreshToken;
        store(*m_storage, session);
        m_identity->clearLog();
        return session;
    }

private Q_SLOTS:
    void init()
    {
        m_identity = new IdentityPeer(this);
        qunsetenv(TolvernAccountBridge::authorityVariable);
        qunsetenv(TolvernAccountBridge::identityVariable);
    }

    void cleanup()
    {
        m_bridge.reset();
        delete m_identity;
        m_identity = nullptr;
    }

    void endpointOverride_data()
    {
        QTest::addColumn<QString>("override");
        QTest::addColumn<QString>("expected");
        const QString builtIn = QStringLiteral("https://auth.tolvern.dev");
        QTest::newRow("none") << QString() << builtIn;
        QTest::newRow("https") << QStringLiteral("https://staging.example.org") << QStringLiteral("https://staging.example.org");
        QTest::newRow("https trailing slash") << QStringLiteral("https://staging.example.org/") << QStringLiteral("https://staging.example.org");
        QTest::newRow("http loopback") << QStringLiteral("http://127.0.0.1:4100") << QStringLiteral("http://127.0.0.1:4100");
        QTest::newRow("http localhost") << QStringLiteral("http://localhost:4100/") << QStringLiteral("http://localhost:4100");
        // A session token would cross the network in the clear.
        QTest::newRow("http elsewhere") << QStringLiteral("http://id.example.org") << builtIn;
        QTest::newRow("other scheme") << QStringLiteral("ftp://127.0.0.1") << builtIn;
        QTest::newRow("no host") << QStringLiteral("https:///path") << builtIn;
        QTest::newRow("not a URL") << QStringLiteral("id tolvern dev") << builtIn;
    }

    void endpointOverride()
    {
        QFETCH(QString, override);
        QFETCH(QString, expected);
        const QUrl builtIn(QStringLiteral("https://auth.tolvern.dev"));
        QCOMPARE(TolvernAccountBridge::endpoint(override, builtIn, TolvernAccountBridge::authorityVariable)
                     .toString(),
                 expected);
    }

    void configuration()
    {
        QNetworkAccessManager network;
        TolvernConfig config = TolvernAccountBridge::makeConfig(&network, QStringLiteral("install-1"));
        QCOMPARE(config.authorityURL(), QUrl(QStringLiteral("https://auth.tolvern.dev")));
        QCOMPARE(config.identityURL(), QUrl(QStringLiteral("https://id.tolvern.dev")));
        QCOMPARE(config.appSlug(), QStringLiteral("sorvane"));
        QCOMPARE(config.clientID(), QStringLiteral("sorvane"));
        QCOMPARE(config.libVersion(), QStringLiteral("0.9.2"));
        QVERIFY(!config.clientVersion().isEmpty());
        QCOMPARE(config.redirectURI(), QUrl(QStringLiteral("sorvane://auth/callback")));
        QCOMPARE(config.preferredScheme(), AuthScheme::systemBrowser);
        QCOMPARE(config.keychainAccessGroup(), std::nullopt);
        QCOMPARE(config.scopes(), QStringList{QStringLiteral("tolvern.account")});
        QCOMPARE(config.urlSession(), &network);
        QVERIFY(!config.logger());
        QCOMPARE(config.installID(), std::optional<QString>(QStringLiteral("install-1")));

        qputenv(TolvernAccountBridge::authorityVariable, "http://127.0.0.1:4100");
        qputenv(TolvernAccountBridge::identityVariable, "https://id.staging.example/");
        config = TolvernAccountBridge::makeConfig(&network, std::nullopt);
        QCOMPARE(config.authorityURL(), QUrl(QStringLiteral("http://127.0.0.1:4100")));
        QCOMPARE(config.identityURL(), QUrl(QStringLiteral("https://id.staging.example")));
        QCOMPARE(config.installID(), std::nullopt);
    }

    void currentSession_data()
    {
        QTest::addColumn<bool>("restore");
        QTest::addColumn<QByteArray>("item"); // "keep", "delete", "garbage" or "expired"
        QTest::addColumn<bool>("answers");
        QTest::newRow("stored but not yet restored") << false << QByteArray("keep") << false;
        QTest::newRow("signed in") << true << QByteArray("keep") << true;
        QTest::newRow("signed in, item deleted") << true << QByteArray("delete") << false;
        QTest::newRow("signed in, item undecodable") << true << QByteArray("garbage") << false;
        QTest::newRow("signed in, expired item") << true << QByteArray("expired") << true;
    }

    void currentSession()
    {
        QFETCH(bool, restore);
        QFETCH(QByteArray, item);
        QFETCH(bool, answers);
        makeBridge(stored(m_identity->openSession(), QDateTime::currentDateTimeUtc().addDays(30)));
        if (restore)
            QVERIFY(awaitTask(m_bridge->restore()));
        const QString key = QLatin1String(KeychainStorage::Keys::session);
        if (item == "delete")
            m_storage->deleteData(key);
        if (item == "garbage")
            m_storage->setData("{not json", key);
        if (item == "expired") {
            StoredSession session = *storedSession(*m_storage);
            session.expiresAt = QDateTime::currentDateTimeUtc().addSecs(-60);
            store(*m_storage, session);
        }
        const std::optional<TolvernAccountBridge::Session> session = m_bridge->currentSession();
        QCOMPARE(session.has_value(), answers);
        if (answers) {
            QCOMPARE(session->tvs, storedSession(*m_storage)->tvs);
            QCOMPARE(session->accountID, accountID);
            QCOMPARE(session->email, email);
        }
        // An item that does not decode reads as signed out and is left alone.
        if (item == "garbage")
            QCOMPARE(m_storage->getData(key), std::optional<QByteArray>("{not json"));
    }

    void restoreFlag()
    {
        makeBridge();
        QSignalSpy changed(m_bridge.get(), &TolvernAccountBridge::didJustRestoreChanged);
        QCOMPARE(awaitTask(m_bridge->restore()), std::nullopt);
        QVERIFY(!m_bridge->didJustRestore());
        QCOMPARE(changed.count(), 0);

        makeBridge(stored(m_identity->openSession(), QDateTime::currentDateTimeUtc().addDays(30)));
        m_bridge->setRestoreFlagDuration(std::chrono::milliseconds(200));
        QSignalSpy raised(m_bridge.get(), &TolvernAccountBridge::didJustRestoreChanged);
        const std::optional<TolvernAccount> account = awaitTask(m_bridge->restore());
        QVERIFY(account);
        QCOMPARE(account->tolvernAccountId.raw, accountID);
        QVERIFY(m_bridge->didJustRestore());
        QTRY_VERIFY(!m_bridge->didJustRestore());
        QCOMPARE(raised.count(), 2);
    }

    void restoreTimerDoesNotOutliveBridge()
    {
        makeBridge(stored(m_identity->openSession(), QDateTime::currentDateTimeUtc().addDays(30)));
        m_bridge->setRestoreFlagDuration(std::chrono::milliseconds(50));
        QVERIFY(awaitTask(m_bridge->restore()));
        QPointer<TolvernAccountBridge> gone(m_bridge.get());
        m_bridge.reset();
        QVERIFY(!gone);
        // A later timer fires after the restore's would have: it must find nothing to touch.
        QTimer later;
        later.setSingleShot(true);
        QSignalSpy fired(&later, &QTimer::timeout);
        later.start(100);
        QVERIFY(fired.wait());
    }

    void freshSession_data()
    {
        QTest::addColumn<qint64>("expiresIn");
        QTest::addColumn<bool>("knownRefreshToken");
        QTest::addColumn<int>("refreshes");
        QTest::addColumn<bool>("answers");
        QTest::newRow("far from expiry") << qint64(30 * 86400) << true << 0 << true;
        QTest::newRow("just outside the window") << qint64(172800 + 3600) << true << 0 << true;
        QTest::newRow("within 48 hours") << qint64(172800 - 3600) << true << 1 << true;
        QTest::newRow("already expired") << qint64(-60) << true << 1 << true;
        // A definitive refusal ends the session: no token is handed out.
        QTest::newRow("refresh refused") << qint64(3600) << false << 1 << false;
    }

    void freshSession()
    {
        QFETCH(qint64, expiresIn);
        QFETCH(bool, knownRefreshToken);
        QFETCH(int, refreshes);
        QFETCH(bool, answers);
        const StoredSession before = signInExpiringAt(QDateTime::currentDateTimeUtc().addSecs(expiresIn),
                                                      knownRefreshToken ? QString() : QStringLiteral("rt_unknown"));
        QVERIFY(!before.tvs.isEmpty());

        const std::optional<TolvernAccountBridge::Session> session = awaitTask(m_bridge->freshSession());
        QCOMPARE(m_identity->count(IdentityPeer::kRefresh), refreshes);
        QCOMPARE(session.has_value(), answers);
        if (!answers) {
            QCOMPARE(m_bridge->manager().state().kind(), TolvernAccountManager::State::Kind::signedOut);
            QCOMPARE(m_bridge->currentSession().has_value(), false);
            return;
        }
        QVERIFY2(m_identity->isLive(session->tvs), qPrintable(session->tvs));
        QCOMPARE(session->tvs == before.tvs, refreshes == 0);
        QCOMPARE(session->accountID, accountID);
    }

    void concurrentCallersShareOneRenewal()
    {
        const StoredSession before = signInExpiringAt(QDateTime::currentDateTimeUtc().addSecs(600));
        QVERIFY(!before.tvs.isEmpty());
        m_identity->holdRefreshes();
        auto first = m_bridge->freshSession();
        auto second = m_bridge->freshSession();
        QTRY_COMPARE(m_identity->heldRefreshes(), 1);
        m_identity->release();
        const std::optional<TolvernAccountBridge::Session> one = awaitTask(std::move(first));
        const std::optional<TolvernAccountBridge::Session> other = awaitTask(std::move(second));
        QVERIFY(one && other);
        QCOMPARE(one->tvs, other->tvs);
        QVERIFY(one->tvs != before.tvs);
        QCOMPARE(m_identity->count(IdentityPeer::kRefresh), 1);
    }

    void freshSessionWhileSignedOutSendsNothing()
    {
        makeBridge();
        QCOMPARE(awaitTask(m_bridge->freshSession()).has_value(), false);
        QCOMPARE(m_identity->log().size(), 0);
    }

    void sharedBridge()
    {
        makeBridge();
        TolvernAccountBridge::setSharedBridge(m_bridge.get());
        QCOMPARE(TolvernAccountBridge::sharedBridge(), m_bridge.get());
        m_bridge.reset();
        QCOMPARE(TolvernAccountBridge::sharedBridge(), nullptr);
    }
};

SORVANE_TEST_MAIN(tst_TolvernAccountBridge)
#include "tst_TolvernAccountBridge.moc"
