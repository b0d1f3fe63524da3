#include "AwaitTask.h"
#include "DPoPSigner.h"
#include "IdentityPeer.h"
#include "Internal/AuthClient.h"
#include "SecureRandom.h"
#include "TolvernAccountLibrary.h"
#include "TolvernError.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QTest>

namespace {

struct LogEvent {
    TolvernLogLevel level;
    QString name;
    TolvernLogFields fields;
};

using Headers = QList<QPair<QByteArray, QByteArray>>;

// A client of the identity peer with the hooks set as the account manager sets them:
// the stored session is `stored`, and a refresh of its refresh token replaces it.
struct Fixture {
    IdentityPeer peer;
    QNetworkAccessManager nam;
    QList<LogEvent> events;
    QList<QList<TolvernDeprecationNotice>> notices;
    std::optional<StoredSession> stored;
    QStringList rotations;
    std::unique_ptr<AuthClient> client;

    struct Options {
        std::shared_ptr<const DPoPSigner> signer = std::make_shared<DPoPSigner>(DPoPSigner::KeySource::memoryOnly);
        // Appended to the peer's base URL; absent leaves the client without a base URL.
        std::optional<QString> basePath = QString();
        std::optional<QString> installID;
        bool hooks = true;
    };

    Fixture() : Fixture(Options()) {}
    explicit Fixture(Options options)
    {
        const QUrl identityURL = options.basePath ? QUrl(peer.baseUrl().toString() + *options.basePath) : QUrl();
        const TolvernConfig config(QUrl(QStringLiteral("http://127.0.0.1:1/")), identityURL,
                                   QStringLiteral("sorvane"), QStringLiteral("sorvane-test"), QStringLiteral("1.1.18"),
                                   QString::fromLatin1(TolvernAccountLibrary::libVersion),
                                   QUrl(QStringLiteral("sorvane://auth/callback")), AuthScheme::systemBrowser,
                                   std::nullopt, {}, &nam,
                                   [this](TolvernLogLevel level, const QString &name, const TolvernLogFields &fields) {
                                       events.append({level, name, fields});
                                   },
                                   options.installID);
        client = std::make_unique<AuthClient>(config, std::move(options.signer));
        client->onDeprecationNotice = [this](const QList<TolvernDeprecationNotice> &list) { notices.append(list); };
        if (!options.hooks)
            return;
        client->currentSessionProvider = [this] { return stored; };
        client->onSessionRefreshed = [this](const QString &presented, const TvsResponse &response) {
            rotations << presented;
            if (stored && stored->refreshToken == presented) {
                stored->tvs = response.tvs;
                stored->refreshToken = response.refreshToken;
                stored->expiresAt = response.expiresAt;
            }
        };
    }

    // A live session of the peer, stored with its expiry `secondsLeft` from now.
    IdentityPeer::Session storeSession(qint64 secondsLeft, bool withRefreshToken = true)
    {
        const IdentityPeer::Session session = peer.openSession();
        StoredSession record;
        record.tvs = session.tvs;
        if (withRefreshToken)
            record.refreshToken = session.refreshToken;
        record.expiresAt = QDateTime::currentDateTimeUtc().addSecs(secondsLeft);
        record.appSlug = QStringLiteral("sorvane");
        record.issuedAt = QDateTime::currentDateTimeUtc();
        stored = record;
        return session;
    }

    QStringList eventNames() const
    {
        QStringList names;
        for (const LogEvent &event : events)
            names << event.name;
        return names;
    }
};

// The error a task ends with, or none when it succeeds.
template<class T>
std::optional<TolvernError> failure(QCoro::Task<T> task)
{
    try {
        awaitTask(std::move(task));
    } catch (const TolvernError &error) {
        return error;
    }
    return std::nullopt;
}

QString bearer(const IdentityPeer::LoggedRequest &entry)
{
    return QString::fromUtf8(entry.request.headers.value("authorization")).remove(QStringLiteral("Bearer "));
}

const int kDays = 24 * 3600;

} // namespace

Q_DECLARE_METATYPE(std::optional<TolvernError>)

class tst_AuthClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void headersWithAndWithoutToken();
    void requestBodies();
    void statusMapping_data();
    void statusMapping();
    void deprecationHeader_data();
    void deprecationHeader();
    void refreshBeforeExpiry_data();
    void refreshBeforeExpiry();
    void recoveryAfter401();
    void secondRejectionEndsInSessionExpired();
    void noRecoveryWithout_data();
    void noRecoveryWithout();
    void concurrent401sShareOneRefresh();
    void transportFailures_data();
    void transportFailures();
    void cancelWhileSending();
    void throttleAnswersLikeTheService();
    void pathsResolveAgainstTheBase_data();
    void pathsResolveAgainstTheBase();
    void appleExchange_data();
    void appleExchange();
    void revoke_data();
    void revoke();
    void appDataTokenReply_data();
    void appDataTokenReply();
    void tokenNeverLeavesWithoutProof_data();
    void tokenNeverLeavesWithoutProof();
    void blockedRefreshKeepsTheRotatedSession();
};

