#include "AccountTestBridge.h"
#include "AwaitTask.h"
#include "TestEnvironment.h"

#include "Internal/SecretServiceItems.h"
#include "TolvernInstallMetrics.h"
#include "account/AccountSessionManager.h"
#include "account/AccountSessionStorage.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticLogBuffer.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QApplication>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace AccountTest;

namespace {

// A store that can hide the library's session item from every reader.
class HidingStorage : public InMemoryStorage
{
public:
    bool hideSession = false;
    std::optional<QByteArray> getData(const QString &key) override
    {
        if (hideSession && key == QLatin1String(KeychainStorage::Keys::session))
            return std::nullopt;
        return InMemoryStorage::getData(key);
    }
};

TolvernAccountSession record(const QString &token, const QString &id)
{
    return TolvernAccountSession{token, id, QStringLiteral("a@example.com"), std::nullopt};
}

const QString testMark = QStringLiteral("--- next test ---");

// Whether the shared log has this auth line with an error since the current test began.
bool logged(const QString &level, const QString &message)
{
    QList<DiagnosticLogEntry> entries = DiagnosticLogBuffer::shared().entries();
    for (qsizetype i = entries.size() - 1; i >= 0; --i) {
        if (entries.at(i).msg == testMark) {
            entries = entries.mid(i + 1);
            break;
        }
    }
    return std::any_of(entries.begin(), entries.end(), [&](const DiagnosticLogEntry &entry) {
        return entry.level == level && entry.category == QLatin1String("auth") && entry.msg == message
               && entry.exceptionMessage.has_value();
    });
}

QString anonymousID()
{
    return Settings::shared().stringValue(SettingsKeys::analyticsAnonymousId);
}

QString probeThumbprint()
{
    QProcess process;
    process.start(QStringLiteral(DPOP_PROBE_PATH), {QStringLiteral("1")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QStringLiteral("probe failed");
    return QString::fromLatin1(process.readAllStandardOutput()).trimmed();
}

} // namespace

class tst_AccountSessionManager : public QObject
{
    Q_OBJECT

    IdentityPeer *m_identity = nullptr;
    QNetworkAccessManager m_network;
    std::shared_ptr<TolvernAccountDataStorage> m_storage;
    std::unique_ptr<TolvernAccountBridge> m_bridge;
    std::unique_ptr<AccountSessionManager> m_holder;
    TrackedEvents m_tracked;

    TolvernAccountBridge &makeBridge(std::shared_ptr<TolvernAccountDataStorage> storage,
                                     DPoPSigner::KeySource keySource = DPoPSigner::KeySource::memoryOnly)
    {
        m_storage = std::move(storage);
        TolvernAccountManager::Dependencies made = dependencies(m_storage);
        made.dpopKeySource = keySource;
        m_bridge = std::make_unique<TolvernAccountBridge>(config(&m_network, m_identity->baseUrl()), made);
        return *m_bridge;
    }

    // The holder attached to a bridge whose store holds a session of the stand-in.
    // Without a refresh token the launch restore sends nothing, so the test's own
    // requests meet no renewal under way.
    void attachSignedIn(std::shared_ptr<TolvernAccountDataStorage> storage = std::make_shared<InMemoryStorage>(),
                        DPoPSigner::KeySource keySource = DPoPSigner::KeySource::memoryOnly)
    {
        StoredSession session = stored(m_identity->openSession(), QDateTime::currentDateTimeUtc().addDays(30));
        session.refreshToken.reset();
        store(*storage, session);
        makeBridge(std::move(storage), keySource);
        m_holder->attach(*m_bridge);
    }

private Q_SLOTS:
    void init()
    {
        m_identity = new IdentityPeer(this);
        m_holder = std::make_unique<AccountSessionManager>();
        m_tracked.events.clear();
        DiagnosticLogBuffer::shared().add(DiagnosticLogBuffer::Level::Info, QStringLiteral("test"), testMark);
    }

    void cleanup()
    {
        m_holder.reset();
        m_bridge.reset();
        delete m_identity;
        m_identity = nullptr;
        AccountSessionStorage::setCurrent(std::nullopt);
    }

    void sessionRecordJSON_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("all fields") << QByteArray("{\"sessionToken\":\"tvs_1\",\"tolvernAccountID\":\"ta_1\",\"email\":\"a@b.c\",\"expiresAt\":\"x\"}")
                                    << true << QByteArray("{\"email\":\"a@b.c\",\"expiresAt\":\"x\",\"sessionToken\":\"tvs_1\",\"tolvernAccountID\":\"ta_1\"}");
        QTest::newRow("optionals missing") << QByteArray("{\"sessionToken\":\"tvs_1\",\"tolvernAccountID\":\"ta_1\"}")
                                           << true << QByteArray("{\"sessionToken\":\"tvs_1\",\"tolvernAccountID\":\"ta_1\"}");
        QTest::newRow("null e-mail") << QByteArray("{\"sessionToken\":\"tvs_1\",\"tolvernAccountID\":\"ta_1\",\"email\":null}")
                                     << true << QByteArray("{\"sessionToken\":\"tvs_1\",\"tolvernAccountID\":\"ta_1\"}");
        QTest::newRow("token missing") << QByteArray("{\"tolvernAccountID\":\"ta_1\"}") << false << QByteArray();
        QTest::newRow("id not a string") << QByteArray("{\"sessionToken\":\"tvs_1\",\"tolvernAccountID\":7}") << false << QByteArray();
    }

    void sessionRecordJSON()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QFETCH(QByteArray, written);
        const std::optional<TolvernAccountSession> session =
            TolvernAccountSession::fromJSON(QJsonDocument::fromJson(json).object());
        QCOMPARE(session.has_value(), decodes);
        if (decodes)
            QCOMPARE(QJsonDocument(session->toJSON()).toJson(QJsonDocument::Compact), written);
    }

