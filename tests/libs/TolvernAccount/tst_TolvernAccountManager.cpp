// The account manager against the real OpenID provider, the identity stand-in and a
// throwaway keyring. The test is the browser: it takes the URL the sign-in opens,
// follows the provider's redirects and hands the redirect back as the app would.
#include "TolvernAccountManager.h"

#include "Internal/AuthClient.h"
#include "KeychainStorage.h"
#include "TolvernAccountLibrary.h"
#include "TolvernJSON.h"

#include "AwaitTask.h"
#include "BrowserStandIn.h"
#include "IdentityPeer.h"
#include "OidcPeer.h"

#include <QCoro/QCoroSignal>
#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QWindow>

namespace {

using State = TolvernAccountManager::State;
using Kind = State::Kind;
using AppleAuthorization = SignInWithAppleDriver::AppleAuthorization;

struct LogEntry {
    TolvernLogLevel level;
    QString event;
    TolvernLogFields fields;
};

template<class T>
struct Outcome {
    std::optional<T> value;
    std::optional<TolvernError> error;
};

template<class T>
Outcome<T> outcomeOf(QCoro::Task<T> task)
{
    try {
        return {awaitTask(std::move(task)), std::nullopt};
    } catch (const TolvernError &error) {
        return {std::nullopt, error};
    }
}

const QString sessionKey = QString::fromLatin1(KeychainStorage::Keys::session);
const QString configInstallID = QStringLiteral("install-from-config");
const QString providerEmail = QStringLiteral("reader@example.org");

// The keyring store, with writes that can be refused as a locked keyring refuses them.
class RefusingStorage : public TolvernAccountDataStorage
{
public:
    void setData(const QByteArray &data, const QString &key) override
    {
        if (refuseWrites)
            throw TolvernError::keychainFailure(-25308);
        inner.setData(data, key);
    }
    std::optional<QByteArray> getData(const QString &key) override { return inner.getData(key); }
    void deleteData(const QString &key) override { inner.deleteData(key); }

    KeychainStorage inner{QStringLiteral("sorvane")};
    bool refuseWrites = false;
};

// Holds a test's Apple authorization until opened.
class Gate : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
Q_SIGNALS:
    void opened();
};

QCoro::Task<AppleAuthorization> appleAnswer(QPointer<Gate> gate)
{
    if (gate) {
        auto opened = qCoro(gate.data(), &Gate::opened);
        co_await std::move(opened);
    }
    co_return AppleAuthorization{QStringLiteral("apple-code"), QStringLiteral("apple-id-token"),
                                 QStringLiteral("apple-user"), std::nullopt, std::nullopt, std::nullopt};
}

QJsonObject bodyOf(const IdentityPeer::LoggedRequest &entry)
{
    return QJsonDocument::fromJson(entry.request.body).object();
}

QString bearer(const IdentityPeer::LoggedRequest &entry)
{
    return QString::fromUtf8(entry.request.headers.value("authorization")).remove(QStringLiteral("Bearer "));
}

enum class Flow { browser, apple };

// A Secret Service secret: (session, parameters, value, content type).
struct SecretStruct {
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};

QDBusArgument &operator<<(QDBusArgument &argument, const SecretStruct &secret)
{
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.contentType;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, SecretStruct &secret)
{
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.contentType;
    argument.endStructure();
    return argument;
}

// The throwaway keyring's default collection, locked and unlocked over D-Bus as the
// desktop does it, without a prompt.
class KeyringLock
{
public:
    KeyringLock()
        : m_service("org.freedesktop.secrets", "/org/freedesktop/secrets", "org.freedesktop.Secret.Service")
    {
        const QDBusReply<QDBusObjectPath> alias = m_service.call("ReadAlias", QStringLiteral("default"));
        if (alias.isValid())
            m_collection = alias.value();
    }

    bool lock()
    {
        const QDBusMessage reply =
            m_service.call("Lock", QVariant::fromValue(QList<QDBusObjectPath>{m_collection}));
        return reply.type() == QDBusMessage::ReplyMessage
               && reply.arguments().value(1).value<QDBusObjectPath>().path() == QLatin1String("/");
    }

    // Unlock asks for a prompt, which a test cannot answer; the keyring daemon's own
    // interface takes the password instead (the one tests/with-keyring.sh set).
    bool unlock()
    {
        const QDBusMessage opened =
            m_service.call("OpenSession", QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString())));
        if (opened.type() != QDBusMessage::ReplyMessage)
            return false;
        const SecretStruct password{opened.arguments().value(1).value<QDBusObjectPath>(), {}, "throwaway",
                                    QStringLiteral("text/plain")};
        QDBusInterface daemon("org.freedesktop.secrets", "/org/freedesktop/secrets",
                              "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface");
        const QDBusMessage reply =
            daemon.call("UnlockWithMasterPassword", QVariant::fromValue(m_collection), QVariant::fromValue(password));
        return reply.type() == QDBusMessage::ReplyMessage;
    }

    bool isValid() const { return !m_collection.path().isEmpty() && m_collection.path() != QLatin1String("/"); }

private:
    QDBusInterface m_service;
    QDBusObjectPath m_collection;
};

} // namespace

Q_DECLARE_METATYPE(SecretStruct)

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<int>)
Q_DECLARE_METATYPE(std::optional<TolvernError>)
Q_DECLARE_METATYPE(Kind)
Q_DECLARE_METATYPE(AuthScheme)
Q_DECLARE_METATYPE(std::optional<bool>)
Q_DECLARE_METATYPE(TolvernError)
Q_DECLARE_METATYPE(Flow)