void tst_AuthClient::headersWithAndWithoutToken()
{
    Fixture fixture;
    awaitTask(fixture.client->exchangeCode(QStringLiteral("code-1"), QStringLiteral("verifier-1"), std::nullopt));
    const IdentityPeer::Session session = fixture.peer.openSession();
    QCOMPARE(awaitTask(fixture.client->getAppDataToken(session.tvs)), QStringLiteral("adt_for_") + session.tvs);

    const QList<IdentityPeer::LoggedRequest> log = fixture.peer.log();
    QCOMPARE(log.size(), 2);
    for (const IdentityPeer::LoggedRequest &entry : log) {
        QCOMPARE(entry.request.method, QByteArray("POST"));
        QCOMPARE(entry.request.headers.value("content-type"), QByteArray("application/json"));
        QCOMPARE(entry.request.headers.value("accept"), QByteArray("application/json"));
        QCOMPARE(entry.request.headers.value("user-agent"), QByteArray("TolvernAccount/0.9.2 (1.1.18)"));
        QCOMPARE(entry.request.headers.value("tolvern-lib-version"), QByteArray("0.9.2"));
        QCOMPARE(entry.request.headers.value("tolvern-client-version"), QByteArray("1.1.18"));
    }
    QCOMPARE(log.at(0).path, QByteArray(IdentityPeer::kExchange));
    QVERIFY(!log.at(0).request.headers.contains("authorization"));
    QVERIFY(!log.at(0).hasProof);

    QCOMPARE(log.at(1).request.headers.value("authorization"), "Bearer " + session.tvs.toUtf8());
    QVERIFY(log.at(1).hasProof);
    // Signature, typ, alg, htm, htu and ath as the peer checks them.
    QCOMPARE(log.at(1).proofError, QString());
}

void tst_AuthClient::requestBodies()
{
    Fixture fixture({.installID = QStringLiteral("install-1")});
    awaitTask(fixture.client->exchangeCode(QStringLiteral("code-1"), QStringLiteral("verifier-1"), std::nullopt));
    awaitTask(fixture.client->exchangeCode(QStringLiteral("code-2"), std::nullopt, QStringLiteral("install-2")));
    const IdentityPeer::Session session = fixture.peer.openSession();
    const TvsResponse refreshed = awaitTask(fixture.client->refreshSerialized(session.refreshToken));
    awaitTask(fixture.client->getAppDataToken(refreshed.tvs));

    const QList<IdentityPeer::LoggedRequest> log = fixture.peer.log();
    QCOMPARE(log.size(), 4);
    // Keys in their listed order; "/" escaped as the library's JSON writer does.
    QCOMPARE(log.at(0).request.body,
             QByteArray(R"({"app_slug":"sorvane","code":"code-1","code_verifier":"verifier-1","redirect_uri":"sorvane:\/\/auth\/callback","client_version":"1.1.18","install_id":"install-1"})"));
    QCOMPARE(log.at(1).request.body,
             QByteArray(R"({"app_slug":"sorvane","code":"code-2","redirect_uri":"sorvane:\/\/auth\/callback","client_version":"1.1.18","install_id":"install-2"})"));
    QCOMPARE(log.at(2).path, QByteArray(IdentityPeer::kRefresh));
    QCOMPARE(log.at(2).request.body, R"({"app_slug":"sorvane","refresh_token":")" + session.refreshToken.toUtf8()
                                         + R"(","client_version":"1.1.18"})");
    QVERIFY(!log.at(2).request.headers.contains("authorization"));
    QCOMPARE(log.at(3).request.body, QByteArray(R"({"app_slug":"sorvane"})"));
}