    void adoptSession_data()
    {
        // Records adopted in order: "usable", "badToken", "badID" or "none".
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("notifications");
        QTest::addColumn<bool>("authenticated");
        QTest::newRow("usable") << QStringList{"usable"} << 1 << true;
        QTest::newRow("token without tvs_") << QStringList{"badToken"} << 0 << false;
        QTest::newRow("id without ta_") << QStringList{"badID"} << 0 << false;
        QTest::newRow("none while signed out") << QStringList{"none"} << 0 << false;
        QTest::newRow("two usable in a row") << QStringList{"usable", "usable"} << 1 << true;
        QTest::newRow("usable then none") << QStringList{"usable", "usable", "none"} << 2 << false;
        QTest::newRow("usable then unusable") << QStringList{"usable", "badID"} << 2 << false;
    }

    void adoptSession()
    {
        QFETCH(QStringList, steps);
        QFETCH(int, notifications);
        QFETCH(bool, authenticated);
        QSignalSpy changed(m_holder.get(), &AccountSessionManager::sessionDidChange);
        QSignalSpy sessionAssigned(m_holder.get(), &AccountSessionManager::sessionAssigned);
        QSignalSpy authAssigned(m_holder.get(), &AccountSessionManager::isAuthenticatedAssigned);
        std::optional<TolvernAccountSession> last;
        for (const QString &step : steps) {
            if (step == QLatin1String("usable"))
                last = record(QStringLiteral("tvs_abc"), QStringLiteral("ta_abc"));
            else if (step == QLatin1String("badToken"))
                last = record(QStringLiteral("tok_abc"), QStringLiteral("ta_abc"));
            else if (step == QLatin1String("badID"))
                last = record(QStringLiteral("tvs_abc"), QStringLiteral("TA_abc"));
            else
                last = std::nullopt;
            m_holder->adoptSession(last);
        }
        QCOMPARE(changed.count(), notifications);
        // Every assignment is announced, also of an equal value.
        QCOMPARE(sessionAssigned.count(), steps.size());
        QCOMPARE(authAssigned.count(), steps.size());
        QCOMPARE(m_holder->isAuthenticated(), authenticated);
        // Kept, usable or not, where analytics reads it.
        QCOMPARE(m_holder->session(), last);
        QCOMPARE(AccountSessionStorage::current(), last);
    }

