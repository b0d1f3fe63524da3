#include "OidcAuthState.h"
#include "OidcExternalUserAgentMac.h"
#include "OidcURLSessionProvider.h"

#include "HttpPeer.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

namespace {
OidcAuthorizationResponse authorization(const QUrl &tokenEndpoint)
{
    const OidcServiceConfiguration configuration(QUrl(QStringLiteral("https://auth.example/authorize")), tokenEndpoint);
    const auto request = OidcAuthorizationRequest::create(
        configuration, QStringLiteral("sorvane"), std::nullopt, QStringLiteral("openid"),
        QUrl(QStringLiteral("sorvane://auth/callback")), QStringLiteral("code"), QStringLiteral("st"), std::nullopt,
        QStringLiteral("verifier"), std::nullopt, std::nullopt, std::nullopt);
    return OidcAuthorizationResponse(*request, {{"code", "c0de"}, {"state", "st"}});
}

OidcTokenResponse tokens(const OidcAuthorizationResponse &authorization, const QVariantMap &parameters)
{
    return OidcTokenResponse(authorization.tokenExchangeRequest(), parameters);
}

struct Call {
    std::optional<QString> accessToken;
    std::optional<OidcError> error;
};
} // namespace

class tst_OidcAuthState : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_peer = std::make_unique<HttpPeer>();
        m_session = std::make_unique<QNetworkAccessManager>();
        OidcURLSessionProvider::setSession(m_session.get());
    }

    void freshness_data()
    {
        QTest::addColumn<QVariant>("expiresIn"); // invalid: no expiry
        QTest::addColumn<bool>("markedStale");
        QTest::addColumn<bool>("fresh");
        QTest::newRow("an hour ahead") << QVariant(3600) << false << true;
        QTest::newRow("60 s ahead") << QVariant(60) << false << false;
        QTest::newRow("no expiry") << QVariant() << false << true;
        QTest::newRow("marked stale") << QVariant(3600) << true << false;
    }
    void freshness()
    {
        QFETCH(QVariant, expiresIn);
        QFETCH(bool, markedStale);
        QFETCH(bool, fresh);
        m_peer->route("/token", {200, "{\"access_token\":\"new\",\"expires_in\":3600}"}, "POST");
        const OidcAuthorizationResponse auth = authorization(m_peer->url(QStringLiteral("/token")));
        QVariantMap parameters{{"access_token", "old"}, {"refresh_token", "rt"}};
        if (expiresIn.isValid())
            parameters.insert("expires_in", expiresIn);
        OidcAuthState state(auth, tokens(auth, parameters));
        if (markedStale)
            state.setNeedsTokenRefresh();
        std::optional<Call> call;
        state.performActionWithFreshTokens([&call](auto access, auto, auto error) { call = Call{access, error}; });
        QTRY_VERIFY(call);
        QCOMPARE(call->accessToken, fresh ? QStringLiteral("old") : QStringLiteral("new"));
        QCOMPARE(m_peer->requests().size(), fresh ? 0 : 1);
        QVERIFY(!state.needsTokenRefresh());
    }

    void actionsDuringARefreshShareIt()
    {
        m_peer->route("/token", {200, "{\"access_token\":\"new\",\"refresh_token\":\"rt2\",\"expires_in\":3600}"}, "POST");
        const OidcAuthorizationResponse auth = authorization(m_peer->url(QStringLiteral("/token")));
        OidcAuthState state(auth, tokens(auth, {{"access_token", "old"}, {"expires_in", 0}, {"refresh_token", "rt"}}));
        QList<Call> calls;
        for (int i = 0; i < 3; ++i)
            state.performActionWithFreshTokens([&calls](auto access, auto, auto error) { calls.append({access, error}); });
        QTRY_COMPARE(calls.size(), 3);
        QCOMPARE(m_peer->requests().size(), 1);
        QCOMPARE(QUrlQuery(QString::fromUtf8(m_peer->requests().first().body)).queryItemValue("refresh_token"),
                 QStringLiteral("rt"));
        for (const Call &call : calls) {
            QCOMPARE(call.accessToken, QStringLiteral("new"));
            QVERIFY(!call.error);
        }
        QCOMPARE(state.refreshToken(), QStringLiteral("rt2"));
    }

    void refreshFailures_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("authorizedAfter");
        QTest::newRow("spent refresh token") << 400 << QByteArray("{\"error\":\"invalid_grant\"}") << -10 << false;
        QTest::newRow("server down") << 500 << QByteArray("down") << -6 << true;
    }
    void refreshFailures()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(int, code);
        QFETCH(bool, authorizedAfter);
        m_peer->route("/token", {status, body}, "POST");
        const OidcAuthorizationResponse auth = authorization(m_peer->url(QStringLiteral("/token")));
        OidcAuthState state(auth, tokens(auth, {{"access_token", "old"}, {"expires_in", 0}, {"refresh_token", "rt"}}));
        QSignalSpy authorizationErrors(&state, &OidcAuthState::authorizationErrorEncountered);
        QSignalSpy transientErrors(&state, &OidcAuthState::transientErrorEncountered);
        std::optional<Call> call;
        state.performActionWithFreshTokens([&call](auto access, auto, auto error) { call = Call{access, error}; });
        QTRY_VERIFY(call);
        QVERIFY(call->error);
        QCOMPARE(call->error->code, code);
        QCOMPARE(state.isAuthorized(), authorizedAfter);
        QCOMPARE(authorizationErrors.size(), authorizedAfter ? 0 : 1);
        QCOMPARE(transientErrors.size(), authorizedAfter ? 1 : 0);
    }

    void withoutARefreshTokenNothingIsSent()
    {
        const OidcAuthorizationResponse auth = authorization(m_peer->url(QStringLiteral("/token")));
        OidcAuthState state(auth, tokens(auth, {{"access_token", "old"}, {"expires_in", 0}}));
        std::optional<Call> call;
        state.performActionWithFreshTokens([&call](auto access, auto, auto error) { call = Call{access, error}; });
        QTRY_VERIFY(call);
        QCOMPARE(call->error->code, -11);
        QCOMPARE(call->error->description(), QStringLiteral("Unable to refresh expired token without a refresh token."));
        QVERIFY(m_peer->requests().isEmpty());
        QVERIFY_THROWS_EXCEPTION(OidcException, state.tokenRefreshRequest());
    }

    void updates()
    {
        const OidcAuthorizationResponse auth = authorization(m_peer->url(QStringLiteral("/token")));
        OidcAuthState state(auth);
        QSignalSpy changes(&state, &OidcAuthState::stateChanged);
        QCOMPARE(state.scope(), QStringLiteral("openid")); // the request's, the response having none
        state.updateWithTokenResponse(tokens(auth, {{"access_token", "a1"}, {"refresh_token", "r1"}}), std::nullopt);
        // A response without a refresh token keeps the old one.
        state.updateWithTokenResponse(tokens(auth, {{"access_token", "a2"}, {"scope", "openid email"}}), std::nullopt);
        QCOMPARE(state.refreshToken(), QStringLiteral("r1"));
        QCOMPARE(state.scope(), QStringLiteral("openid email"));
        QCOMPARE(state.accessToken(), QStringLiteral("a2"));
        // Errors of another domain change nothing.
        OidcError network;
        network.domain = OidcErrorDomain::general;
        network.code = -5;
        state.updateWithTokenResponse(std::nullopt, network);
        QVERIFY(state.isAuthorized());
        QCOMPARE(changes.size(), 2);

        const QJsonObject archive = state.archive();
        std::unique_ptr<OidcAuthState> restored(OidcAuthState::fromArchive(archive));
        QCOMPARE(restored->accessToken(), QStringLiteral("a2"));
        QCOMPARE(restored->refreshToken(), QStringLiteral("r1"));
        QVERIFY(!state.description().contains(QStringLiteral("\"r1\"")));

        OidcError denied;
        denied.domain = OidcErrorDomain::oauthAuthorization;
        denied.code = -4;
        state.updateWithAuthorizationResponse(std::nullopt, denied);
        QVERIFY(!state.isAuthorized());
        QVERIFY(!state.accessToken());
        // A fresh authorization response clears the error and the old tokens.
        state.updateWithAuthorizationResponse(auth, std::nullopt);
        QVERIFY(!state.authorizationError());
        QVERIFY(!state.refreshToken());
        QVERIFY(!state.lastTokenResponse());
    }

    void presentingRoad_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("code"); // 0: an authorized state
        QTest::newRow("code") << "code=c0de&state=st" << 0;
        QTest::newRow("no code") << "state=st" << -8;
        QTest::newRow("denied") << "error=access_denied&state=st" << -4;
    }
    void presentingRoad()
    {
        QFETCH(QString, query);
        QFETCH(int, code);
        m_peer->route("/token", {200, "{\"access_token\":\"at\",\"refresh_token\":\"rt\"}"}, "POST");
        OidcExternalUserAgentMac::setOpener([](const QUrl &) { return true; });
        const OidcAuthorizationRequest request = authorization(m_peer->url(QStringLiteral("/token"))).request();
        std::shared_ptr<OidcAuthState> state;
        std::optional<OidcError> error;
        int calls = 0;
        const auto session = OidcAuthState::authStateByPresentingAuthorizationRequest(
            request, [&](std::shared_ptr<OidcAuthState> made, std::optional<OidcError> failure) {
                state = made;
                error = failure;
                ++calls;
            });
        QVERIFY(session->resumeExternalUserAgentFlowWithURL(QUrl("sorvane://auth/callback?" + query)));
        QTRY_COMPARE(calls, 1);
        OidcExternalUserAgentMac::setOpener(nullptr);
        QCOMPARE(bool(state), code == 0);
        if (code == 0) {
            QCOMPARE(state->accessToken(), QStringLiteral("at"));
            QCOMPARE(state->refreshToken(), QStringLiteral("rt"));
            return;
        }
        QCOMPARE(error->code, code);
        if (code == -8)
            QCOMPARE(error->description(), QStringLiteral("Authorization response has no code."));
        QVERIFY(m_peer->requests().isEmpty());
    }

private:
    std::unique_ptr<HttpPeer> m_peer;
    std::unique_ptr<QNetworkAccessManager> m_session;
};

QTEST_GUILESS_MAIN(tst_OidcAuthState)
#include "tst_OidcAuthState.moc"