void tst_AuthClient::statusMapping_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<std::optional<TolvernError>>("error");
    QTest::addColumn<QString>("event");
    QTest::addColumn<TolvernLogFields>("fields");

    const QByteArray session = IdentityPeer().tvsResponse({QStringLiteral("tvs_x"), QStringLiteral("rt_x"),
                                                           QDateTime::currentDateTimeUtc().addDays(1)});
    const QString endpoint = QString::fromLatin1(IdentityPeer::kExchange);
    auto fields = [&](const char *status, const char *cls, std::optional<QString> code = std::nullopt) {
        TolvernLogFields result{{QStringLiteral("endpoint"), endpoint},
                                {QStringLiteral("status"), QString::fromLatin1(status)},
                                {QStringLiteral("class"), QString::fromLatin1(cls)}};
        if (code)
            result.insert(QStringLiteral("code"), *code);
        return result;
    };
    QTest::newRow("200") << 200 << session << std::optional<TolvernError>() << QString() << TolvernLogFields();
    QTest::newRow("299") << 299 << session << std::optional<TolvernError>() << QString() << TolvernLogFields();
    QTest::newRow("300 is a failure") << 300 << QByteArray() << std::optional(TolvernError::serverError(300))
                                      << QStringLiteral("request_server_failed") << fields("300", "server");
    QTest::newRow("500 with a code")
        << 500 << QByteArray(R"({"error":"invalid_grant"})")
        << std::optional(TolvernError::serverError(500, QStringLiteral("invalid_grant")))
        << QStringLiteral("request_server_failed") << fields("500", "server", QStringLiteral("invalid_grant"));
    QTest::newRow("500 with an empty code")
        << 500 << QByteArray(R"({"error":""})") << std::optional(TolvernError::serverError(500, QString()))
        << QStringLiteral("request_server_failed") << fields("500", "server");
    QTest::newRow("500 not JSON") << 500 << QByteArray("<html>oops</html>")
                                  << std::optional(TolvernError::serverError(500)) << QStringLiteral("request_server_failed")
                                  << fields("500", "server");
    QTest::newRow("401 without a token is not retried")
        << 401 << QByteArray(R"({"error":"expired"})") << std::optional(TolvernError::sessionExpired())
        << QStringLiteral("request_auth_failed") << fields("401", "auth", QStringLiteral("expired"));
    QTest::newRow("426 without header") << 426 << QByteArray() << std::optional(TolvernError::clientKilled())
                                        << QStringLiteral("client_killed") << fields("426", "clientKilled");
    QTest::newRow("2xx that does not decode")
        << 200 << QByteArray(R"({"ok":true})") << std::optional(TolvernError::malformedResponse(QStringLiteral("TvsResponse")))
        << QStringLiteral("request_decode_failed")
        << TolvernLogFields{{QStringLiteral("endpoint"), endpoint},
                            {QStringLiteral("class"), QStringLiteral("decode")},
                            {QStringLiteral("field"), QStringLiteral("TvsResponse")}};
}

void tst_AuthClient::statusMapping()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(std::optional<TolvernError>, error);
    QFETCH(QString, event);
    QFETCH(TolvernLogFields, fields);

    Fixture fixture;
    fixture.storeSession(30 * kDays);
    fixture.peer.enqueue(IdentityPeer::kExchange, IdentityPeer::jsonReply(status, body));
    QCOMPARE(failure(fixture.client->exchangeCode(QStringLiteral("c"), std::nullopt, std::nullopt)), error);
    QCOMPARE(fixture.peer.log().size(), 1);
    if (event.isEmpty()) {
        QVERIFY(fixture.events.isEmpty());
    } else {
        QCOMPARE(fixture.eventNames(), QStringList{event});
        QCOMPARE(fixture.events.at(0).fields, fields);
    }
}

void tst_AuthClient::deprecationHeader_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<std::optional<TolvernError>>("error");
    QTest::addColumn<int>("noticeCount");
    QTest::addColumn<QString>("event");

    const QByteArray session = IdentityPeer().tvsResponse({QStringLiteral("tvs_x"), QStringLiteral("rt_x"),
                                                           QDateTime::currentDateTimeUtc().addDays(1)});
    QTest::newRow("426 takes the first replacement there is")
        << 426 << QByteArray("endpoint;reason=retired, endpoint;replacement=https://id.example.com/v2/exchange")
        << QByteArray()
        << std::optional(TolvernError::clientKilled(QUrl(QStringLiteral("https://id.example.com/v2/exchange")))) << 2
        << QStringLiteral("client_killed");
    QTest::newRow("2xx with a blocking client notice is discarded unread")
        << 200 << QByteArray("client;min-version=2.0.0;current=2.1.0") << QByteArray("not json")
        << std::optional(TolvernError::requiresUpgrade(QStringLiteral("2.0.0"))) << 1 << QStringLiteral("requires_upgrade");
    QTest::newRow("client notice below our version passes")
        << 200 << QByteArray("client;min-version=1.1.9") << session << std::optional<TolvernError>() << 1 << QString();
    QTest::newRow("endpoint notice on a success passes")
        << 200 << QByteArray("endpoint;expires=2027-01-01") << session << std::optional<TolvernError>() << 1 << QString();
    QTest::newRow("500 with a blocking notice is requiresUpgrade")
        << 500 << QByteArray("client;min-version=1.2") << QByteArray() << std::optional(TolvernError::requiresUpgrade(QStringLiteral("1.2")))
        << 1 << QStringLiteral("requires_upgrade");
}