class tst_TolvernAccountManager : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        qDBusRegisterMetaType<SecretStruct>();
        // The ID token carries the e-mail the identity stand-in opens the account with.
        const QJsonObject provider{{"email", providerEmail},
                                   {"configuration", QJsonObject{{"conformIdTokenClaims", false}}}};
        QVERIFY2(m_provider.start(provider), qPrintable(m_provider.errorText()));
    }
    void init()
    {
        m_pages.clear();
        m_log.clear();
        m_states.clear();
        m_offThread = 0;
        m_now = QDateTime::currentDateTimeUtc();
        m_browser.setCookieJar(new QNetworkCookieJar);
        m_peer = std::make_unique<IdentityPeer>();
        m_peer->redeemCodesAt(m_provider.url("/token"), OidcPeer::clientId());
        m_storage = std::make_shared<RefusingStorage>();
        m_storage->deleteData(sessionKey);
        makeManager();
    }
    void cleanup()
    {
        m_subscription.reset();
        m_manager.reset();
        m_storage->deleteData(sessionKey);
        // Callbacks of flows the manager's end cancelled land now, not in the next test.
        QCoreApplication::processEvents();
    }

    void signInThroughTheBrowser_data()
    {
        QTest::addColumn<std::optional<QString>>("installID");
        QTest::addColumn<QString>("sentInstallID");
        QTest::addColumn<AuthScheme>("scheme");
        QTest::newRow("the configuration's install id") << std::optional<QString>() << configInstallID
                                                        << AuthScheme::systemBrowser;
        QTest::newRow("the caller's install id wins") << std::optional<QString>("install-from-caller")
                                                      << "install-from-caller" << AuthScheme::systemBrowser;
        QTest::newRow("window-anchored scheme") << std::optional<QString>() << configInstallID << AuthScheme::aswas;
    }
    void signInThroughTheBrowser()
    {
        QFETCH(std::optional<QString>, installID);
        QFETCH(QString, sentInstallID);
        QFETCH(AuthScheme, scheme);
        if (scheme != AuthScheme::systemBrowser)
            makeManager(scheme);
        QObject window;
        auto task = m_manager->signIn(&window, OAuthDriver::ProviderHint::email, installID);
        QCOMPARE(m_manager->state(), State::signingIn(true));
        const Outcome<TolvernAccount> outcome = finishInBrowser(std::move(task));
        QVERIFY2(outcome.value, outcome.error ? outcome.error->what() : "");

        // The service got the code with the verifier of the request that was opened.
        QCOMPARE(m_peer->count(IdentityPeer::kExchange), 1);
        const QJsonObject sent = bodyOf(m_peer->requestsTo(IdentityPeer::kExchange).first());
        QCOMPARE(sent.value("app_slug").toString(), QStringLiteral("sorvane"));
        QVERIFY(!sent.value("code").toString().isEmpty());
        QVERIFY(!sent.value("code_verifier").toString().isEmpty());
        QCOMPARE(sent.value("redirect_uri").toString(), QStringLiteral("sorvane://auth/callback"));
        QCOMPARE(sent.value("client_version").toString(), QStringLiteral("1.2.3"));
        QCOMPARE(sent.value("install_id").toString(), sentInstallID);

        const TolvernAccount account = *outcome.value;
        QVERIFY2(account.tolvernAccountId.isWellFormed(), qPrintable(account.tolvernAccountId.raw));
        QCOMPARE(account.emailPrimary, providerEmail);
        QCOMPARE(m_manager->state(), State::signedIn(account));
        QCOMPARE(kinds(), (QList<Kind>{Kind::signedOut, Kind::signingIn, Kind::signedIn}));
        QCOMPARE(m_offThread, 0);
        // Only the window-anchored flow brings its window back.
        QCOMPARE(m_raised, scheme == AuthScheme::aswas ? QList<QObject *>{&window} : QList<QObject *>{});

        const std::optional<StoredSession> stored = storedItem();
        QVERIFY(stored);
        QVERIFY(m_peer->isLive(stored->tvs));
        QVERIFY(stored->refreshToken);
        QCOMPARE(stored->account, account);
        QCOMPARE(stored->appSlug, QStringLiteral("sorvane"));
        QCOMPARE(stored->issuedAt, m_now);
        QVERIFY(!m_manager->isOffline());
        QVERIFY(!m_manager->lastAppleSignInIsNewUser());
    }

    void cancelAndResumeWithNothingInFlight()
    {
        QVERIFY(!m_manager->resume(QUrl("sorvane://auth/callback?code=c&state=s")));
        QVERIFY(!m_manager->cancelSignIn());
        QCOMPARE(kinds(), QList<Kind>{Kind::signedOut});

        auto task = m_manager->signInViaSystemBrowser(std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QVERIFY(m_manager->cancelSignIn());
        const Outcome<TolvernAccount> outcome = outcomeOf(std::move(task));
        QCOMPARE(outcome.error, TolvernError::authorizationCancelled());
        QCOMPARE(m_manager->state(), State::failed(TolvernError::authorizationCancelled()));
        QVERIFY(!m_manager->cancelSignIn());
        QVERIFY(!m_manager->resume(m_provider.followToRedirect(m_browser, m_opened.first())));
        QCOMPARE(m_peer->count(IdentityPeer::kExchange), 0);
        QVERIFY(!storedItem());
    }

    void exchangeFailures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<TolvernError>("error");
        QTest::addColumn<QString>("event");
        QTest::newRow("426") << 426 << QByteArray("{}") << TolvernError::clientKilled() << "client_killed";
        QTest::newRow("401") << 401 << QByteArray("{\"error\":\"invalid_token\"}") << TolvernError::sessionExpired()
                             << "request_auth_failed";
        QTest::newRow("500 with a code") << 500 << QByteArray("{\"error\":\"exchange_down\"}")
                                         << TolvernError::serverError(500, QStringLiteral("exchange_down"))
                                         << "request_server_failed";
        QTest::newRow("200 that does not decode")
            << 200 << QByteArray("{\"ok\":true,\"tvs\":42}") << TolvernError::malformedResponse(QStringLiteral("TvsResponse"))
            << "request_decode_failed";
    }
    void exchangeFailures()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(TolvernError, error);
        QFETCH(QString, event);
        m_peer->enqueue(IdentityPeer::kExchange, IdentityPeer::jsonReply(status, body));
        const Outcome<TolvernAccount> outcome =
            finishInBrowser(m_manager->signInViaSystemBrowser(OAuthDriver::ProviderHint::google));
        QCOMPARE(outcome.error, error);
        QCOMPARE(m_manager->state(), State::failed(error));
        QVERIFY(!storedItem());
        QCOMPARE(m_log.size(), 1);
        QCOMPARE(m_log.first().event, event);
        if (event == QLatin1String("request_decode_failed")) {
            QCOMPARE(m_log.first().level, TolvernLogLevel::error);
            const TolvernLogFields expected{
                {"endpoint", "/api/app-sessions/exchange"}, {"class", "decode"}, {"field", "TvsResponse"}};
            QCOMPARE(m_log.first().fields, expected);
        }
    }

    void aRefusedKeyringWriteNeverSignsIn_data()
    {
        QTest::addColumn<Flow>("flow");
        QTest::newRow("browser") << Flow::browser;
        QTest::newRow("apple") << Flow::apple;
    }
    void aRefusedKeyringWriteNeverSignsIn()
    {
        QFETCH(Flow, flow);
        m_storage->refuseWrites = true;
        const Outcome<TolvernAccount> outcome = flow == Flow::browser
                                                    ? finishInBrowser(m_manager->signInViaSystemBrowser(std::nullopt))
                                                    : outcomeOf(m_manager->signInWithApple(nullptr));
        QCOMPARE(outcome.error, TolvernError::keychainFailure(-25308));
        QCOMPARE(m_manager->state(), State::failed(TolvernError::keychainFailure(-25308)));
        QVERIFY(!kinds().contains(Kind::signedIn));
        QVERIFY(!storedItem());
    }

    void subscriptions()
    {
        storeSession(3600);
        // A new subscriber hears the current state before the call returns.
        QList<State> seen;
        auto subscription = m_manager->onStateChange([&seen](const State &state) { seen.append(state); });
        QCOMPARE(seen, QList<State>{State::signedOut()});

        // One registered while a transition runs hears only later ones.
        QList<State> late;
        std::unique_ptr<TolvernAccountManager::StateSubscription> lateSubscription;
        auto registering = m_manager->onStateChange([&](const State &) {
            if (!lateSubscription && m_manager->state().kind() == Kind::signedIn)
                lateSubscription = m_manager->onStateChange([&late](const State &state) { late.append(state); });
        });
        QSignalSpy changed(m_manager.get(), &TolvernAccountManager::stateChanged);
        const std::optional<TolvernAccount> account = awaitTask(m_manager->restore(false));
        QVERIFY(account);
        QCOMPARE(late.size(), 1); // its own first call

        // Two transitions to the same state: every handler twice, observers once.
        awaitTask(m_manager->restore(false));
        QCOMPARE(seen, (QList<State>{State::signedOut(), State::signedIn(*account), State::signedIn(*account)}));
        QCOMPARE(late.size(), 2);
        QCOMPARE(changed.size(), 1);

        // Released: never called again, also after the manager is gone.
        subscription.reset();
        awaitTask(m_manager->signOut());
        QCOMPARE(seen.size(), 3);
        QCOMPARE(late.last(), State::signedOut());
        m_manager.reset();
        lateSubscription.reset();
        registering.reset();
    }

    void deprecationNotices()
    {
        QSignalSpy noticeChanged(m_manager.get(), &TolvernAccountManager::lastDeprecationNoticeChanged);
        QSignalSpy policyChanged(m_manager.get(), &TolvernAccountManager::libVersionPolicyChanged);
        m_peer->setDeprecationHeader(
            "endpoint;reason=first, client;min-version=1.0;current=2.0;reason=old, endpoint;reason=third");
        storeSession(-60);
        QVERIFY(awaitTask(m_manager->restore(false)));
        const TolvernDeprecationNotice third = TolvernDeprecationNotice::endpoint(std::nullopt, std::nullopt, "third");
        QTRY_COMPARE(m_manager->lastDeprecationNotice(), std::optional(third));
        LibVersionPolicy policy;
        policy.minVersion = "1.0";
        policy.currentVersion = "2.0";
        policy.reason = "old";
        QCOMPARE(m_manager->libVersionPolicy(), std::optional(policy));
        QCOMPARE(noticeChanged.size(), 3);
        QCOMPARE(policyChanged.size(), 1);

        // The same notices again change nothing observable.
        awaitTask(m_manager->getAppDataToken());
        QCoreApplication::processEvents();
        QCOMPARE(noticeChanged.size(), 6);
        QCOMPARE(policyChanged.size(), 1);
    }

    void restore_data()
    {
        QTest::addColumn<QString>("item"); // none, undecodable, or seconds of the session left
        QTest::addColumn<bool>("withRefreshToken");
        QTest::addColumn<bool>("forceRefresh");
        QTest::addColumn<std::optional<int>>("refreshStatus"); // scripted reply; 0: the service unreachable
        QTest::addColumn<QByteArray>("refreshBody");
        QTest::addColumn<QString>("outcome"); // none, stored, renewed
        QTest::addColumn<Kind>("state");
        QTest::addColumn<bool>("offline");
        QTest::addColumn<QString>("itemAfter"); // gone, kept, renewed
        QTest::addColumn<int>("refreshes");

        const std::optional<int> service;
        QTest::newRow("no item") << "none" << true << true << service << QByteArray() << "none" << Kind::signedOut
                                 << false << "gone" << 0;
        QTest::newRow("an undecodable item stays") << "undecodable" << true << true << service << QByteArray() << "none"
                                                   << Kind::signedOut << false << "kept" << 0;
        QTest::newRow("valid") << "3600" << true << false << service << QByteArray() << "stored" << Kind::signedIn
                               << false << "kept" << 0;
        QTest::newRow("valid, forced, renewed") << "3600" << true << true << service << QByteArray() << "renewed"
                                                << Kind::signedIn << false << "renewed" << 1;
        QTest::newRow("valid, forced, revoked at the service")
            << "3600" << true << true << std::optional(401) << QByteArray("{\"error\":\"invalid_token\"}") << "none"
            << Kind::signedOut << false << "gone" << 1;
        QTest::newRow("valid, forced, offline") << "3600" << true << true << std::optional(0) << QByteArray()
                                                << "stored" << Kind::signedIn << true << "kept" << 0;
        QTest::newRow("valid, forced, no refresh token") << "3600" << false << true << service << QByteArray()
                                                         << "stored" << Kind::signedIn << false << "kept" << 0;
        QTest::newRow("expiring now is expired") << "0" << true << false << service << QByteArray() << "renewed"
                                                 << Kind::signedIn << false << "renewed" << 1;
        QTest::newRow("expired, no refresh token") << "-60" << false << false << service << QByteArray() << "none"
                                                   << Kind::signedOut << false << "gone" << 0;
        QTest::newRow("expired, 401") << "-60" << true << false << std::optional(401) << QByteArray("{}") << "none"
                                      << Kind::signedOut << false << "gone" << 1;
        QTest::newRow("expired, spent refresh token") << "-60" << true << false << std::optional(400)
                                                      << QByteArray("{\"error\":\"invalid_grant\"}") << "none"
                                                      << Kind::signedOut << false << "gone" << 1;
        QTest::newRow("expired, invalid_grant on any status")
            << "-60" << true << false << std::optional(500) << QByteArray("{\"error\":\"invalid_grant\"}") << "none"
            << Kind::signedOut << false << "gone" << 1;
        QTest::newRow("expired, server error with another code")
            << "-60" << true << false << std::optional(503) << QByteArray("{\"error\":\"maintenance\"}") << "stored"
            << Kind::signedIn << true << "kept" << 1;
        QTest::newRow("expired, server error without a code") << "-60" << true << false << std::optional(500)
                                                              << QByteArray("oops") << "stored" << Kind::signedIn
                                                              << true << "kept" << 1;
        QTest::newRow("expired, network down") << "-60" << true << true << std::optional(0) << QByteArray()
                                               << "stored" << Kind::signedIn << true << "kept" << 0;
    }
    void restore()
    {
        QFETCH(QString, item);
        QFETCH(bool, withRefreshToken);
        QFETCH(bool, forceRefresh);
        QFETCH(std::optional<int>, refreshStatus);
        QFETCH(QByteArray, refreshBody);
        QFETCH(QString, outcome);
        QFETCH(Kind, state);
        QFETCH(bool, offline);
        QFETCH(QString, itemAfter);
        QFETCH(int, refreshes);

        std::optional<StoredSession> before;
        if (item == QLatin1String("undecodable"))
            m_storage->setData("{\"tvs\":", sessionKey);
        else if (item != QLatin1String("none"))
            before = storeSession(item.toInt(), withRefreshToken);
        const std::optional<QByteArray> rawBefore = m_storage->getData(sessionKey);
        if (refreshStatus)
            script(IdentityPeer::kRefresh, *refreshStatus, refreshBody);

        const std::optional<TolvernAccount> account = awaitTask(m_manager->restore(forceRefresh));
        m_peer->http().resume();
        QCOMPARE(m_peer->count(IdentityPeer::kRefresh), refreshes);
        QCOMPARE(m_manager->state().kind(), state);
        QCOMPARE(m_manager->isOffline(), offline);
        if (outcome == QLatin1String("none")) {
            QVERIFY(!account);
        } else {
            QVERIFY(account);
            QCOMPARE(*account, before->account);
            QCOMPARE(m_manager->state(), State::signedIn(*account));
        }
        // No failure without a verdict turns into a state of its own.
        if (state == Kind::signedOut && !forceRefresh)
            QCOMPARE(kinds(), QList<Kind>{Kind::signedOut});

        const std::optional<StoredSession> after = storedItem();
        if (itemAfter == QLatin1String("gone")) {
            QVERIFY(!m_storage->getData(sessionKey));
        } else if (itemAfter == QLatin1String("kept")) {
            QCOMPARE(m_storage->getData(sessionKey), rawBefore);
        } else {
            QVERIFY(after);
            QVERIFY(after->tvs != before->tvs);
            QVERIFY(m_peer->isLive(after->tvs));
            QCOMPARE(after->issuedAt, m_now);
            QCOMPARE(m_manager->currentStoredSession(), after);
        }
    }

    void aLaterSuccessClearsOffline()
    {
        const StoredSession stored = storeSession(-60);
        QSignalSpy offlineChanged(m_manager.get(), &TolvernAccountManager::isOfflineChanged);
        m_peer->http().refuse();
        QCOMPARE(awaitTask(m_manager->restore(true)), std::optional(stored.account));
        QVERIFY(m_manager->isOffline());
        m_peer->http().resume();

        // Sign-out leaves the flag alone.
        awaitTask(m_manager->signOut());
        QVERIFY(m_manager->isOffline());

        storeSession(-60);
        QVERIFY(awaitTask(m_manager->restore(true)));
        QVERIFY(!m_manager->isOffline());
        QCOMPARE(offlineChanged.size(), 2);
    }

    void signOut_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<std::optional<int>>("revokeStatus"); // scripted; 0: the service unreachable
        QTest::addColumn<std::optional<TolvernError>>("answer");
        QTest::newRow("no session: no request") << false << std::optional<int>() << std::optional<TolvernError>();
        QTest::newRow("revoked") << true << std::optional<int>() << std::optional<TolvernError>();
        QTest::newRow("revoke refused") << true << std::optional(500)
                                        << std::optional(TolvernError::serverError(500, QStringLiteral("down")));
        QTest::newRow("network down") << true << std::optional(0)
                                      << std::optional(TolvernError::networkUnavailable());
    }
    void signOut()
    {
        QFETCH(bool, stored);
        QFETCH(std::optional<int>, revokeStatus);
        QFETCH(std::optional<TolvernError>, answer);
        std::optional<StoredSession> session;
        if (stored) {
            session = storeSession(3600);
            QVERIFY(awaitTask(m_manager->restore(false)));
        }
        if (revokeStatus)
            script(IdentityPeer::kRevoke, *revokeStatus, "{\"error\":\"down\"}");
        QCOMPARE(awaitTask(m_manager->signOut()), answer);
        const bool reached = m_peer->http().resume() && revokeStatus != std::optional(0);
        QCOMPARE(m_manager->state(), State::signedOut());
        QVERIFY(!m_storage->getData(sessionKey));
        QCOMPARE(m_peer->count(IdentityPeer::kRevoke), stored && reached ? 1 : 0);
        if (stored && reached) {
            const IdentityPeer::LoggedRequest revoke = m_peer->requestsTo(IdentityPeer::kRevoke).first();
            QCOMPARE(bearer(revoke), session->tvs);
            QVERIFY(revoke.proofError.isEmpty());
            QCOMPARE(revoke.proofThumbprint, m_manager->dpopThumbprint().value_or(QString()));
            QCOMPARE(m_peer->isLive(session->tvs), revokeStatus.has_value());
        }
        // Nothing left to fetch a token for.
        QCOMPARE(outcomeOf(m_manager->getAppDataToken()).error, TolvernError::notSignedIn());
        QCOMPARE(m_peer->count(IdentityPeer::kAppDataToken), 0);
    }

    void appDataToken()
    {
        const StoredSession stored = storeSession(30 * 24 * 3600);
        QCOMPARE(awaitTask(m_manager->getAppDataToken()), QStringLiteral("adt_for_") + stored.tvs);
        QCOMPARE(m_manager->state(), State::signedOut()); // the state is not touched

        // A token the service no longer takes: one refresh, one retry with the new one.
        m_peer->revokeToken(stored.tvs);
        const QString token = awaitTask(m_manager->getAppDataToken());
        const std::optional<StoredSession> renewed = storedItem();
        QVERIFY(renewed && renewed->tvs != stored.tvs);
        QCOMPARE(token, QStringLiteral("adt_for_") + renewed->tvs);

        m_peer->enqueue(IdentityPeer::kAppDataToken, IdentityPeer::jsonReply(500, "{\"error\":\"busy\"}"));
        QCOMPARE(outcomeOf(m_manager->getAppDataToken()).error, TolvernError::serverError(500, QStringLiteral("busy")));
    }

    void recoverRejectedSession_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::addColumn<std::optional<int>>("refreshStatus"); // scripted; 0: the service unreachable
        QTest::addColumn<bool>("kept");
        QTest::addColumn<Kind>("state");
        QTest::addColumn<bool>("offline");
        QTest::newRow("renewed") << true << std::optional<int>() << true << Kind::signedIn << false;
        QTest::newRow("no session") << false << std::optional<int>() << false << Kind::signedOut << false;
        QTest::newRow("definitive") << true << std::optional(401) << false << Kind::signedOut << false;
        QTest::newRow("no verdict") << true << std::optional(0) << true << Kind::signingIn << true;
    }
    void recoverRejectedSession()
    {
        QFETCH(bool, stored);
        QFETCH(std::optional<int>, refreshStatus);
        QFETCH(bool, kept);
        QFETCH(Kind, state);
        QFETCH(bool, offline);
        if (stored)
            storeSession(3600);
        // A state of its own, to see whether the recovery changes it.
        auto pending = m_manager->signInViaSystemBrowser(std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        if (refreshStatus)
            script(IdentityPeer::kRefresh, *refreshStatus, "{}");
        QCOMPARE(awaitTask(m_manager->recoverRejectedSession()), kept);
        m_peer->http().resume();
        QCOMPARE(m_manager->state().kind(), state);
        QCOMPARE(m_manager->isOffline(), offline);
        QCOMPARE(m_storage->getData(sessionKey).has_value(), kept);
        m_manager->cancelSignIn();
        outcomeOf(std::move(pending));
    }

    void aRotatedSessionIsKeptOnlyForItsOwnToken()
    {
        const StoredSession stored = storeSession(3600);
        const IdentityPeer::Session next = m_peer->openSession();
        const TvsResponse reply = TolvernJSON::decode<TvsResponse>(m_peer->tvsResponse(next));
        const std::optional<QByteArray> before = m_storage->getData(sessionKey);

        m_manager->authClient().onSessionRefreshed(QStringLiteral("rt_someone_else"), reply);
        QCOMPARE(m_storage->getData(sessionKey), before);

        m_manager->authClient().onSessionRefreshed(*stored.refreshToken, reply);
        QCOMPARE(storedItem()->tvs, next.tvs);
        QCOMPARE(m_manager->state(), State::signedOut()); // the hook never changes the state
    }

    void signOutWinsOverARefreshInFlight()
    {
        const StoredSession stored = storeSession(-60);
        m_peer->holdRefreshes();
        auto restoring = m_manager->restore(false);
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->heldRefreshes(), 1, 30000);
        QCOMPARE(awaitTask(m_manager->signOut()), std::optional<TolvernError>());
        m_peer->release();

        QCOMPARE(awaitTask(std::move(restoring)), std::optional<TolvernAccount>());
        QCOMPARE(m_manager->state(), State::signedOut());
        QCOMPARE(kinds(), (QList<Kind>{Kind::signedOut, Kind::signedOut}));
        QVERIFY(!m_storage->getData(sessionKey));
        QVERIFY(!m_peer->isLive(stored.tvs));
        // The session the refresh opened is revoked too.
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->count(IdentityPeer::kRevoke), 2, 30000);
        const QString orphan = bearer(m_peer->requestsTo(IdentityPeer::kRevoke).last());
        QVERIFY(orphan != stored.tvs);
        QTRY_VERIFY(!m_peer->isLive(orphan));
        QVERIFY(m_peer->liveTokens().isEmpty());
    }

    void aRefreshedSessionTheKeyringRefusesIsHeld()
    {
        const StoredSession stored = storeSession(-60);
        m_storage->refuseWrites = true;
        const std::optional<TolvernAccount> account = awaitTask(m_manager->restore(false));
        QCOMPARE(account, std::optional(stored.account));
        QCOMPARE(m_manager->state(), State::signedIn(stored.account));
        QVERIFY(!m_manager->isOffline());
        const std::optional<StoredSession> held = m_manager->currentStoredSession();
        QVERIFY(held && held->tvs != stored.tvs && m_peer->isLive(held->tvs));
        QCOMPARE(storedItem(), std::optional(stored));

        // The spent token is never presented again: requests carry the held session.
        QCOMPARE(awaitTask(m_manager->getAppDataToken()), QStringLiteral("adt_for_") + held->tvs);
        QCOMPARE(m_peer->count(IdentityPeer::kRefresh), 1);

        // Written at the next chance.
        m_storage->refuseWrites = false;
        awaitTask(m_manager->getAppDataToken());
        QCOMPARE(storedItem(), held);
        QCOMPARE(m_manager->currentStoredSession(), held);
    }

    void anOvertakenExchangeKeepsNothing_data()
    {
        QTest::addColumn<bool>("bySignOut"); // else by a newer sign-in
        QTest::newRow("a sign-out") << true;
        QTest::newRow("a newer sign-in") << false;
    }
    void anOvertakenExchangeKeepsNothing()
    {
        QFETCH(bool, bySignOut);
        m_peer->holdExchanges();
        auto earlier = m_manager->signInViaSystemBrowser(std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QVERIFY(m_manager->resume(m_provider.followToRedirect(m_browser, m_opened.first())));
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->heldExchanges(), 1, 30000);

        std::optional<QCoro::Task<TolvernAccount>> later;
        if (bySignOut)
            QCOMPARE(awaitTask(m_manager->signOut()), std::optional<TolvernError>());
        else
            later = m_manager->signInViaSystemBrowser(std::nullopt);
        const State overtaken = m_manager->state();
        m_peer->release();
        QCOMPARE(outcomeOf(std::move(earlier)).error, TolvernError::authorizationCancelled());
        QCOMPARE(m_manager->state(), overtaken);
        QVERIFY(!m_storage->getData(sessionKey));
        // The session the exchange opened is revoked at the service.
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->count(IdentityPeer::kRevoke), 1, 30000);
        QTRY_VERIFY(m_peer->liveTokens().isEmpty());

        if (later) {
            const Outcome<TolvernAccount> outcome = finishInBrowser(std::move(*later), 1);
            QVERIFY2(outcome.value, outcome.error ? outcome.error->what() : "");
            QCOMPARE(m_manager->state(), State::signedIn(*outcome.value));
            QVERIFY(m_peer->isLive(storedItem()->tvs));
        }
        QVERIFY(!kinds().contains(Kind::failed));
    }

    void aSignInDuringARefreshKeepsItsSession()
    {
        const StoredSession stored = storeSession(-60);
        m_peer->holdRefreshes();
        auto restoring = m_manager->restore(false);
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->heldRefreshes(), 1, 30000);
        const Outcome<TolvernAccount> signedIn = finishInBrowser(m_manager->signInViaSystemBrowser(std::nullopt));
        QVERIFY2(signedIn.value, signedIn.error ? signedIn.error->what() : "");
        const std::optional<StoredSession> fresh = storedItem();
        QVERIFY(fresh && fresh->account != stored.account);

        m_peer->release();
        QCOMPARE(awaitTask(std::move(restoring)), signedIn.value);
        QCOMPARE(m_manager->state(), State::signedIn(*signedIn.value));
        QCOMPARE(storedItem(), fresh);
        // What the late refresh opened is nobody's session any more.
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->count(IdentityPeer::kRevoke), 1, 30000);
        QTRY_COMPARE(m_peer->liveTokens(), QSet<QString>{fresh->tvs});
    }

    void aLockedKeyringHoldsTheRefreshedSession()
    {
        const StoredSession stored = storeSession(-60);
        KeyringLock keyring;
        QVERIFY(keyring.isValid());
        const auto unlockAtEnd = qScopeGuard([&keyring] { keyring.unlock(); });
        // Locked after restore read the session, while the service answers the refresh.
        m_peer->holdRefreshes();
        auto restoring = m_manager->restore(false);
        QTRY_COMPARE_WITH_TIMEOUT(m_peer->heldRefreshes(), 1, 30000);
        QVERIFY(keyring.lock());
        m_peer->release();
        const std::optional<TolvernAccount> account = awaitTask(std::move(restoring));
        QCOMPARE(account, std::optional(stored.account));
        QCOMPARE(m_manager->state(), State::signedIn(stored.account));
        QVERIFY(!m_manager->isOffline());
        const std::optional<StoredSession> held = m_manager->currentStoredSession();
        QVERIFY(held && held->tvs != stored.tvs && m_peer->isLive(held->tvs));

        // The next request carries the new session while the keyring stays locked.
        QCOMPARE(awaitTask(m_manager->getAppDataToken()), QStringLiteral("adt_for_") + held->tvs);
        QCOMPARE(m_peer->count(IdentityPeer::kRefresh), 1);

        QVERIFY(keyring.unlock());
        QCOMPARE(storedItem(), std::optional(stored));
        awaitTask(m_manager->getAppDataToken());
        QCOMPARE(storedItem(), held);
    }

    void aNewSignInCancelsTheOneInFlight_data()
    {
        QTest::addColumn<Flow>("first");
        QTest::addColumn<Flow>("second");
        QTest::newRow("browser, then browser") << Flow::browser << Flow::browser;
        QTest::newRow("browser, then apple") << Flow::browser << Flow::apple;
        QTest::newRow("apple, then browser") << Flow::apple << Flow::browser;
        QTest::newRow("apple, then apple") << Flow::apple << Flow::apple;
    }
    void aNewSignInCancelsTheOneInFlight()
    {
        QFETCH(Flow, first);
        QFETCH(Flow, second);
        Gate firstGate;
        m_gate = &firstGate;
        auto earlier = first == Flow::browser ? m_manager->signInViaSystemBrowser(std::nullopt)
                                              : m_manager->signInWithApple(nullptr);
        if (first == Flow::browser)
            QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        m_gate = nullptr;

        auto later = second == Flow::browser ? m_manager->signInViaSystemBrowser(std::nullopt)
                                             : m_manager->signInWithApple(nullptr);
        QCOMPARE(outcomeOf(std::move(earlier)).error, TolvernError::authorizationCancelled());
        if (second == Flow::browser)
            QCOMPARE(m_manager->state(), State::signingIn(true));
        const Outcome<TolvernAccount> outcome =
            second == Flow::browser ? finishInBrowser(std::move(later), first == Flow::browser ? 1 : 0)
                                    : outcomeOf(std::move(later));
        QVERIFY2(outcome.value, outcome.error ? outcome.error->what() : "");
        QCOMPARE(m_manager->state(), State::signedIn(*outcome.value));
        QVERIFY(!kinds().contains(Kind::failed));
        // The earlier Apple sheet answering late changes nothing.
        Q_EMIT firstGate.opened();
        QCoreApplication::processEvents();
        QCOMPARE(m_manager->state(), State::signedIn(*outcome.value));
        QCOMPARE(m_peer->count(IdentityPeer::kExchange) + m_peer->count(IdentityPeer::kAppleAuthcode), 1);
    }

    void appleReplies_data()
    {
        QTest::addColumn<QByteArray>("reply"); // empty: the service's own answer
        QTest::addColumn<std::optional<bool>>("isNewUser");
        QTest::addColumn<std::optional<TolvernError>>("error");
        QTest::addColumn<bool>("refreshToken");
        const QByteArray complete = "{\"ok\":true,\"tolvern_account_id\":\"ta_0190a1b2-c3d4-7e5f-8a6b-7c8d9e0f1a2b\","
                                    "\"email\":\"a@example.com\",\"expires_at\":\"2099-01-01T00:00:00Z\"";
        QTest::newRow("a new user") << QByteArray() << std::optional(true) << std::optional<TolvernError>() << true;
        QTest::newRow("a known user") << QByteArray() << std::optional(false) << std::optional<TolvernError>() << true;
        QTest::newRow("no is_new_user") << QByteArray(complete + ",\"tvs\":\"tvs_a\",\"refresh_token\":\"rt_a\"}")
                                        << std::optional<bool>() << std::optional<TolvernError>() << true;
        QTest::newRow("no refresh token") << QByteArray(complete + ",\"tvs\":\"tvs_a\",\"is_new_user\":true}")
                                          << std::optional(true) << std::optional<TolvernError>() << false;
        QTest::newRow("no session token")
            << QByteArray(complete + ",\"is_new_user\":true}") << std::optional<bool>()
            << std::optional(TolvernError::authorizationFailed(QStringLiteral("apple_authcode_unavailable"))) << false;
        QTest::newRow("no e-mail")
            << QByteArray("{\"ok\":true,\"tolvern_account_id\":\"ta_x\",\"tvs\":\"tvs_a\","
                          "\"expires_at\":\"2099-01-01T00:00:00Z\"}")
            << std::optional<bool>()
            << std::optional(TolvernError::authorizationFailed(QStringLiteral("apple_authcode_unavailable"))) << false;
    }
    void appleReplies()
    {
        QFETCH(QByteArray, reply);
        QFETCH(std::optional<bool>, isNewUser);
        QFETCH(std::optional<TolvernError>, error);
        QFETCH(bool, refreshToken);
        QSignalSpy newUserChanged(m_manager.get(), &TolvernAccountManager::lastAppleSignInIsNewUserChanged);
        // What an earlier Apple sign-in left is cleared when this one starts.
        m_peer->setAppleIsNewUser(true);
        QVERIFY(outcomeOf(m_manager->signInWithApple(nullptr)).value);
        QCOMPARE(m_manager->lastAppleSignInIsNewUser(), std::optional(true));
        m_storage->deleteData(sessionKey);
        m_peer->setAppleIsNewUser(isNewUser);
        if (!reply.isEmpty())
            m_peer->enqueue(IdentityPeer::kAppleAuthcode, IdentityPeer::jsonReply(200, reply));

        const Outcome<TolvernAccount> outcome = outcomeOf(m_manager->signInWithApple(nullptr, "install-apple"));
        const QJsonObject sent = bodyOf(m_peer->requestsTo(IdentityPeer::kAppleAuthcode).last());
        QCOMPARE(sent.value("authorization_code").toString(), QStringLiteral("apple-code"));
        QCOMPARE(sent.value("identity_token").toString(), QStringLiteral("apple-id-token"));
        QCOMPARE(sent.value("install_id").toString(), QStringLiteral("install-apple"));
        QCOMPARE(outcome.error, error);
        // Signalled on changes only: set, cleared at the start, set again when answered.
        QCOMPARE(newUserChanged.size(), isNewUser && !error ? 3 : 2);
        if (error) {
            QCOMPARE(m_manager->state(), State::failed(*error));
            QVERIFY(!m_storage->getData(sessionKey));
            QCOMPARE(m_manager->lastAppleSignInIsNewUser(), std::optional<bool>());
            return;
        }
        QCOMPARE(m_manager->state(), State::signedIn(*outcome.value));
        QCOMPARE(m_manager->lastAppleSignInIsNewUser(), isNewUser);
        const std::optional<StoredSession> stored = storedItem();
        QVERIFY(stored);
        QCOMPARE(stored->refreshToken.has_value(), refreshToken);
        QCOMPARE(stored->appSlug, QStringLiteral("sorvane"));
        QCOMPARE(stored->account, *outcome.value);
    }

    void appleIsUnavailableWithoutATestDriver()
    {
        TolvernAccountManager::Dependencies dependencies;
        dependencies.storage = m_storage;
        dependencies.dpopKeySource = DPoPSigner::KeySource::memoryOnly;
        TolvernAccountManager manager(config(), dependencies);
        const TolvernError unavailable = TolvernError::authorizationFailed(QStringLiteral("siwa_unavailable"));
        QCOMPARE(outcomeOf(manager.signInWithApple(nullptr)).error, unavailable);
        QCOMPARE(manager.state(), State::failed(unavailable));
        QCOMPARE(m_peer->count(IdentityPeer::kAppleAuthcode), 0);
    }

    void hostProofs()
    {
        const std::optional<QString> thumbprint = m_manager->dpopThumbprint();
        QVERIFY(thumbprint && !thumbprint->isEmpty());
        const std::optional<QString> proof =
            m_manager->generateDPoPProof(QUrl("https://export.example/api/x"), "POST", QStringLiteral("tvs_1"));
        QVERIFY(proof);
        QCOMPARE(proof->count(QLatin1Char('.')), 2);
    }

    void activateForAuthReturn()
    {
        // No window at all: nothing to bring forward.
        TolvernAccountManager::activateForAuthReturn(nullptr);
        QCOMPARE(QGuiApplication::focusWindow(), nullptr);

        QWindow hidden;
        QWindow shown;
        shown.show();
        QVERIFY(QTest::qWaitForWindowExposed(&shown));
        TolvernAccountManager::activateForAuthReturn(nullptr);
        QTRY_COMPARE(QGuiApplication::focusWindow(), &shown);

        QWindow given;
        given.show();
        QVERIFY(QTest::qWaitForWindowExposed(&given));
        shown.requestActivate();
        QTRY_COMPARE(QGuiApplication::focusWindow(), &shown);
        TolvernAccountManager::activateForAuthReturn(&given);
        QTRY_COMPARE(QGuiApplication::focusWindow(), &given);
    }

