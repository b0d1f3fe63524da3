#include "OidcAuthorizationRequest.h"
#include "OidcAuthorizationResponse.h"
#include "OidcAuthorizationService.h"
#include "OidcTokenUtilities.h"
#include "OidcURLSessionProvider.h"

#include "HttpPeer.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QTest>
#include <QUrlQuery>

namespace {
const QString issuer = QStringLiteral("https://auth.example");

OidcServiceConfiguration configuration(const QUrl &token = QUrl(QStringLiteral("https://auth.example/token")))
{
    return OidcServiceConfiguration(QUrl(QStringLiteral("https://auth.example/authorize")), token, QUrl(issuer));
}

QString section(const QJsonObject &object)
{
    return OidcTokenUtilities::encodeBase64urlNoPadding(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// An unsigned token with the claims of a good one, changed by `changes` (null removes).
QString idToken(const QJsonObject &changes = {})
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QJsonObject claims{{"iss", issuer}, {"sub", "user-1"}, {"aud", QJsonArray{"sorvane"}},
                       {"exp", now + 3600}, {"iat", now}, {"nonce", "n-once"}};
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        if (it.value().isNull())
            claims.remove(it.key());
        else
            claims.insert(it.key(), it.value());
    }
    return section(QJsonObject{{"alg", "none"}}) + "." + section(claims) + ".sig";
}

OidcAuthorizationResponse codeResponse(const QUrl &tokenEndpoint)
{
    const auto request = OidcAuthorizationRequest::create(
        configuration(tokenEndpoint), QStringLiteral("sorvane"), std::nullopt, QStringLiteral("openid"),
        QUrl(QStringLiteral("sorvane://auth/callback")), QStringLiteral("code"), QStringLiteral("st"),
        QStringLiteral("n-once"), QStringLiteral("verifier-0123456789"), QStringLiteral("challenge"),
        QStringLiteral("S256"), std::nullopt);
    return OidcAuthorizationResponse(*request, {{"code", "c0de-0123456789"}, {"state", "st"}});
}
} // namespace