void tst_AuthClient::deprecationHeader()
{
    QFETCH(int, status);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, body);
    QFETCH(std::optional<TolvernError>, error);
    QFETCH(int, noticeCount);
    QFETCH(QString, event);

    Fixture fixture;
    fixture.peer.enqueue(IdentityPeer::kExchange,
                         IdentityPeer::jsonReply(status, body, {{"Tolvern-Deprecation", header}}));
    QCOMPARE(failure(fixture.client->exchangeCode(QStringLiteral("c"), std::nullopt, std::nullopt)), error);
    QCOMPARE(fixture.notices.size(), 1);
    QCOMPARE(fixture.notices.at(0).size(), noticeCount);
    QCOMPARE(fixture.eventNames(), event.isEmpty() ? QStringList() : QStringList{event});
    if (!event.isEmpty())
        QCOMPARE(fixture.events.at(0).fields.value(QStringLiteral("status")), QString::number(status));
}

void tst_AuthClient::refreshBeforeExpiry_data()
{
    QTest::addColumn<qint64>("secondsLeft");
    QTest::addColumn<bool>("refreshes");
    QTest::newRow("47 hours left") << qint64(47 * 3600) << true;
    QTest::newRow("49 hours left") << qint64(49 * 3600) << false;
    QTest::newRow("already expired") << qint64(-3600) << true;
}

void tst_AuthClient::refreshBeforeExpiry()
{
    QFETCH(qint64, secondsLeft);
    QFETCH(bool, refreshes);

    Fixture fixture;
    const IdentityPeer::Session session = fixture.storeSession(secondsLeft);
    const QString token = awaitTask(fixture.client->getAppDataToken(session.tvs));

    QCOMPARE(fixture.peer.count(IdentityPeer::kRefresh), refreshes ? 1 : 0);
    const QList<IdentityPeer::LoggedRequest> calls = fixture.peer.requestsTo(IdentityPeer::kAppDataToken);
    QCOMPARE(calls.size(), 1);
    const QString sent = bearer(calls.at(0));
    QCOMPARE(sent == session.tvs, !refreshes);
    QCOMPARE(sent, fixture.stored->tvs);
    QCOMPARE(token, QStringLiteral("adt_for_") + sent);
    QCOMPARE(fixture.rotations, refreshes ? QStringList{session.refreshToken} : QStringList());
}

void tst_AuthClient::recoveryAfter401()
{
    Fixture fixture;
    const IdentityPeer::Session session = fixture.storeSession(30 * kDays);
    fixture.peer.revokeToken(session.tvs);
    fixture.peer.setDeprecationHeader("endpoint;reason=moving");

    const QString token = awaitTask(fixture.client->getAppDataToken(session.tvs));
    // The 401, the refresh and the retry each had their notice read.
    QCOMPARE(fixture.notices.size(), 3);
    const QList<IdentityPeer::LoggedRequest> calls = fixture.peer.requestsTo(IdentityPeer::kAppDataToken);
    QCOMPARE(calls.size(), 2);
    QCOMPARE(bearer(calls.at(0)), session.tvs);
    QCOMPARE(bearer(calls.at(1)), fixture.stored->tvs);
    QCOMPARE(calls.at(1).proofError, QString());
    QCOMPARE(fixture.peer.count(IdentityPeer::kRefresh), 1);
    QCOMPARE(token, QStringLiteral("adt_for_") + fixture.stored->tvs);
}

void tst_AuthClient::secondRejectionEndsInSessionExpired()
{
    Fixture fixture;
    const IdentityPeer::Session session = fixture.storeSession(30 * kDays);
    fixture.peer.enqueue(IdentityPeer::kAppDataToken, IdentityPeer::jsonReply(401, "{}"));
    fixture.peer.enqueue(IdentityPeer::kAppDataToken, IdentityPeer::jsonReply(401, "{}"));
    QCOMPARE(failure(fixture.client->getAppDataToken(session.tvs)), std::optional(TolvernError::sessionExpired()));
    QCOMPARE(fixture.peer.count(IdentityPeer::kAppDataToken), 2);
    QCOMPARE(fixture.peer.count(IdentityPeer::kRefresh), 1);
}

