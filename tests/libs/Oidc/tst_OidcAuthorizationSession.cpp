#include "OidcAuthorizationService.h"
#include "OidcExternalUserAgentMac.h"

#include <QCoreApplication>
#include <QTest>

namespace {
OidcAuthorizationRequest request(const std::optional<QString> &state = QStringLiteral("state-0123456789"))
{
    const OidcServiceConfiguration configuration(QUrl(QStringLiteral("https://auth.example/authorize")),
                                                 QUrl(QStringLiteral("https://auth.example/token")),
                                                 QUrl(QStringLiteral("https://auth.example")));
    return *OidcAuthorizationRequest::create(configuration, QStringLiteral("sorvane"), std::nullopt,
                                             QStringLiteral("openid"), QUrl(QStringLiteral("sorvane://auth/callback")),
                                             QStringLiteral("code"), state, QStringLiteral("nonce"),
                                             QStringLiteral("verifier"), QStringLiteral("challenge"),
                                             QStringLiteral("S256"), std::nullopt);
}

struct Outcome {
    std::optional<OidcAuthorizationResponse> response;
    std::optional<OidcError> error;
    int calls = 0;
};
} // namespace

class tst_OidcAuthorizationSession : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_opened.clear();
        m_raised.clear();
        OidcExternalUserAgentMac::setOpener([this](const QUrl &url) {
            m_opened.append(url);
            return m_openerAnswers;
        });
        OidcExternalUserAgentMac::setWindowRaiser([this](QObject *window) { m_raised.append(window); });
        m_openerAnswers = true;
    }
    void cleanup()
    {
        OidcExternalUserAgentMac::setOpener(nullptr);
        OidcExternalUserAgentMac::setWindowRaiser(nullptr);
    }

    void redirectMatching_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("matches");
        QTest::newRow("same") << "sorvane://auth/callback" << true;
        QTest::newRow("with a query") << "sorvane://auth/callback?code=x&state=y" << true;
        QTest::newRow("scheme in capitals") << "SORVANE://auth/callback" << true;
        QTest::newRow("dot segments") << "sorvane://auth/x/../callback" << true;
        QTest::newRow("other path") << "sorvane://auth/callbacks" << false;
        QTest::newRow("path in capitals") << "sorvane://auth/Callback" << false;
        QTest::newRow("other host") << "sorvane://evil/callback" << false;
        QTest::newRow("a port") << "sorvane://auth:1/callback" << false;
        QTest::newRow("a user") << "sorvane://me@auth/callback" << false;
        QTest::newRow("other scheme") << "https://auth/callback" << false;
    }
    void redirectMatching()
    {
        QFETCH(QString, url);
        QFETCH(bool, matches);
        QCOMPARE(OidcAuthorizationSession::URLMatchesRedirectionURL(QUrl(url), QUrl("sorvane://auth/callback")), matches);
    }

    void redirects_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("domain"); // empty: a response
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");
        QTest::newRow("code") << "code=c0de-0123456789&state=state-0123456789" << "" << 0 << "";
        QTest::newRow("same issuer") << "code=c&state=state-0123456789&iss=https%3A%2F%2Fauth.example%2F" << "" << 0 << "";
        QTest::newRow("denied") << "error=access_denied&error_description=End-User+denied+the+request&state=x"
                                << OidcErrorDomain::oauthAuthorization << -4
                                << "access_denied: End-User denied the request";
        QTest::newRow("unknown error") << "error=odd" << OidcErrorDomain::oauthAuthorization << -61440 << "odd";
        QTest::newRow("state mismatch") << "code=c0de-0123456789&state=other-state-value"
                                        << OidcErrorDomain::oauthAuthorization << -61439
                                        << "State mismatch, expecting state-...[redacted] but got other-...[redacted] "
                                           "in authorization response <OidcAuthorizationResponse: ";
        QTest::newRow("state missing") << "code=c0de-0123456789" << OidcErrorDomain::oauthAuthorization << -61439
                                       << "State mismatch, expecting state-...[redacted] but got (null)";
        QTest::newRow("other issuer") << "code=c0de-0123456789&state=state-0123456789&iss=https%3A%2F%2Fevil.example"
                                      << OidcErrorDomain::general << -15 << "Issuer mismatch";
    }
    void redirects()
    {
        QFETCH(QString, query);
        QFETCH(QString, domain);
        QFETCH(int, code);
        QFETCH(QString, description);

        QObject window;
        Outcome outcome;
        const auto session = OidcAuthorizationService::presentAuthorizationRequest(
            request(), &window, [&outcome](auto response, auto error) {
                outcome.response = response;
                outcome.error = error;
                ++outcome.calls;
            });
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(m_opened.first().adjusted(QUrl::RemoveQuery), QUrl("https://auth.example/authorize"));
        // Not this flow's: ignored, the flow stays open.
        QVERIFY(!session->resumeExternalUserAgentFlowWithURL(QUrl("sorvane://auth/other?" + query)));
        QVERIFY(!session->isFinished());
        QVERIFY(session->resumeExternalUserAgentFlowWithURL(QUrl("sorvane://auth/callback?" + query)));
        QTRY_COMPARE(outcome.calls, 1);
        QCOMPARE(m_raised, QList<QObject *>{&window});
        QCOMPARE(outcome.response.has_value(), domain.isEmpty());
        if (domain.isEmpty()) {
            QVERIFY(outcome.response->authorizationCode());
            return;
        }
        QCOMPARE(outcome.error->domain, domain);
        QCOMPARE(outcome.error->code, code);
        QVERIFY2(outcome.error->description().startsWith(description), qPrintable(outcome.error->description()));
        // Neither the code nor a state reaches any text of the error.
        QVERIFY(!outcome.error->description().contains(QStringLiteral("c0de-0123456789")));
        QVERIFY(!outcome.error->description().contains(QStringLiteral("other-state-value")));
        if (outcome.error->oauthErrorResponse && code == -61439)
            QVERIFY(!outcome.error->oauthErrorResponse->value("code").toString().contains(QStringLiteral("0123456789")));
    }

    void cancelEndsTheFlowOnce()
    {
        Outcome outcome;
        bool completed = false;
        const auto session =
            OidcAuthorizationService::presentAuthorizationRequest(request(), [&outcome](auto response, auto error) {
                outcome.response = response;
                outcome.error = error;
                ++outcome.calls;
            });
        session->cancel([&completed, &outcome] { completed = outcome.calls == 1; });
        session->cancel();
        QTRY_VERIFY(completed);
        QCOMPARE(outcome.calls, 1);
        QCOMPARE(outcome.error->code, -3);
        QCOMPARE(outcome.error->description(), QStringLiteral("Authorization flow was cancelled."));
        // A redirect for a finished flow is the caller's mistake.
        QVERIFY_THROWS_EXCEPTION(OidcException,
                                 session->resumeExternalUserAgentFlowWithURL(QUrl("sorvane://auth/callback?code=c")));
    }

    void aRefusingBrowserFailsOnce()
    {
        m_openerAnswers = false;
        Outcome outcome;
        OidcAuthorizationService::presentAuthorizationRequest(request(), [&outcome](auto response, auto error) {
            outcome.response = response;
            outcome.error = error;
            ++outcome.calls;
        });
        QTRY_COMPARE(outcome.calls, 1);
        QCOMPARE(outcome.error->code, -10);
        QCOMPARE(outcome.error->description(), QStringLiteral("Unable to open the browser."));
        QCoreApplication::processEvents(); // a second callback would be queued right behind the first
        QCOMPARE(outcome.calls, 1);
    }

    void anAgentServesOneFlowAtATime()
    {
        auto agent = std::make_shared<OidcExternalUserAgentMac>();
        OidcAuthorizationSession first(request());
        OidcAuthorizationSession second(request());
        first.presentAuthorization(agent, [](auto, auto) {});
        QVERIFY(agent->isFlowInProgress());
        Outcome outcome;
        second.presentAuthorization(agent, [&outcome](auto, auto error) {
            outcome.error = error;
            ++outcome.calls;
        });
        QTRY_COMPARE(outcome.calls, 1);
        QCOMPARE(outcome.error->code, -9);
        QCOMPARE(m_opened.size(), 1);
    }

    void endSessionFlows_data()
    {
        QTest::addColumn<bool>("generatedState");
        QTest::addColumn<QString>("query");
        QTest::addColumn<int>("code"); // 0: a response
        QTest::newRow("stateless pair") << false << "" << 0;
        QTest::newRow("same state") << true << "state=SAME" << 0;
        QTest::newRow("other state") << true << "state=other-state-value" << -61439;
        QTest::newRow("no state back") << true << "" << -61439;
        QTest::newRow("an error parameter is no error here") << false << "error=odd" << 0;
    }
    void endSessionFlows()
    {
        QFETCH(bool, generatedState);
        QFETCH(QString, query);
        QFETCH(int, code);
        const OidcServiceConfiguration configuration(
            QUrl(QStringLiteral("https://auth.example/authorize")), QUrl(QStringLiteral("https://auth.example/token")),
            std::nullopt, std::nullopt, QUrl(QStringLiteral("https://auth.example/logout")));
        const QUrl back(QStringLiteral("sorvane://auth/logout"));
        const auto logout = generatedState
            ? OidcEndSessionRequest::create(configuration, QStringLiteral("hint"), back, std::nullopt)
            : OidcEndSessionRequest::create(configuration, QStringLiteral("hint"), back, std::nullopt, std::nullopt);
        QVERIFY(logout);
        query.replace(QStringLiteral("SAME"), logout->state().value_or(QString()));
        std::optional<OidcEndSessionResponse> response;
        std::optional<OidcError> error;
        int calls = 0;
        const auto session = OidcAuthorizationService::presentEndSessionRequest(
            *logout, std::make_shared<OidcExternalUserAgentMac>(), [&](auto answer, auto failure) {
                response = answer;
                error = failure;
                ++calls;
            });
        QCOMPARE(m_opened.size(), 1);
        QVERIFY(!session->resumeExternalUserAgentFlowWithURL(QUrl(QStringLiteral("sorvane://auth/callback"))));
        QVERIFY(session->resumeExternalUserAgentFlowWithURL(QUrl(QStringLiteral("sorvane://auth/logout?") + query)));
        QTRY_COMPARE(calls, 1);
        QCOMPARE(response.has_value(), code == 0);
        if (code) {
            QCOMPARE(error->domain, OidcErrorDomain::oauthAuthorization);
            QCOMPARE(error->code, code);
            QVERIFY(!error->description().contains(QStringLiteral("other-state-value")));
        }
        QVERIFY_THROWS_EXCEPTION(OidcException,
                                 session->resumeExternalUserAgentFlowWithURL(QUrl(QStringLiteral("sorvane://auth/logout"))));
    }

private:
    QList<QUrl> m_opened;
    QList<QObject *> m_raised;
    bool m_openerAnswers = true;
};

QTEST_GUILESS_MAIN(tst_OidcAuthorizationSession)
#include "tst_OidcAuthorizationSession.moc"
