// The client against the real OpenID provider. The test plays the browser: a network
// manager with a cookie jar follows the provider's redirects by hand up to the redirect
// URI, which goes to the loopback listener over HTTP or to the session as the app's
// "sorvane:" hand-over would.
#include "OidcAuthState.h"
#include "OidcAuthorizationService.h"
#include "OidcExternalUserAgentMac.h"
#include "OidcIDToken.h"
#include "OidcRedirectHTTPHandler.h"
#include "OidcURLSessionProvider.h"

#include "OidcPeer.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

namespace {
const QString clientID = QStringLiteral("sorvane-test");
const QUrl appRedirect(QStringLiteral("sorvane://auth/callback"));
const QUrl signedOutRedirect(QStringLiteral("sorvane://auth/signed-out"));

template<typename Value>
struct Outcome {
    std::optional<Value> value;
    std::optional<OidcError> error;
    int calls = 0;
};

QString why(const std::optional<OidcError> &error)
{
    return error ? error->description() : QString();
}

QNetworkReply *awaitReply(QNetworkReply *reply)
{
    if (!reply->isFinished())
        QSignalSpy(reply, &QNetworkReply::finished).wait(30000);
    return reply;
}

QUrl withQueryItem(QUrl url, const QString &key, const QString &value)
{
    QUrlQuery query(url);
    query.removeAllQueryItems(key);
    query.addQueryItem(key, value);
    url.setQuery(query);
    return url;
}
} // namespace