void tst_AuthClient::noRecoveryWithout_data()
{
    QTest::addColumn<QString>("missing");
    QTest::newRow("a session provider") << QStringLiteral("provider");
    QTest::newRow("a refresh token") << QStringLiteral("refresh token");
    QTest::newRow("auth recovery") << QStringLiteral("recovery");
    QTest::newRow("a usable refresh token") << QStringLiteral("spent");
}

void tst_AuthClient::noRecoveryWithout()
{
    QFETCH(QString, missing);
    Fixture fixture({.hooks = missing != QLatin1String("provider")});
    const IdentityPeer::Session session = fixture.storeSession(30 * kDays, missing != QLatin1String("refresh token"));
    fixture.peer.revokeToken(session.tvs);
    if (missing == QLatin1String("spent"))
        fixture.peer.enqueue(IdentityPeer::kRefresh, IdentityPeer::jsonReply(400, R"({"error":"invalid_grant"})"));

    const bool recovery = missing != QLatin1String("recovery");
    const AuthClient::Reply reply = awaitTask(fixture.client->performWithAuthRecovery(
        QString::fromLatin1(IdentityPeer::kAppDataToken), QStringLiteral("POST"), QByteArray("{}"), session.tvs, recovery));
    // The first 401 comes back as it is; the caller's mapping makes it sessionExpired.
    QCOMPARE(reply.response.statusCode, 401);
    QCOMPARE(fixture.peer.count(IdentityPeer::kAppDataToken), 1);
    QCOMPARE(fixture.peer.count(IdentityPeer::kRefresh), missing == QLatin1String("spent") ? 1 : 0);
    try {
        fixture.client->mapStatusError(reply.response, reply.data, QString::fromLatin1(IdentityPeer::kAppDataToken));
        QFAIL("a 401 must be mapped");
    } catch (const TolvernError &error) {
        QCOMPARE(error, TolvernError::sessionExpired());
    }
}

void tst_AuthClient::concurrent401sShareOneRefresh()
{
    Fixture fixture;
    const IdentityPeer::Session session = fixture.storeSession(30 * kDays);
    fixture.peer.revokeToken(session.tvs);
    fixture.peer.holdRefreshes();

    auto first = fixture.client->getAppDataToken(session.tvs);
    auto second = fixture.client->getAppDataToken(session.tvs);
    // Both have had their 401 while the one refresh is held open.
    QVERIFY(QTest::qWaitFor([&] {
        return fixture.peer.count(IdentityPeer::kAppDataToken) == 2 && fixture.peer.heldRefreshes() == 1;
    }));
    fixture.peer.release();
    const QString a = awaitTask(std::move(first));
    const QString b = awaitTask(std::move(second));
    QCOMPARE(a, QStringLiteral("adt_for_") + fixture.stored->tvs);
    QCOMPARE(b, a);
    QCOMPARE(fixture.peer.count(IdentityPeer::kRefresh), 1);
    QCOMPARE(fixture.peer.count(IdentityPeer::kAppDataToken), 4);
    QCOMPARE(fixture.rotations, QStringList{session.refreshToken});
}

void tst_AuthClient::transportFailures_data()
{
    QTest::addColumn<bool>("closedPort");
    QTest::addColumn<QString>("errorCode");
    QTest::newRow("closed port") << true << QString::number(QNetworkReply::ConnectionRefusedError);
    QTest::newRow("connection dropped") << false << QString::number(QNetworkReply::RemoteHostClosedError);
}

void tst_AuthClient::transportFailures()
{
    QFETCH(bool, closedPort);
    QFETCH(QString, errorCode);
    Fixture fixture;
    if (closedPort)
        fixture.peer.http().refuse();
    else {
        // Qt sends a request again, once, when its connection closes before any reply.
        fixture.peer.enqueue(IdentityPeer::kExchange, IdentityPeer::dropped());
        fixture.peer.enqueue(IdentityPeer::kExchange, IdentityPeer::dropped());
    }
    QCOMPARE(failure(fixture.client->exchangeCode(QStringLiteral("c"), std::nullopt, std::nullopt)),
             std::optional(TolvernError::networkUnavailable()));
    QCOMPARE(fixture.eventNames(), QStringList{QStringLiteral("request_transport_failed")});
    QCOMPARE(fixture.events.at(0).level, TolvernLogLevel::warning);
    QCOMPARE(fixture.events.at(0).fields,
             (TolvernLogFields{{QStringLiteral("endpoint"), QString::fromLatin1(IdentityPeer::kExchange)},
                               {QStringLiteral("class"), QStringLiteral("transport")},
                               {QStringLiteral("error_domain"), QStringLiteral("QNetworkReply")},
                               {QStringLiteral("error_code"), errorCode},
                               {QStringLiteral("url_error"), errorCode}}));
}