    void handleOpenURL_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("claimed");
        QTest::newRow("auth with path and query") << "sorvane://auth/callback?code=abc&state=xyz" << true;
        QTest::newRow("auth-callback") << "sorvane://auth-callback" << true;
        QTest::newRow("signed-in alone") << "sorvane://signed-in" << true;
        QTest::newRow("other host") << "sorvane://open/notes.md" << false;
        QTest::newRow("host that only starts like one") << "sorvane://authx/callback" << false;
        QTest::newRow("no host") << "sorvane:auth/callback" << false;
        QTest::newRow("file URL") << "file:///home/u/auth.md" << false;
        QTest::newRow("web URL with the host") << "https://auth/callback" << false;
    }

    void handleOpenURL()
    {
        QFETCH(QString, url);
        QFETCH(bool, claimed);
        QCOMPARE(AccountSessionManager::handleOpenURL(QUrl(url)), claimed);
    }

    void launchRestoreAdoptsTheSession()
    {
        QSignalSpy changed(m_holder.get(), &AccountSessionManager::sessionDidChange);
        attachSignedIn();
        QTRY_VERIFY(m_holder->isAuthenticated());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(m_holder->tolvernAccountID(), accountID);
        QCOMPARE(m_holder->accountEmail(), email);
        const std::optional<StoredSession> library = storedSession(*m_storage);
        QVERIFY(library);
        QCOMPARE(m_holder->session()->sessionToken, library->tvs);
        QCOMPARE(m_holder->session()->expiresAt, std::nullopt);
        QCOMPARE(AccountSessionStorage::current(), m_holder->session());
        QCOMPARE(m_holder->bridge(), m_bridge.get());
    }

    void signedInWithoutSessionItemAdoptsNothing()
    {
        auto storage = std::make_shared<HidingStorage>();
        // Without a refresh token the restore reads the item once and asks nothing more.
        StoredSession session = stored(m_identity->openSession(), QDateTime::currentDateTimeUtc().addDays(30));
        session.refreshToken.reset();
        store(*storage, session);
        makeBridge(storage);
        // Hidden as soon as the library reports the account, before the holder maps it.
        auto hide = m_bridge->manager().onStateChange([storage](const TolvernAccountManager::State &state) {
            if (state.kind() == TolvernAccountManager::State::Kind::signedIn)
                storage->hideSession = true;
        });
        QSignalSpy changed(m_holder.get(), &AccountSessionManager::sessionDidChange);
        m_holder->attach(*m_bridge);
        QTRY_COMPARE(m_holder->tolvernAccountID(), accountID);
        QCOMPARE(m_holder->accountEmail(), email);
        QVERIFY(!m_holder->isAuthenticated());
        QCOMPARE(m_holder->session(), std::nullopt);
        QCOMPARE(changed.count(), 0);
    }

    void signedOutResetsAnalyticsOnlyAfterAnAccount()
    {
        // Attached while signed out: the signed-out report finds no account to forget.
        makeBridge(std::make_shared<InMemoryStorage>());
        const QString anonymous = anonymousID();
        QSignalSpy assigned(m_holder.get(), &AccountSessionManager::sessionAssigned);
        m_holder->attach(*m_bridge);
        QTRY_VERIFY(assigned.count() >= 1);
        QCOMPARE(anonymousID(), anonymous);

        // After a signed-in account it does.
        m_holder = std::make_unique<AccountSessionManager>();
        attachSignedIn();
        QTRY_VERIFY(m_holder->isAuthenticated());
        const QString before = anonymousID();
        awaitTask(m_bridge->manager().signOut());
        QTRY_VERIFY(m_holder->tolvernAccountID().isEmpty());
        QVERIFY(m_holder->accountEmail().isEmpty());
        QVERIFY(!m_holder->isAuthenticated());
        QVERIFY(anonymousID() != before);
    }

    void signOut_data()
    {
        QTest::addColumn<bool>("serviceUp");
        QTest::newRow("service answers") << true;
        QTest::newRow("service down") << false;
    }

    void signOut()
    {
        QFETCH(bool, serviceUp);
        attachSignedIn();
        QTRY_VERIFY(m_holder->isAuthenticated());
        const QString token = m_holder->session()->sessionToken;
        const QString anonymous = anonymousID();
        if (!serviceUp)
            m_identity->http().refuse();
        QSignalSpy changed(m_holder.get(), &AccountSessionManager::sessionDidChange);

        m_holder->signOut();
        // Returns at once; the work is queued.
        QVERIFY(m_holder->isAuthenticated());
        QTRY_VERIFY(!m_holder->isAuthenticated());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(m_holder->session(), std::nullopt);
        QTRY_VERIFY(anonymousID() != anonymous);
        QTRY_VERIFY(m_holder->tolvernAccountID().isEmpty());
        QCOMPARE(storedSession(*m_storage), std::nullopt);
        QCOMPARE(logged(QStringLiteral("warn"), QStringLiteral("sign-out request failed (continuing local clear)")),
                 !serviceUp);
        if (serviceUp) {
            // Revoked with the session's bearer and a proof bound to it.
            const QList<IdentityPeer::LoggedRequest> revokes = m_identity->requestsTo(IdentityPeer::kRevoke);
            QCOMPARE(revokes.size(), 1);
            QVERIFY(revokes.first().request.headers.value("authorization").endsWith(token.toUtf8()));
            QVERIFY(revokes.first().hasProof);
            QCOMPARE(revokes.first().proofError, QString());
            QVERIFY(!m_identity->isLive(token));
        }
    }

    void resetClearsLocalData_data()
    {
        QTest::addColumn<bool>("withBridge");
        QTest::addColumn<bool>("serviceUp");
        QTest::newRow("signed in") << true << true;
        QTest::newRow("service down") << true << false;
        QTest::newRow("no bridge") << false << true;
    }

    void resetClearsLocalData()
    {
        QFETCH(bool, withBridge);
        QFETCH(bool, serviceUp);
        KeychainStorage keyring(QStringLiteral("sorvane"));
        const QString installID = TolvernInstallMetrics(QStringLiteral("sorvane")).installID();
        QString thumbprint;
        QString token;
        if (withBridge) {
            attachSignedIn(std::make_shared<KeychainStorage>(QStringLiteral("sorvane")),
                           DPoPSigner::KeySource::keyringOrMemory);
            QTRY_VERIFY(m_holder->isAuthenticated());
            token = m_holder->session()->sessionToken;
            thumbprint = m_bridge->manager().dpopThumbprint().value_or(QString());
            QVERIFY(!thumbprint.isEmpty());
        } else {
            store(keyring, stored(m_identity->openSession(), QDateTime::currentDateTimeUtc().addDays(30)));
        }
        keyring.setData("auth-state", QLatin1String(KeychainStorage::Keys::oidcAuthState));
        keyring.setData("jkt", QLatin1String(KeychainStorage::Keys::dpopJwkThumbprint));
        Settings::shared().setValue(SettingsKeys::hasOpenedWelcomeDoc, true);
        if (!serviceUp)
            m_identity->http().refuse();

        awaitTask(m_holder->resetAndClearLocalData());

        for (const char *key : {KeychainStorage::Keys::session, KeychainStorage::Keys::oidcAuthState,
                                KeychainStorage::Keys::dpopJwkThumbprint})
            QCOMPARE(keyring.getData(QLatin1String(key)), std::nullopt);
        QVERIFY(!Settings::shared().contains(SettingsKeys::hasOpenedWelcomeDoc));
        QCOMPARE(m_tracked.count(QStringLiteral("local_data_reset")), 1);
        QCOMPARE(m_tracked.events.last().second, (QVariantMap{{QStringLiteral("app_slug"), QStringLiteral("sorvane")}}));
        // The install stays the same install.
        QCOMPARE(TolvernInstallMetrics(QStringLiteral("sorvane")).installID(), installID);
        QCOMPARE(logged(QStringLiteral("warn"), QStringLiteral("reset: sign-out request failed (continuing local wipe)")),
                 withBridge && !serviceUp);
        if (!withBridge) {
            QCOMPARE(m_identity->count(IdentityPeer::kRevoke), 0);
            return;
        }
        if (serviceUp)
            QVERIFY(!m_identity->isLive(token));
        QTRY_VERIFY(!m_holder->isAuthenticated());
        // A new device key, the one a sign-in now and the next launch both use.
        const QString renewed = m_bridge->manager().dpopThumbprint().value_or(QString());
        QVERIFY(!renewed.isEmpty());
        QVERIFY(renewed != thumbprint);
        QCOMPARE(probeThumbprint(), QStringLiteral("keyring ") + renewed);
    }

    void attachRemovesLegacyItem()
    {
        const SecretServiceItems::Attributes legacy{
            {QStringLiteral("service"), QString::fromLatin1(AccountSessionStorage::legacyService)},
            {QStringLiteral("account"), QString::fromLatin1(AccountSessionStorage::legacyAccount)}};
        QCOMPARE(SecretServiceItems::store(legacy, QStringLiteral("old session"), "tvs_old"), SecretServiceItems::success);
        makeBridge(std::make_shared<InMemoryStorage>());
        m_holder->attach(*m_bridge);
        QCOMPARE(SecretServiceItems::lookup(legacy).status, SecretServiceItems::itemNotFound);
        // Missing is no failure.
        AccountSessionStorage::clearLegacyKeychain();
    }
};

SORVANE_TEST_MAIN(tst_AccountSessionManager)
#include "tst_AccountSessionManager.moc"
