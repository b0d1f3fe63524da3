#include "OidcAuthorizationRequest.h"
#include "OidcAuthorizationResponse.h"
#include "OidcTokenUtilities.h"
#include "OidcURLQueryComponent.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

namespace {
OidcServiceConfiguration configuration(const QString &authorize = QStringLiteral("https://auth.example:8443/oauth/authorize?old=1"))
{
    return OidcServiceConfiguration(QUrl(authorize), QUrl(QStringLiteral("https://auth.example/token")),
                                    QUrl(QStringLiteral("https://auth.example")));
}

OidcAuthorizationRequest generated(const std::optional<OidcAuthorizationRequest::Parameters> &extras = std::nullopt)
{
    const auto request = OidcAuthorizationRequest::create(
        configuration(), QStringLiteral("sorvane"), QStringList{"openid", "tolvern.account"},
        QUrl(QStringLiteral("sorvane://auth/callback")), QStringLiteral("code"), extras);
    if (!request)
        qFatal("no request");
    return *request;
}
} // namespace

class tst_OidcAuthorizationRequest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { OidcTokenUtilities::setRandomSource(nullptr); }

    void generatedSecretsAreFreshAndWellFormed()
    {
        static const QRegularExpression alphabet(QStringLiteral("^[A-Za-z0-9_-]{43}$"));
        const OidcAuthorizationRequest first = generated();
        const OidcAuthorizationRequest second = generated();
        const QStringList values{*first.codeVerifier(), *first.state(), *first.nonce(), *second.codeVerifier(),
                                 *second.state(), *second.nonce()};
        for (const QString &value : values)
            QVERIFY2(alphabet.match(value).hasMatch(), qPrintable(value));
        QCOMPARE(QSet<QString>(values.begin(), values.end()).size(), values.size());
        QCOMPARE(first.codeChallengeMethod(), QStringLiteral("S256"));
        QCOMPARE(first.codeChallenge(), OidcAuthorizationRequest::codeChallengeS256ForVerifier(first.codeVerifier()));
        QCOMPARE(OidcAuthorizationRequest::codeChallengeS256ForVerifier(
                     QStringLiteral("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk")),
                 QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
        QCOMPARE(first.scope(), QStringLiteral("openid tolvern.account"));
    }

    // A request without state, nonce or verifier would go out unprotected.
    void aFailingRandomSourceGivesNoRequest_data()
    {
        QTest::addColumn<int>("failingCall"); // 1 verifier, 2 state, 3 nonce
        QTest::newRow("verifier") << 1;
        QTest::newRow("state") << 2;
        QTest::newRow("nonce") << 3;
    }
    void aFailingRandomSourceGivesNoRequest()
    {
        QFETCH(int, failingCall);
        int calls = 0;
        OidcTokenUtilities::setRandomSource([&calls, failingCall](unsigned char *buffer, int size) {
            if (++calls == failingCall)
                return false;
            std::fill(buffer, buffer + size, static_cast<unsigned char>(calls));
            return true;
        });
        QVERIFY(!OidcAuthorizationRequest::create(configuration(), QStringLiteral("sorvane"), QStringList{"openid"},
                                                  QUrl(QStringLiteral("sorvane://auth/callback")),
                                                  QStringLiteral("code"), std::nullopt));
    }

    void theURLCarriesOnlyTheRequest()
    {
        const OidcAuthorizationRequest request = generated(OidcAuthorizationRequest::Parameters{
            {QStringLiteral("prompt"), QStringLiteral("select_account")}, {QStringLiteral("state"), QStringLiteral("x+y")}});
        const QUrl url = request.authorizationRequestURL();
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QCOMPARE(url.host(), QStringLiteral("auth.example"));
        QCOMPARE(url.port(), 8443);
        QCOMPARE(url.path(), QStringLiteral("/oauth/authorize"));
        const OidcURLQueryComponent query(url);
        QVERIFY(!query.valuesForParameter(QStringLiteral("old")));
        QVERIFY(!query.valuesForParameter(QStringLiteral("code_verifier")));
        QVERIFY(!url.toString().contains(*request.codeVerifier()));
        QCOMPARE(query.valuesForParameter(QStringLiteral("response_type")), QStringList{"code"});
        QCOMPARE(query.valuesForParameter(QStringLiteral("redirect_uri")), QStringList{"sorvane://auth/callback"});
        QCOMPARE(query.valuesForParameter(QStringLiteral("scope")), QStringList{"openid tolvern.account"});
        QCOMPARE(query.valuesForParameter(QStringLiteral("prompt")), QStringList{"select_account"});
        // An extra named like a standard parameter adds a value, it does not replace one.
        QCOMPARE(query.valuesForParameter(QStringLiteral("state")), (QStringList{"x+y", *request.state()}));
        QCOMPARE(query.valuesForParameter(QStringLiteral("code_challenge_method")), QStringList{"S256"});
        QCOMPARE(request.redirectScheme(), QStringLiteral("sorvane"));
    }

    void unsupportedResponseTypesGiveNoRequest()
    {
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("response_type \"token\" isn't supported")));
        QVERIFY(!OidcAuthorizationRequest::create(configuration(), QStringLiteral("c"), QStringList{"openid"},
                                                  QUrl(QStringLiteral("sorvane://auth/callback")),
                                                  QStringLiteral("token"), std::nullopt));
        QVERIFY(OidcAuthorizationRequest::isSupportedResponseType(QStringLiteral("id_token code")));
    }

    void descriptionsKeepSecretsOut()
    {
        const OidcAuthorizationRequest request = generated();
        const QString description = request.description();
        QVERIFY(description.startsWith(QStringLiteral("<OidcAuthorizationRequest: 0x")));
        QVERIFY(!description.contains(*request.state()));
        QVERIFY(!description.contains(*request.nonce()));
        QVERIFY(description.contains(request.state()->left(6) + QStringLiteral("...%5Bredacted%5D")));

        const OidcAuthorizationResponse response(
            request, {{"code", "SplxlOBeZQQYbYS6WxSbIA"}, {"state", *request.state()}, {"iss", "https://auth.example"}});
        const QString text = response.description();
        QVERIFY(!text.contains(QStringLiteral("SplxlOBeZQQYbYS6WxSbIA")));
        QVERIFY(!text.contains(*request.state()));
        QVERIFY(text.contains(QStringLiteral("authorizationCode: SplxlO...[redacted]")));
    }

    void responsesSortParametersIntoFields()
    {
        const OidcAuthorizationRequest request = generated();
        const OidcURLQueryComponent redirect(QUrl(QStringLiteral(
            "sorvane://auth/callback?code=c0de&state=st&session_state=u&expires_in=3600")));
        const OidcAuthorizationResponse response(request, redirect.dictionaryValue());
        QCOMPARE(response.authorizationCode(), QStringLiteral("c0de"));
        QCOMPARE(response.state(), QStringLiteral("st"));
        QVERIFY(!response.accessTokenExpirationDate());
        // Query values are strings: "expires_in" lands among the extras, as does the unknown name.
        QCOMPARE(response.additionalParameters(), (QVariantMap{{"session_state", "u"}, {"expires_in", "3600"}}));
    }

    void archivesRoundTrip()
    {
        const OidcAuthorizationRequest request =
            generated(OidcAuthorizationRequest::Parameters{{QStringLiteral("login_hint"), QStringLiteral("a@b.c")}});
        QCOMPARE(OidcAuthorizationRequest::fromArchive(request.archive()), request);
        const OidcAuthorizationResponse response(request, {{"code", "c0de"}, {"state", "st"}, {"extra", "e"}});
        const auto restored = OidcAuthorizationResponse::fromArchive(response.archive());
        QVERIFY(restored);
        QCOMPARE(restored->request(), request);
        QCOMPARE(restored->authorizationCode(), QStringLiteral("c0de"));
        QCOMPARE(restored->additionalParameters(), (QVariantMap{{"extra", "e"}}));
        QVERIFY(!OidcAuthorizationRequest::fromArchive(QJsonObject{{"client_id", "c"}}));
    }
};

QTEST_GUILESS_MAIN(tst_OidcAuthorizationRequest)
#include "tst_OidcAuthorizationRequest.moc"