void tst_AuthClient::cancelWhileSending()
{
    Fixture fixture;
    HttpPeer::Reply stalled;
    stalled.stall = true;
    fixture.peer.enqueue(IdentityPeer::kExchange, stalled);
    const CancelToken cancel = CancelToken::create();
    auto call = fixture.client->exchangeCode(QStringLiteral("c"), std::nullopt, std::nullopt, cancel);
    QVERIFY(QTest::qWaitFor([&] { return fixture.peer.count(IdentityPeer::kExchange) == 1; }));
    cancel.cancel();
    QCOMPARE(failure(std::move(call)), std::optional(TolvernError::networkUnavailable()));

    // Cancelled before it starts: nothing is sent.
    QCOMPARE(failure(fixture.client->exchangeCode(QStringLiteral("c"), std::nullopt, std::nullopt, cancel)),
             std::optional(TolvernError::networkUnavailable()));
    QCOMPARE(fixture.peer.count(IdentityPeer::kExchange), 1);
}

void tst_AuthClient::throttleAnswersLikeTheService()
{
    Fixture fixture;
    // A POST is never retried, whatever Retry-After says.
    fixture.peer.enqueue(IdentityPeer::kExchange,
                         IdentityPeer::jsonReply(429, R"({"error":"slow_down"})", {{"Retry-After", "2"}}));
    QCOMPARE(failure(fixture.client->exchangeCode(QStringLiteral("c"), std::nullopt, std::nullopt)),
             std::optional(TolvernError::serverError(429, QStringLiteral("slow_down"))));
    QCOMPARE(fixture.peer.count(IdentityPeer::kExchange), 1);

    // Four more failures open the circuit: the next call is refused without being sent.
    for (int i = 0; i < 4; ++i) {
        fixture.peer.enqueue(IdentityPeer::kExchange, IdentityPeer::jsonReply(503, "{}"));
        QCOMPARE(failure(fixture.client->exchangeCode(QStringLiteral("c"), std::nullopt, std::nullopt)),
                 std::optional(TolvernError::serverError(503)));
    }
    QCOMPARE(failure(fixture.client->exchangeCode(QStringLiteral("c"), std::nullopt, std::nullopt)),
             std::optional(TolvernError::serverError(503, QStringLiteral("client_throttled"))));
    QCOMPARE(fixture.peer.count(IdentityPeer::kExchange), 5);
}

void tst_AuthClient::pathsResolveAgainstTheBase_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<bool>("sent");
    QTest::newRow("base with a path of its own") << QStringLiteral("/service/v1/") << true;
    QTest::newRow("base without a slash") << QStringLiteral("/service") << true;
    QTest::newRow("no base at all") << QString() << false;
}

void tst_AuthClient::pathsResolveAgainstTheBase()
{
    QFETCH(QString, base);
    QFETCH(bool, sent);
    Fixture fixture({.basePath = base.isNull() ? std::nullopt : std::optional<QString>(base)});
    const std::optional<TolvernError> error =
        failure(fixture.client->exchangeCode(QStringLiteral("c"), std::nullopt, std::nullopt));
    if (sent) {
        // "/api/..." replaces the base URL's own path.
        QCOMPARE(error, std::nullopt);
        QCOMPARE(fixture.peer.log().value(0).request.target, QByteArray(IdentityPeer::kExchange));
    } else {
        QCOMPARE(error, std::optional(TolvernError::malformedResponse(QStringLiteral("url"))));
        QVERIFY(fixture.peer.log().isEmpty());
        QVERIFY(fixture.events.isEmpty());
    }
}

void tst_AuthClient::appleExchange_data()
{
    QTest::addColumn<std::optional<QString>>("identityToken");
    QTest::addColumn<std::optional<QString>>("installArgument");
    QTest::addColumn<std::optional<QString>>("installConfig");
    QTest::addColumn<QByteArray>("expectedBody");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<std::optional<TolvernError>>("error");

    const std::optional<QString> none;
    QTest::newRow("bare") << none << none << none
                          << QByteArray(R"({"app_slug":"sorvane","authorization_code":"ac-1"})") << QByteArray(R"({"ok":true})")
                          << std::optional<TolvernError>();
    QTest::newRow("config's install id")
        << std::optional<QString>(QStringLiteral("idt")) << none << std::optional<QString>(QStringLiteral("inst-c"))
        << QByteArray(R"({"app_slug":"sorvane","authorization_code":"ac-1","identity_token":"idt","install_id":"inst-c"})")
        << QByteArray(R"({"ok":false,"is_new_user":true})") << std::optional<TolvernError>();
    QTest::newRow("argument wins")
        << none << std::optional<QString>(QStringLiteral("inst-a")) << std::optional<QString>(QStringLiteral("inst-c"))
        << QByteArray(R"({"app_slug":"sorvane","authorization_code":"ac-1","install_id":"inst-a"})")
        << QByteArray(R"({"ok":true})") << std::optional<TolvernError>();
    QTest::newRow("reply without ok") << none << none << none
                                      << QByteArray(R"({"app_slug":"sorvane","authorization_code":"ac-1"})")
                                      << QByteArray(R"({"tvs":"tvs_1"})")
                                      << std::optional(TolvernError::malformedResponse(QStringLiteral("AppleAuthcodeResponse")));
}