private:
    TolvernConfig config(AuthScheme scheme = AuthScheme::systemBrowser)
    {
        return TolvernConfig(m_provider.issuer(), m_peer->baseUrl(), "sorvane", OidcPeer::clientId(), "1.2.3",
                             QString::fromLatin1(TolvernAccountLibrary::libVersion), QUrl("sorvane://auth/callback"),
                             scheme, std::nullopt, {"openid", "tolvern.account"}, &m_network,
                             [this](TolvernLogLevel level, const QString &event, const TolvernLogFields &fields) {
                                 m_log.append({level, event, fields});
                             },
                             configInstallID);
    }

    void makeManager(AuthScheme scheme = AuthScheme::systemBrowser)
    {
        m_subscription.reset();
        m_states.clear();
        TolvernAccountManager::Dependencies dependencies;
        dependencies.storage = m_storage;
        dependencies.clock = [this] { return m_now; };
        dependencies.dpopKeySource = DPoPSigner::KeySource::memoryOnly;
        dependencies.appleAuthorize = [this](QObject *) { return appleAnswer(m_gate); };
        m_manager = std::make_unique<TolvernAccountManager>(config(scheme), dependencies);
        m_subscription = m_manager->onStateChange([this](const State &state) {
            m_states.append(state);
            if (QThread::currentThread() != qApp->thread())
                ++m_offThread;
        });
    }

    // The next reply on `path`; status 0 makes the service unreachable until resumed.
    void script(const char *path, int status, const QByteArray &body)
    {
        if (status == 0)
            m_peer->http().refuse();
        else
            m_peer->enqueue(path, IdentityPeer::jsonReply(status, body));
    }

    // Plays the browser for the sign-in whose page is the `page`th one opened.
    Outcome<TolvernAccount> finishInBrowser(QCoro::Task<TolvernAccount> task, int page = 0)
    {
        if (!QTest::qWaitFor([&] { return m_opened.size() > page || task.isReady(); }, 30000))
            return {std::nullopt, TolvernError::authorizationFailed("no page opened")};
        if (m_opened.size() > page) {
            const QUrl redirect = m_provider.followToRedirect(m_browser, m_opened.at(page));
            if (!redirect.isValid() || !m_manager->resume(redirect))
                return {std::nullopt, TolvernError::authorizationFailed("browser: " + m_provider.errorText())};
        }
        return outcomeOf(std::move(task));
    }

    // A live session of the peer in the keyring, `secondsLeft` past the test clock.
    StoredSession storeSession(qint64 secondsLeft, bool withRefreshToken = true)
    {
        const IdentityPeer::Session session = m_peer->openSession();
        StoredSession record{session.tvs,
                             withRefreshToken ? std::optional(session.refreshToken) : std::nullopt,
                             m_now.addSecs(secondsLeft),
                             TolvernAccount{TolvernAccountID{session.accountId}, session.email, std::nullopt},
                             QStringLiteral("sorvane"),
                             m_now.addSecs(-3600)};
        m_storage->inner.setJSON(record, sessionKey);
        return record;
    }

    std::optional<StoredSession> storedItem() { return m_storage->inner.getJSON<StoredSession>(sessionKey); }

    QList<Kind> kinds() const
    {
        QList<Kind> result;
        for (const State &state : m_states)
            result.append(state.kind());
        return result;
    }

    OidcPeer m_provider;
    QNetworkAccessManager m_browser;
    QNetworkAccessManager m_network;
    std::unique_ptr<IdentityPeer> m_peer;
    std::shared_ptr<RefusingStorage> m_storage;
    std::unique_ptr<TolvernAccountManager> m_manager;
    std::unique_ptr<TolvernAccountManager::StateSubscription> m_subscription;
    QPointer<Gate> m_gate;
    QDateTime m_now;
    BrowserStandIn m_pages;
    QList<QUrl> &m_opened = m_pages.opened;
    QList<QObject *> &m_raised = m_pages.raised;
    QList<LogEntry> m_log;
    QList<State> m_states;
    int m_offThread = 0;
};

QTEST_MAIN(tst_TolvernAccountManager)
#include "tst_TolvernAccountManager.moc"
