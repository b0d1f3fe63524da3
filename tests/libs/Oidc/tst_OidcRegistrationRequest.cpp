#include "OidcAuthorizationService.h"
#include "OidcEndSessionResponse.h"
#include "OidcRegistrationRequest.h"
#include "OidcTokenUtilities.h"
#include "OidcURLQueryComponent.h"
#include "OidcURLSessionProvider.h"

#include "HttpPeer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QTest>

namespace {
OidcServiceConfiguration configuration(const std::optional<QUrl> &registration = QUrl(QStringLiteral("https://auth.example/reg")),
                                       const std::optional<QUrl> &endSession = QUrl(QStringLiteral("https://auth.example/logout?x=1")))
{
    return OidcServiceConfiguration(QUrl(QStringLiteral("https://auth.example/authorize")),
                                    QUrl(QStringLiteral("https://auth.example/token")),
                                    QUrl(QStringLiteral("https://auth.example")), registration, endSession);
}

QJsonObject bodyOf(const OidcRegistrationRequest &request)
{
    return QJsonDocument::fromJson(request.JSONString().value_or(QByteArray())).object();
}
} // namespace

class tst_OidcRegistrationRequest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { OidcTokenUtilities::setRandomSource(nullptr); }

    void registrationBodies()
    {
        const QList<QUrl> redirects{QUrl(QStringLiteral("sorvane://auth/callback")),
                                    QUrl(QStringLiteral("http://127.0.0.1/callback"))};
        const QJsonObject extras{{"grant_types", QJsonArray{"implicit"}}, {"client_name", "sorv.ane"}};
        const OidcRegistrationRequest own(configuration(), redirects, QStringList{"code"},
                                          QStringList{"authorization_code", "refresh_token"}, std::nullopt,
                                          QStringLiteral("none"), QStringLiteral("iat-token"), extras);
        QJsonObject body = bodyOf(own);
        QCOMPARE(body.value("redirect_uris"), QJsonValue(QJsonArray{"sorvane://auth/callback", "http://127.0.0.1/callback"}));
        QCOMPARE(body.value("application_type"), QJsonValue("native"));
        QCOMPARE(body.value("grant_types"), QJsonValue(QJsonArray{"authorization_code", "refresh_token"}));
        QCOMPARE(body.value("client_name"), QJsonValue("sorv.ane"));
        QCOMPARE(body.value("token_endpoint_auth_method"), QJsonValue("none"));
        QVERIFY(!body.contains("subject_type"));
        QCOMPARE(own.URLRequest()->rawHeader("Authorization"), QByteArray("Bearer iat-token"));
        QCOMPARE(own.URLRequest()->rawHeader("Content-Type"), QByteArray("application/json"));
        QVERIFY(!own.description().contains(QStringLiteral("iat-token")));
        QCOMPARE(OidcRegistrationRequest::fromArchive(own.archive()), own);

        // Without the request's own grant types the extra one stays.
        const OidcRegistrationRequest extrasOnly(configuration(), redirects, std::nullopt, std::nullopt, std::nullopt,
                                                 std::nullopt, extras);
        QCOMPARE(bodyOf(extrasOnly).value("grant_types"), QJsonValue(QJsonArray{"implicit"}));
        QVERIFY(!extrasOnly.URLRequest()->hasRawHeader("Authorization"));
    }

    void registrationReplies_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("domain"); // empty: a response
        QTest::addColumn<int>("code");
        QTest::newRow("201") << 201 << QByteArray("{\"client_id\":\"c1\",\"client_id_issued_at\":1700000000,\"client_secret\":\"s3cret-value\"}") << "" << 0;
        QTest::newRow("200") << 200 << QByteArray("{\"client_id\":\"c1\"}") << "" << 0;
        QTest::newRow("400 with error") << 400 << QByteArray("{\"error\":\"invalid_redirect_uri\"}")
                                        << OidcErrorDomain::oauthRegistration << -61440;
        QTest::newRow("401") << 401 << QByteArray("{\"error\":\"invalid_token\"}") << OidcErrorDomain::general << -6;
        QTest::newRow("not JSON") << 201 << QByteArray("<html>") << OidcErrorDomain::general << -7;
        QTest::newRow("array") << 201 << QByteArray("[]") << OidcErrorDomain::general << -12;
    }
    void registrationReplies()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, domain);
        QFETCH(int, code);

        HttpPeer peer;
        peer.route("/reg", {status, body}, "POST");
        QNetworkAccessManager session;
        OidcURLSessionProvider::setSession(&session);
        const OidcRegistrationRequest request(configuration(peer.url(QStringLiteral("/reg"))),
                                              {QUrl(QStringLiteral("sorvane://auth/callback"))}, std::nullopt,
                                              std::nullopt, std::nullopt, std::nullopt, std::nullopt);
        std::optional<OidcRegistrationResponse> response;
        std::optional<OidcError> error;
        int calls = 0;
        OidcAuthorizationService::performRegistrationRequest(request, [&](auto answer, auto failure) {
            response = answer;
            error = failure;
            ++calls;
        });
        QTRY_COMPARE(calls, 1);
        QCOMPARE(response.has_value(), domain.isEmpty());
        if (domain.isEmpty()) {
            QCOMPARE(response->clientID(), QStringLiteral("c1"));
            if (response->clientSecret())
                QVERIFY(!response->description().contains(QStringLiteral("s3cret-value")));
            return;
        }
        QCOMPARE(error->domain, domain);
        QCOMPARE(error->code, code);
    }

    void endSessionRequests()
    {
        const auto request = OidcEndSessionRequest::create(configuration(), QStringLiteral("id.token.hint-value"),
                                                           QUrl(QStringLiteral("sorvane://auth/logout")),
                                                           OidcEndSessionRequest::Parameters{{"ui_locales", "en"}});
        QVERIFY(request);
        QVERIFY(QRegularExpression(QStringLiteral("^[A-Za-z0-9_-]{43}$")).match(*request->state()).hasMatch());
        const QUrl url = request->endSessionRequestURL();
        QCOMPARE(url.path(), QStringLiteral("/logout"));
        const OidcURLQueryComponent query(url);
        QCOMPARE(query.parameters(), (QStringList{"ui_locales", "id_token_hint", "post_logout_redirect_uri", "state"}));
        QVERIFY(!query.valuesForParameter(QStringLiteral("x")));
        QVERIFY(!request->description().contains(QStringLiteral("id.token.hint-value")));
        QCOMPARE(request->redirectScheme(), QStringLiteral("sorvane"));
        QCOMPARE(OidcEndSessionRequest::fromArchive(request->archive()), request);

        const OidcEndSessionResponse response(*request, {{"state", *request->state()}, {"extra", "e"}});
        QCOMPARE(response.state(), request->state());
        QCOMPARE(response.additionalParameters(), (QVariantMap{{"extra", "e"}}));

        OidcTokenUtilities::setRandomSource([](unsigned char *, int) { return false; });
        QVERIFY(!OidcEndSessionRequest::create(configuration(), std::nullopt, QUrl(QStringLiteral("sorvane://x")),
                                               std::nullopt));
        QTest::ignoreMessage(QtCriticalMsg, "The service configuration is missing an end_session_endpoint.");
        QVERIFY(!OidcEndSessionRequest::create(configuration(std::nullopt, std::nullopt), std::nullopt, std::nullopt,
                                               QStringLiteral("s"), std::nullopt));
    }
};

QTEST_GUILESS_MAIN(tst_OidcRegistrationRequest)
#include "tst_OidcRegistrationRequest.moc"