void tst_AuthClient::appleExchange()
{
    QFETCH(std::optional<QString>, identityToken);
    QFETCH(std::optional<QString>, installArgument);
    QFETCH(std::optional<QString>, installConfig);
    QFETCH(QByteArray, expectedBody);
    QFETCH(QByteArray, reply);
    QFETCH(std::optional<TolvernError>, error);

    Fixture fixture({.installID = installConfig});
    fixture.peer.enqueue(IdentityPeer::kAppleAuthcode, IdentityPeer::jsonReply(200, reply));
    std::optional<AppleAuthcodeResponse> answer;
    std::optional<TolvernError> thrown;
    try {
        answer = awaitTask(fixture.client->exchangeAppleAuthCode(QStringLiteral("ac-1"), identityToken, installArgument));
    } catch (const TolvernError &caught) {
        thrown = caught;
    }
    QCOMPARE(thrown, error);
    QCOMPARE(fixture.peer.requestsTo(IdentityPeer::kAppleAuthcode).value(0).request.body, expectedBody);
    QVERIFY(!fixture.peer.log().at(0).hasProof);
    if (answer && reply == R"({"ok":true})") {
        QVERIFY(answer->ok);
        QVERIFY(!answer->tvs && !answer->email && !answer->expiresAt && !answer->isNewUser && !answer->tolvernAccountId);
    }
}

void tst_AuthClient::revoke_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<std::optional<TolvernError>>("error");
    QTest::newRow("ok false is still success") << 200 << QByteArray(R"({"ok":false})") << std::optional<TolvernError>();
    QTest::newRow("empty body") << 200 << QByteArray()
                                << std::optional(TolvernError::malformedResponse(QStringLiteral("EmptyResponse")));
    QTest::newRow("401 is not recovered") << 401 << QByteArray(R"({"error":"invalid_token"})")
                                          << std::optional(TolvernError::sessionExpired());
}

void tst_AuthClient::revoke()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(std::optional<TolvernError>, error);

    Fixture fixture;
    // Close to expiry: a call with auth recovery would refresh first.
    const IdentityPeer::Session session = fixture.storeSession(3600);
    fixture.peer.enqueue(IdentityPeer::kRevoke, IdentityPeer::jsonReply(status, body));
    QCOMPARE(failure(fixture.client->revokeSession(session.tvs)), error);
    QCOMPARE(fixture.peer.count(IdentityPeer::kRevoke), 1);
    QCOMPARE(fixture.peer.count(IdentityPeer::kRefresh), 0);
    const IdentityPeer::LoggedRequest sent = fixture.peer.log().at(0);
    QVERIFY(sent.request.body.isEmpty());
    QCOMPARE(bearer(sent), session.tvs);
    QVERIFY(sent.hasProof);
    QCOMPARE(sent.proofError, QString());
}

void tst_AuthClient::appDataTokenReply_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("decodes");
    QTest::newRow("complete") << QByteArray(R"({"ok":true,"app_data_token":"adt","expires_at":"2027-01-01T00:00:00Z"})") << true;
    QTest::newRow("fractional date") << QByteArray(R"({"ok":true,"app_data_token":"adt","expires_at":"2027-01-01T00:00:00.250Z"})") << true;
    QTest::newRow("no expiry") << QByteArray(R"({"ok":true,"app_data_token":"adt"})") << false;
    QTest::newRow("bare date") << QByteArray(R"({"ok":true,"app_data_token":"adt","expires_at":"2027-01-01"})") << false;
}

void tst_AuthClient::appDataTokenReply()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, decodes);
    Fixture fixture;
    const IdentityPeer::Session session = fixture.storeSession(30 * kDays);
    fixture.peer.enqueue(IdentityPeer::kAppDataToken, IdentityPeer::jsonReply(200, body));
    const std::optional<TolvernError> error = failure(fixture.client->getAppDataToken(session.tvs));
    if (decodes) {
        QCOMPARE(error, std::nullopt);
        return;
    }
    QCOMPARE(error, std::optional(TolvernError::malformedResponse(QStringLiteral("AppDataTokenResponse"))));
    QCOMPARE(fixture.eventNames(), QStringList{QStringLiteral("request_decode_failed")});
    QCOMPARE(fixture.events.at(0).fields.value(QStringLiteral("field")), QStringLiteral("AppDataTokenResponse"));
}