class tst_OidcTokenRequest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bodiesAndHeaders()
    {
        const OidcTokenRequest refresh(configuration(), QStringLiteral("refresh_token"), std::nullopt, std::nullopt,
                                       QStringLiteral("sorvane"), std::nullopt, QStringLiteral("openid"),
                                       QStringLiteral("r+fresh"), std::nullopt,
                                       OidcTokenRequest::Parameters{{"resource", "x"}},
                                       OidcTokenRequest::Parameters{{"Content-Type", "text/plain"}, {"DPoP", "p"}});
        QCOMPARE(refresh.URLRequestBody(),
                 QByteArray("grant_type=refresh_token&scope=openid&refresh_token=r%2Bfresh&resource=x&client_id=sorvane"));
        QVERIFY(!refresh.URLRequest().hasRawHeader("Authorization"));
        // Extra headers come last and replace what was set before.
        QCOMPARE(refresh.URLRequest().rawHeader("Content-Type"), QByteArray("text/plain"));
        QCOMPARE(refresh.URLRequest().rawHeader("DPoP"), QByteArray("p"));

        const OidcTokenRequest confidential(configuration(), QStringLiteral("refresh_token"), std::nullopt,
                                            std::nullopt, QStringLiteral("my client"), QStringLiteral("s3cr+t"),
                                            std::optional<QString>(), QStringLiteral("rt"), std::nullopt);
        QVERIFY(!confidential.URLRequestBody().contains("client_id"));
        QCOMPARE(confidential.URLRequest().rawHeader("Authorization"),
                 "Basic " + QByteArray("my+client:s3cr%2Bt").toBase64());
        QCOMPARE(confidential.URLRequest().rawHeader("Content-Type"),
                 QByteArray("application/x-www-form-urlencoded; charset=UTF-8"));
    }

    void exchangeRequestsCarryTheCodeAndVerifier()
    {
        const OidcAuthorizationResponse response = codeResponse(QUrl(QStringLiteral("https://auth.example/token")));
        const OidcTokenRequest exchange = response.tokenExchangeRequest();
        QCOMPARE(exchange.grantType(), QStringLiteral("authorization_code"));
        QCOMPARE(exchange.URLRequestBody(),
                 QByteArray("grant_type=authorization_code&redirect_uri=sorvane://auth/callback&code=c0de-0123456789"
                            "&code_verifier=verifier-0123456789&client_id=sorvane"));
        const QString description = exchange.description();
        QVERIFY(!description.contains(QStringLiteral("c0de-0123456789")));
        QVERIFY(!description.contains(QStringLiteral("verifier-0123456789")));
        QCOMPARE(OidcTokenRequest::fromArchive(exchange.archive()), exchange);

        const OidcAuthorizationResponse noCode(response.request(), {{"state", "st"}});
        QVERIFY_THROWS_EXCEPTION(OidcException, noCode.tokenExchangeRequest());
        QVERIFY_THROWS_EXCEPTION(OidcException,
                                 OidcTokenRequest(configuration(), QStringLiteral("authorization_code"),
                                                  QStringLiteral("c"), std::nullopt, QStringLiteral("sorvane"),
                                                  std::nullopt, std::optional<QString>(), std::nullopt, std::nullopt));
    }

    void replies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("domain"); // empty: success
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");
        QTest::addColumn<int>("underlyingCode");

        const auto tokens = [](const QString &id) {
            return QJsonDocument(QJsonObject{{"access_token", "at"}, {"token_type", "DPoP"}, {"expires_in", 3600},
                                             {"refresh_token", "rt2"}, {"id_token", id}})
                .toJson();
        };
        const QString general = OidcErrorDomain::general;
        QTest::newRow("tokens") << 200 << tokens(idToken()) << "" << 0 << "" << 0;
        QTest::newRow("audience a single string") << 200 << tokens(idToken({{"aud", "sorvane"}})) << "" << 0 << "" << 0;
        QTest::newRow("authorized party") << 200 << tokens(idToken({{"aud", "other"}, {"azp", "sorvane"}})) << "" << 0
                                          << "" << 0;
        QTest::newRow("invalid_grant") << 400 << QByteArray("{\"error\":\"invalid_grant\"}")
                                       << OidcErrorDomain::oauthToken << -10 << "invalid_grant" << 400;
        QTest::newRow("500") << 500 << QByteArray("oops") << general << -6
                             << "Non-200 HTTP response (500) making token request to" << 500;
        QTest::newRow("400 without error") << 400 << QByteArray("{}") << general << -6 << "Non-200 HTTP response (400)"
                                           << 400;
        QTest::newRow("not JSON") << 200 << QByteArray("<html>") << general << -7 << "JSON error parsing token response"
                                  << 0;
        QTest::newRow("array") << 200 << QByteArray("[]") << general << -8 << "Token response invalid." << 0;
        QTest::newRow("id token garbage") << 200 << tokens("x.y") << general << -14 << "ID Token parsing failed" << 0;
        QTest::newRow("no subject") << 200 << tokens(idToken({{"sub", QJsonValue::Null}})) << general << -14
                                    << "ID Token parsing failed" << 0;
        QTest::newRow("other issuer") << 200 << tokens(idToken({{"iss", "https://evil.example"}})) << general << -15
                                      << "Issuer mismatch" << 0;
        QTest::newRow("other audience") << 200 << tokens(idToken({{"aud", QJsonArray{"x"}}})) << general << -15
                                        << "Audience mismatch" << 0;
        QTest::newRow("expired") << 200 << tokens(idToken({{"exp", QDateTime::currentSecsSinceEpoch() - 5}}))
                                 << general << -15 << "ID Token expired" << 0;
        QTest::newRow("issued 601 s ago") << 200 << tokens(idToken({{"iat", QDateTime::currentSecsSinceEpoch() - 601}}))
                                          << general << -15
                                          << "Issued at time is more than 600 seconds before or after the current time"
                                          << 0;
        QTest::newRow("other nonce") << 200 << tokens(idToken({{"nonce", "n-other"}})) << general << -15
                                     << "Nonce mismatch" << 0;
    }
    void replies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, domain);
        QFETCH(int, code);
        QFETCH(QString, description);
        QFETCH(int, underlyingCode);

        HttpPeer peer;
        peer.route("/token", {status, body}, "POST");
        QNetworkAccessManager session;
        OidcURLSessionProvider::setSession(&session);
        const OidcAuthorizationResponse response = codeResponse(peer.url(QStringLiteral("/token")));

        std::optional<OidcTokenResponse> tokens;
        std::optional<OidcError> error;
        int calls = 0;
        OidcAuthorizationService::performTokenRequest(response.tokenExchangeRequest(), response,
                                                      [&](auto answer, auto failure) {
                                                          tokens = answer;
                                                          error = failure;
                                                          ++calls;
                                                      });
        QTRY_COMPARE(calls, 1);
        QCOMPARE(peer.requests().size(), 1);
        QCOMPARE(QUrlQuery(QString::fromUtf8(peer.requests().first().body)).queryItemValue("code"),
                 QStringLiteral("c0de-0123456789"));
        QCOMPARE(tokens.has_value(), domain.isEmpty());
        QCOMPARE(error.has_value(), !domain.isEmpty());
        if (domain.isEmpty()) {
            QCOMPARE(tokens->accessToken(), QStringLiteral("at"));
            QCOMPARE(tokens->refreshToken(), QStringLiteral("rt2"));
            QVERIFY(tokens->accessTokenExpirationDate() > QDateTime::currentDateTimeUtc().addSecs(3500));
            QVERIFY(!tokens->description().contains(QStringLiteral("rt2\"")));
            return;
        }
        QCOMPARE(error->domain, domain);
        QCOMPARE(error->code, code);
        QVERIFY2(error->description().startsWith(description), qPrintable(error->description()));
        if (underlyingCode) {
            QVERIFY(error->underlyingError);
            QCOMPARE(error->underlyingError->domain, OidcErrorDomain::remoteHTTP);
            QCOMPARE(error->underlyingError->code, underlyingCode);
        }
    }
};

QTEST_GUILESS_MAIN(tst_OidcTokenRequest)
#include "tst_OidcTokenRequest.moc"