class tst_OidcEndToEnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_peer.start(), qPrintable(m_peer.errorText()));
        OidcURLSessionProvider::setSession(&m_session);
        connect(&m_session, &QNetworkAccessManager::finished, this, [this](QNetworkReply *reply) {
            if (reply->url().path() == QLatin1String("/token"))
                ++m_tokenRequests;
        });
        OidcExternalUserAgentMac::setOpener([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });

        // Discovery of the provider's own issuer.
        auto outcome = std::make_shared<Outcome<OidcServiceConfiguration>>();
        OidcAuthorizationService::discoverServiceConfigurationForIssuer(m_peer.issuer(), [outcome](auto value, auto error) {
            outcome->value = value;
            outcome->error = error;
            ++outcome->calls;
        });
        QTRY_COMPARE_WITH_TIMEOUT(outcome->calls, 1, 30000);
        QVERIFY2(outcome->value, qPrintable(why(outcome->error)));
        m_configuration = *outcome->value;
        QCOMPARE(m_configuration.issuer(), m_peer.issuer());
        QCOMPARE(m_configuration.tokenEndpoint(), m_peer.url(QStringLiteral("/token")));
        QCOMPARE(m_configuration.registrationEndpoint(), m_peer.url(QStringLiteral("/reg")));
        QCOMPARE(m_configuration.endSessionEndpoint(), m_peer.url(QStringLiteral("/session/end")));
    }
    void init()
    {
        m_opened.clear();
        m_browser.setCookieJar(new QNetworkCookieJar);
    }
    void cleanup()
    {
        // Flows cancelled by destructors call back late; let them land now.
        QCoreApplication::processEvents();
    }
    void cleanupTestCase()
    {
        OidcExternalUserAgentMac::setOpener(nullptr);
    }

    void codeWithPKCEThroughTheLoopbackListener()
    {
        OidcRedirectHTTPHandler handler;
        const auto base = handler.startHTTPListener();
        QVERIFY(base);
        const auto request = OidcAuthorizationRequest::create(
            m_configuration, clientID, {QStringLiteral("openid"), QStringLiteral("tolvern.account")},
            base->resolved(QUrl(QStringLiteral("callback"))), QStringLiteral("code"), std::nullopt);
        QVERIFY(request);
        auto outcome = std::make_shared<Outcome<OidcAuthorizationResponse>>();
        handler.setCurrentAuthorizationFlow(OidcAuthorizationService::presentAuthorizationRequest(
            *request, [outcome](auto value, auto error) {
                outcome->value = value;
                outcome->error = error;
                ++outcome->calls;
            }));
        QCOMPARE(m_opened.size(), 1);
        const QUrlQuery sent(m_opened.first());
        QCOMPARE(sent.queryItemValue(QStringLiteral("code_challenge_method")), QStringLiteral("S256"));
        QVERIFY(sent.hasQueryItem(QStringLiteral("nonce")));

        const QUrl redirect = m_peer.followToRedirect(m_browser, m_opened.first());
        QVERIFY2(redirect.isValid(), qPrintable(m_peer.errorText()));
        QCOMPARE(redirect.port(), base->port());
        const QUrlQuery back(redirect);
        QCOMPARE(back.queryItemValue(QStringLiteral("state")), *request->state());
        QCOMPARE(QUrl(back.queryItemValue(QStringLiteral("iss"), QUrl::FullyDecoded)), m_peer.issuer());

        // The browser's request reaches the listener and gets its page.
        QNetworkReply *page = awaitReply(m_browser.get(QNetworkRequest(redirect)));
        QCOMPARE(page->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
        QVERIFY(page->readAll().contains("Authorization complete."));
        page->deleteLater();
        QTRY_COMPARE(outcome->calls, 1);
        QVERIFY2(outcome->value, qPrintable(why(outcome->error)));
        QVERIFY(outcome->value->authorizationCode());
        QVERIFY(!handler.isListening());

        // The code exchange with its verifier, and the ID token checked against the nonce sent.
        const auto tokens = exchange(*outcome->value, outcome->value->tokenExchangeRequest());
        QVERIFY2(tokens.value, qPrintable(why(tokens.error)));
        QVERIFY(tokens.value->accessToken());
        const auto idToken = OidcIDToken::parse(*tokens.value->idToken());
        QVERIFY(idToken);
        QCOMPARE(idToken->issuer(), m_peer.issuer());
        QCOMPARE(idToken->audience(), QStringList{clientID});
        QCOMPARE(idToken->nonce(), request->nonce());
        QCOMPARE(idToken->subject(), QStringLiteral("tester"));
    }

    void aWrongVerifierIsRefused()
    {
        const auto response = signIn({QStringLiteral("openid")});
        QVERIFY(response.value);
        const OidcTokenRequest original = response.value->tokenExchangeRequest();
        const OidcTokenRequest wrong(m_configuration, original.grantType(), original.authorizationCode(),
                                     original.redirectURL(), clientID, std::nullopt, original.scope(), std::nullopt,
                                     OidcAuthorizationRequest::generateCodeVerifier());
        const auto tokens = exchange(*response.value, wrong);
        QVERIFY(!tokens.value);
        QCOMPARE(tokens.error->domain, OidcErrorDomain::oauthToken);
        QCOMPARE(tokens.error->code, int(OidcErrorCodeOAuth::invalidGrant));
    }

    void anAuthStateRefreshesOnceForAllWaitingActions()
    {
        // A refresh token needs "offline_access", which the provider grants on a consent prompt.
        auto presented = std::make_shared<std::pair<std::shared_ptr<OidcAuthState>, int>>();
        const auto request = OidcAuthorizationRequest::create(
            m_configuration, clientID, {QStringLiteral("openid"), QStringLiteral("offline_access")}, appRedirect,
            QStringLiteral("code"), OidcAuthorizationRequest::Parameters{{"prompt", "consent"}});
        QVERIFY(request);
        const auto session = OidcAuthState::authStateByPresentingAuthorizationRequest(
            *request, [presented](auto state, auto error) {
                presented->first = state;
                presented->second += error ? 0 : 1;
            });
        const QUrl redirect = m_peer.followToRedirect(m_browser, m_opened.last());
        QVERIFY2(redirect.isValid(), qPrintable(m_peer.errorText()));
        QVERIFY(session->resumeExternalUserAgentFlowWithURL(redirect));
        QTRY_VERIFY_WITH_TIMEOUT(presented->first, 30000);
        OidcAuthState &state = *presented->first;
        QVERIFY(state.isAuthorized());
        const auto firstTokens = state.lastTokenResponse();
        QVERIFY(firstTokens && firstTokens->refreshToken());

        state.setNeedsTokenRefresh();
        const int before = m_tokenRequests;
        auto tokensSeen = std::make_shared<QList<std::optional<QString>>>();
        for (int i = 0; i < 3; ++i)
            state.performActionWithFreshTokens([tokensSeen](auto access, auto, auto) { tokensSeen->append(access); });
        QTRY_COMPARE_WITH_TIMEOUT(tokensSeen->size(), 3, 30000);
        QCOMPARE(m_tokenRequests - before, 1);
        QVERIFY(tokensSeen->first());
        QVERIFY(tokensSeen->first() != firstTokens->accessToken());
        QCOMPARE(tokensSeen->count(tokensSeen->first()), 3);

        // The first refresh token was rotated away: offering it again is refused, and
        // that state is no longer authorized.
        OidcAuthState stale(state.lastAuthorizationResponse(), firstTokens);
        QSignalSpy refused(&stale, &OidcAuthState::authorizationErrorEncountered);
        stale.setNeedsTokenRefresh();
        auto failure = std::make_shared<std::optional<OidcError>>();
        stale.performActionWithFreshTokens([failure](auto, auto, auto error) { *failure = error; });
        QTRY_VERIFY_WITH_TIMEOUT(failure->has_value(), 30000);
        QCOMPARE((*failure)->domain, OidcErrorDomain::oauthToken);
        QCOMPARE((*failure)->code, int(OidcErrorCodeOAuth::invalidGrant));
        QVERIFY(!stale.isAuthorized());
        QCOMPARE(refused.size(), 1);
    }

    void registration_data()
    {
        QTest::addColumn<QString>("initialAccessToken");
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<QString>("domain"); // empty: registered
        QTest::addColumn<int>("code");
        QTest::newRow("registered") << "sorvane-initial-access-token" << "sorvane://auth/callback" << "" << 0;
        QTest::newRow("wrong token") << "not-the-token" << "sorvane://auth/callback" << OidcErrorDomain::general
                                     << int(OidcErrorCode::serverError);
        QTest::newRow("bad metadata") << "sorvane-initial-access-token" << "callback" << OidcErrorDomain::oauthRegistration
                                      << 0;
    }
    void registration()
    {
        QFETCH(QString, initialAccessToken);
        QFETCH(QString, redirect);
        QFETCH(QString, domain);
        QFETCH(int, code);
        const OidcRegistrationRequest request(m_configuration, {QUrl(redirect)}, QStringList{QStringLiteral("code")},
                                              QStringList{QStringLiteral("authorization_code")}, std::nullopt,
                                              QStringLiteral("none"), initialAccessToken, std::nullopt);
        auto outcome = std::make_shared<Outcome<OidcRegistrationResponse>>();
        OidcAuthorizationService::performRegistrationRequest(request, [outcome](auto value, auto error) {
            outcome->value = value;
            outcome->error = error;
            ++outcome->calls;
        });
        QTRY_COMPARE_WITH_TIMEOUT(outcome->calls, 1, 30000);
        if (domain.isEmpty()) {
            QVERIFY2(outcome->value, qPrintable(why(outcome->error)));
            QVERIFY(outcome->value->clientID());
            QVERIFY(outcome->value->registrationAccessToken());
            QCOMPARE(outcome->value->tokenEndpointAuthenticationMethod(), QStringLiteral("none"));
            return;
        }
        QVERIFY(!outcome->value);
        QCOMPARE(outcome->error->domain, domain);
        if (code)
            QCOMPARE(outcome->error->code, code);
        QVERIFY(!outcome->error->description().contains(initialAccessToken));
    }

    void endSessionThroughTheLogoutForm_data()
    {
        QTest::addColumn<bool>("changeState");
        QTest::newRow("its state") << false;
        QTest::newRow("a changed state") << true;
    }
    void endSessionThroughTheLogoutForm()
    {
        QFETCH(bool, changeState);
        const auto signedIn = signIn({QStringLiteral("openid")});
        QVERIFY(signedIn.value);
        const auto tokens = exchange(*signedIn.value, signedIn.value->tokenExchangeRequest());
        QVERIFY(tokens.value && tokens.value->idToken());

        const auto request = OidcEndSessionRequest::create(m_configuration, tokens.value->idToken(), signedOutRedirect,
                                                           std::nullopt);
        QVERIFY(request && request->state());
        auto outcome = std::make_shared<Outcome<OidcEndSessionResponse>>();
        const auto session = OidcAuthorizationService::presentEndSessionRequest(
            *request, std::make_shared<OidcExternalUserAgentMac>(), [outcome](auto value, auto error) {
                outcome->value = value;
                outcome->error = error;
                ++outcome->calls;
            });
        QCOMPARE(m_opened.size(), 2);

        // The provider asks the user to confirm with a form; the browser submits it.
        QNetworkReply *form = awaitReply(m_browser.get(QNetworkRequest(m_opened.last())));
        const QString page = QString::fromUtf8(form->readAll());
        form->deleteLater();
        QVERIFY2(page.contains(QStringLiteral("op.logoutForm")), qPrintable(page.left(500)));
        const auto xsrf = QRegularExpression(QStringLiteral("name=\"xsrf\" value=\"([^\"]+)\"")).match(page);
        const auto action = QRegularExpression(QStringLiteral("action=\"([^\"]+)\"")).match(page);
        QVERIFY(xsrf.hasMatch() && action.hasMatch());
        QNetworkRequest confirm(m_opened.last().resolved(QUrl(action.captured(1))));
        confirm.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
        confirm.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply *confirmed =
            awaitReply(m_browser.post(confirm, "xsrf=" + QUrl::toPercentEncoding(xsrf.captured(1)) + "&logout=yes"));
        QUrl redirect = QUrl::fromEncoded(confirmed->rawHeader("Location"));
        confirmed->deleteLater();
        QCOMPARE(redirect.adjusted(QUrl::RemoveQuery), signedOutRedirect);
        QCOMPARE(QUrlQuery(redirect).queryItemValue(QStringLiteral("state")), *request->state());

        if (changeState)
            redirect = withQueryItem(redirect, QStringLiteral("state"), QStringLiteral("changed"));
        QVERIFY(session->resumeExternalUserAgentFlowWithURL(redirect));
        QTRY_COMPARE(outcome->calls, 1);
        if (!changeState) {
            QVERIFY(outcome->value);
            QCOMPARE(outcome->value->state(), request->state());
            return;
        }
        QVERIFY(!outcome->value);
        QCOMPARE(outcome->error->domain, OidcErrorDomain::oauthAuthorization);
        QCOMPARE(outcome->error->code, int(OidcErrorCodeOAuth::clientError));
    }

    void aDeniedSignIn()
    {
        QNetworkReply *deny = awaitReply(m_browser.post(QNetworkRequest(m_peer.url(QStringLiteral("/peer/deny"))), QByteArray()));
        QCOMPARE(deny->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 204);
        deny->deleteLater();
        const auto response = signIn({QStringLiteral("openid")});
        QVERIFY(!response.value);
        QCOMPARE(response.error->domain, OidcErrorDomain::oauthAuthorization);
        QCOMPARE(response.error->code, int(OidcErrorCodeOAuth::accessDenied));
        QCOMPARE(response.error->description(), QStringLiteral("access_denied: End-User denied the request"));
    }

private:
    // A sign-in with the app's redirect, handed back as the app's routing would.
    Outcome<OidcAuthorizationResponse> signIn(const QStringList &scopes)
    {
        const auto request = OidcAuthorizationRequest::create(m_configuration, clientID, scopes, appRedirect,
                                                              QStringLiteral("code"), std::nullopt);
        auto outcome = std::make_shared<Outcome<OidcAuthorizationResponse>>();
        const auto session = OidcAuthorizationService::presentAuthorizationRequest(
            *request, [outcome](auto value, auto error) {
                outcome->value = value;
                outcome->error = error;
                ++outcome->calls;
            });
        const QUrl redirect = m_peer.followToRedirect(m_browser, m_opened.last());
        if (!redirect.isValid() || !session->resumeExternalUserAgentFlowWithURL(redirect))
            qWarning() << "no redirect back:" << m_peer.errorText();
        if (!QTest::qWaitFor([&outcome] { return outcome->calls > 0; }, 30000))
            qWarning() << "no callback";
        return *outcome;
    }

    Outcome<OidcTokenResponse> exchange(const OidcAuthorizationResponse &authorization, const OidcTokenRequest &request)
    {
        auto outcome = std::make_shared<Outcome<OidcTokenResponse>>();
        OidcAuthorizationService::performTokenRequest(request, authorization, [outcome](auto value, auto error) {
            outcome->value = value;
            outcome->error = error;
            ++outcome->calls;
        });
        if (!QTest::qWaitFor([&outcome] { return outcome->calls > 0; }, 30000))
            qWarning() << "no callback";
        return *outcome;
    }

    OidcPeer m_peer;
    QNetworkAccessManager m_session;
    QNetworkAccessManager m_browser;
    OidcServiceConfiguration m_configuration{QUrl(), QUrl()};
    QList<QUrl> m_opened;
    int m_tokenRequests = 0;
};

QTEST_GUILESS_MAIN(tst_OidcEndToEnd)
#include "tst_OidcEndToEnd.moc"