void tst_AuthClient::tokenNeverLeavesWithoutProof_data()
{
    QTest::addColumn<QString>("signer");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("sentToPath");
    QTest::addColumn<int>("refreshes");
    // With 47 hours left a refresh would precede the call.
    QTest::newRow("no signer, app-data token") << QStringLiteral("none") << QStringLiteral("appData")
                                               << QStringLiteral("no_signer") << 0 << 0;
    QTest::newRow("no signer, revoke") << QStringLiteral("none") << QStringLiteral("revoke")
                                       << QStringLiteral("no_signer") << 0 << 0;
    QTest::newRow("signer without randomness") << QStringLiteral("failing") << QStringLiteral("appData")
                                               << QStringLiteral("random_unavailable") << 0 << 1;
    QTest::newRow("signer failing on the retry after a 401")
        << QStringLiteral("fails after one") << QStringLiteral("appData") << QStringLiteral("random_unavailable") << 1 << 1;
}

void tst_AuthClient::tokenNeverLeavesWithoutProof()
{
    QFETCH(QString, signer);
    QFETCH(QString, operation);
    QFETCH(QString, reason);
    QFETCH(int, sentToPath);
    QFETCH(int, refreshes);

    Fixture::Options options;
    if (signer == QLatin1String("none"))
        options.signer.reset();
    Fixture fixture(options);
    const bool lateFailure = signer == QLatin1String("fails after one");
    const IdentityPeer::Session session = fixture.storeSession(lateFailure ? 30 * kDays : 47 * 3600);
    if (lateFailure)
        fixture.peer.revokeToken(session.tvs);
    int draws = 0;
    if (signer != QLatin1String("none")) {
        SecureRandom::setSource([&draws, lateFailure](unsigned char *out, int count) {
            if (!lateFailure || draws++ > 0)
                return false;
            std::fill(out, out + count, 0x5a);
            return true;
        });
    }
    const std::optional<TolvernError> error =
        operation == QLatin1String("revoke") ? failure(fixture.client->revokeSession(session.tvs))
                                             : failure(fixture.client->getAppDataToken(session.tvs));
    SecureRandom::setSource({});

    QCOMPARE(error, std::optional(TolvernError::dpopUnavailable(reason)));
    const QByteArray path = operation == QLatin1String("revoke") ? IdentityPeer::kRevoke : IdentityPeer::kAppDataToken;
    QCOMPARE(fixture.peer.count(path), sentToPath);
    QCOMPARE(fixture.peer.count(IdentityPeer::kRefresh), refreshes);
    for (const IdentityPeer::LoggedRequest &entry : fixture.peer.log())
        QVERIFY(!entry.request.headers.contains("authorization") || entry.hasProof);

    // Calls without a session token need no proof.
    QCOMPARE(failure(fixture.client->exchangeCode(QStringLiteral("c"), std::nullopt, std::nullopt)), std::nullopt);
}

void tst_AuthClient::blockedRefreshKeepsTheRotatedSession()
{
    Fixture fixture;
    const IdentityPeer::Session session = fixture.storeSession(30 * kDays);
    const IdentityPeer::Session next = fixture.peer.openSession();
    fixture.peer.enqueue(IdentityPeer::kRefresh,
                         IdentityPeer::jsonReply(200, fixture.peer.tvsResponse(next),
                                                 {{"Tolvern-Deprecation", "client;min-version=9.0"}}));

    QCOMPARE(failure(fixture.client->refreshSerialized(session.refreshToken)),
             std::optional(TolvernError::requiresUpgrade(QStringLiteral("9.0"))));
    // The service spent the old refresh token: the new session is what is kept.
    QCOMPARE(fixture.rotations, QStringList{session.refreshToken});
    QCOMPARE(fixture.stored->tvs, next.tvs);
    QCOMPARE(fixture.stored->refreshToken, std::optional(next.refreshToken));
    // And the spent token is never presented again.
    QCOMPARE(awaitTask(fixture.client->refreshSerialized(session.refreshToken)).tvs, next.tvs);
    QCOMPARE(fixture.peer.count(IdentityPeer::kRefresh), 1);
}

QTEST_GUILESS_MAIN(tst_AuthClient)
#include "tst_AuthClient.moc"
