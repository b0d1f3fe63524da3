// The web sign-in driver against the real OpenID provider with the app's "sorvane:"
// redirect. The test is the browser: it takes the URL the driver opens, follows the
// provider's redirects with a cookie jar and hands the redirect back as the app would.
#include "OAuthDriver.h"

#include "OidcAuthorizationService.h"
#include "OidcExternalUserAgentMac.h"
#include "OidcTokenUtilities.h"

#include "AwaitTask.h"
#include "BrowserStandIn.h"
#include "OidcPeer.h"

#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QTest>
#include <QUrlQuery>

namespace {
using Hint = OAuthDriver::ProviderHint;
using Result = OAuthDriver::AuthorizationResult;

struct LogEntry {
    TolvernLogLevel level;
    QString event;
    TolvernLogFields fields;
};

const QString generalDomain = QStringLiteral("dev.tolvern.oidc.general");

QUrl withQueryItem(QUrl url, const QString &key, const QString &value)
{
    QUrlQuery query(url);
    query.removeAllQueryItems(key);
    query.addQueryItem(key, value);
    url.setQuery(query);
    return url;
}

// The caller's outcome: the result, or the error it threw.
struct Outcome {
    std::optional<Result> result;
    std::optional<TolvernError> error;
};

Outcome outcomeOf(QCoro::Task<Result> task)
{
    try {
        return {awaitTask(std::move(task)), std::nullopt};
    } catch (const TolvernError &error) {
        return {std::nullopt, error};
    }
}
} // namespace

Q_DECLARE_METATYPE(std::optional<Hint>)

class tst_OAuthDriver : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_peer.start(), qPrintable(m_peer.errorText()));
    }
    void init()
    {
        m_pages.clear();
        m_log.clear();
        m_browser.setCookieJar(new QNetworkCookieJar);
        m_driver = std::make_unique<OAuthDriver>(config(m_peer.issuer()));
    }
    void cleanup()
    {
        m_driver.reset();
        OidcTokenUtilities::setRandomSource(nullptr);
        // Callbacks of flows the driver's end cancelled land now, not in the next test.
        QCoreApplication::processEvents();
    }

    void hintsFromRawValues_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<std::optional<Hint>>("hint");
        QTest::newRow("apple") << "apple" << std::optional(Hint::apple);
        QTest::newRow("google") << "google" << std::optional(Hint::google);
        QTest::newRow("email") << "email" << std::optional(Hint::email);
        QTest::newRow("other case") << "Apple" << std::optional<Hint>();
        QTest::newRow("empty") << "" << std::optional<Hint>();
    }
    void hintsFromRawValues()
    {
        QFETCH(QString, raw);
        QFETCH(std::optional<Hint>, hint);
        QCOMPARE(OAuthDriver::providerHint(raw), hint);
    }

    void signIn_data()
    {
        QTest::addColumn<std::optional<Hint>>("hint");
        QTest::addColumn<bool>("withWindow");
        QTest::addColumn<QString>("provider"); // "-": no such parameter
        QTest::addColumn<QString>("prompt");
        QTest::newRow("no hint") << std::optional<Hint>() << false << "-" << "-";
        QTest::newRow("email") << std::optional(Hint::email) << false << "email" << "-";
        QTest::newRow("google asks to pick an account") << std::optional(Hint::google) << false << "google"
                                                        << "select_account";
        QTest::newRow("apple, with a window") << std::optional(Hint::apple) << true << "apple" << "-";
    }
    void signIn()
    {
        QFETCH(std::optional<Hint>, hint);
        QFETCH(bool, withWindow);
        QFETCH(QString, provider);
        QFETCH(QString, prompt);
        QObject window;
        auto task = withWindow ? m_driver->authorize(&window, hint) : m_driver->authorizeViaSystemBrowser(hint);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);

        const QUrlQuery sent(m_opened.first());
        QCOMPARE(sent.queryItemValue("tolvern_app_slug"), QStringLiteral("sorvane"));
        QCOMPARE(sent.queryItemValue("tolvern_client_version"), QStringLiteral("1.2.3"));
        QCOMPARE(sent.queryItemValue("tolvern_lib_version"), QStringLiteral("0.9.0"));
        const auto valueOf = [&sent](const QString &key) {
            return sent.hasQueryItem(key) ? sent.queryItemValue(key) : QStringLiteral("-");
        };
        QCOMPARE(valueOf("provider"), provider);
        QCOMPARE(valueOf("prompt"), prompt);
        QCOMPARE(sent.queryItemValue("code_challenge_method"), QStringLiteral("S256"));

        const QUrl redirect = m_peer.followToRedirect(m_browser, m_opened.first());
        QVERIFY2(redirect.isValid(), qPrintable(m_peer.errorText()));
        QVERIFY(m_driver->resume(redirect));
        const Outcome outcome = outcomeOf(std::move(task));
        QVERIFY2(outcome.result, outcome.error ? outcome.error->what() : "");
        QCOMPARE(outcome.result->state, sent.queryItemValue("state"));
        QCOMPARE(m_raised, withWindow ? QList<QObject *>{&window} : QList<QObject *>{});
        QVERIFY(m_log.isEmpty());
        // Nothing is in flight once the attempt ended.
        QVERIFY(!m_driver->resume(redirect));
        QVERIFY(!m_driver->cancelInFlight());

        // The code redeems with the verifier of the very request that was opened.
        QVERIFY(outcome.result->codeVerifier);
        QCOMPARE(OidcTokenUtilities::encodeBase64urlNoPadding(OidcTokenUtilities::sha256(*outcome.result->codeVerifier)),
                 sent.queryItemValue("code_challenge"));
        QVERIFY(redeems(*outcome.result));
    }

    void resumeOnlyTakesThisAttemptsRedirect()
    {
        QVERIFY(!m_driver->resume(QUrl("sorvane://auth/callback?code=c&state=s")));
        auto task = m_driver->authorizeViaSystemBrowser(Hint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QVERIFY(!m_driver->resume(QUrl("sorvane://elsewhere/callback?code=c")));
        QVERIFY(!m_driver->resume(QUrl("https://example.com/callback?code=c")));

        // Still open: the real redirect completes it.
        const QUrl redirect = m_peer.followToRedirect(m_browser, m_opened.first());
        QVERIFY(m_driver->resume(redirect));
        QVERIFY(outcomeOf(std::move(task)).result);
    }

    void endsAsCancelled_data()
    {
        QTest::addColumn<bool>("byTimeout");
        QTest::newRow("cancelInFlight") << false;
        QTest::newRow("timeout") << true;
    }
    void endsAsCancelled()
    {
        QFETCH(bool, byTimeout);
        if (byTimeout)
            m_driver->setTimeout(std::chrono::milliseconds(50));
        auto task = m_driver->authorizeViaSystemBrowser(Hint::google);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        if (!byTimeout)
            QVERIFY(m_driver->cancelInFlight());
        const Outcome outcome = outcomeOf(std::move(task));
        QCOMPARE(outcome.error, TolvernError::authorizationCancelled());
        QCOMPARE(m_log.size(), 1);
        QCOMPARE(m_log.first().level, TolvernLogLevel::info);
        QCOMPARE(m_log.first().event, QStringLiteral("oauth_authorize_failed"));
        const TolvernLogFields expected{{"class", "cancelled"},
                                        {"provider", "google"},
                                        {"error_domain", generalDomain},
                                        {"error_code", "-3"}};
        QCOMPARE(m_log.first().fields, expected);
        QVERIFY(!m_driver->cancelInFlight());
    }

    void aSecondAttemptCancelsTheFirst()
    {
        auto first = m_driver->authorizeViaSystemBrowser(std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        auto second = m_driver->authorizeViaSystemBrowser(Hint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 2, 30000);
        QCOMPARE(outcomeOf(std::move(first)).error, TolvernError::authorizationCancelled());

        QCOMPARE(m_log.size(), 1);
        QCOMPARE(m_log.first().fields.value("class"), QStringLiteral("cancelled"));
        QVERIFY(!m_log.first().fields.contains("provider"));

        // The second goes on.
        const QUrl redirect = m_peer.followToRedirect(m_browser, m_opened.last());
        QVERIFY(m_driver->resume(redirect));
        QVERIFY(outcomeOf(std::move(second)).result);
    }

    void aFinishedAttemptsTimerSparesTheNext()
    {
        const std::chrono::milliseconds firstTimeout(1500);
        m_driver->setTimeout(firstTimeout);
        const QDeadlineTimer firstDeadline(firstTimeout);
        auto first = m_driver->authorizeViaSystemBrowser(std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QVERIFY(m_driver->resume(m_peer.followToRedirect(m_browser, m_opened.first())));
        QVERIFY(outcomeOf(std::move(first)).result);

        m_driver->setTimeout(OAuthDriver::defaultTimeout);
        auto second = m_driver->authorizeViaSystemBrowser(std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 2, 30000);
        QVERIFY(QTest::qWaitFor([&firstDeadline] { return firstDeadline.hasExpired(); }, 30000));
        QCoreApplication::processEvents();
        QVERIFY(m_log.isEmpty());
        QVERIFY(m_driver->resume(m_peer.followToRedirect(m_browser, m_opened.last())));
        QVERIFY(outcomeOf(std::move(second)).result);
    }

    void aFailingRandomSourceOpensNothing()
    {
        OidcTokenUtilities::setRandomSource([](unsigned char *, int) { return false; });
        const Outcome outcome = outcomeOf(m_driver->authorizeViaSystemBrowser(Hint::apple));
        QCOMPARE(outcome.error, TolvernError::authorizationFailed("random_unavailable"));
        QVERIFY(m_opened.isEmpty());
        QVERIFY(!m_driver->cancelInFlight());
    }

    void refusedSignIns_data()
    {
        QTest::addColumn<bool>("deny");
        QTest::addColumn<QString>("reasonStart");
        QTest::addColumn<QString>("code");
        QTest::newRow("denied by the user") << true << "access_denied: End-User denied the request" << "-4";
        QTest::newRow("a changed state") << false << "State mismatch, expecting " << "-61439";
    }
    void refusedSignIns()
    {
        QFETCH(bool, deny);
        QFETCH(QString, reasonStart);
        QFETCH(QString, code);
        QStringList messages;
        s_messages = &messages;
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
            s_messages->append(text);
        });
        if (deny)
            denyNext();
        auto task = m_driver->authorizeViaSystemBrowser(Hint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QUrl redirect = m_peer.followToRedirect(m_browser, m_opened.first());
        QVERIFY(redirect.isValid());
        const QString realCode = QUrlQuery(redirect).queryItemValue("code");
        const QString markedState = QStringLiteral("MARKEDSTATE0123456789");
        if (!deny)
            redirect = withQueryItem(redirect, "state", markedState);
        QVERIFY(m_driver->resume(redirect));
        const Outcome outcome = outcomeOf(std::move(task));
        qInstallMessageHandler(previous);
        s_messages = nullptr;

        QVERIFY(outcome.error);
        QCOMPARE(outcome.error->kind(), TolvernError::Case::authorizationFailed);
        QVERIFY2(outcome.error->reason().startsWith(reasonStart), outcome.error->what());
        QCOMPARE(m_log.size(), 1);
        QCOMPARE(m_log.first().level, TolvernLogLevel::warning);
        QCOMPARE(m_log.first().fields.value("class"), QStringLiteral("auth"));
        QCOMPARE(m_log.first().fields.value("provider"), QStringLiteral("email"));
        QCOMPARE(m_log.first().fields.value("error_code"), code);
        // Neither the code nor a state reaches any text: the error, the log, Qt's messages.
        QStringList texts = messages;
        texts << outcome.error->reason() << QString::fromUtf8(outcome.error->what()) << m_log.first().fields.values();
        for (const QString &text : std::as_const(texts)) {
            QVERIFY2(realCode.isEmpty() || !text.contains(realCode), qPrintable(text));
            QVERIFY2(!text.contains(markedState), qPrintable(text));
        }
    }

    void aDriverGoneEndsItsCallerAsCancelled_data()
    {
        QTest::addColumn<bool>("duringDiscovery");
        QTest::newRow("during discovery") << true;
        QTest::newRow("in the browser") << false;
    }
    void aDriverGoneEndsItsCallerAsCancelled()
    {
        QFETCH(bool, duringDiscovery);
        auto task = m_driver->authorizeViaSystemBrowser(std::nullopt);
        if (!duringDiscovery)
            QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        m_driver.reset();
        QCOMPARE(outcomeOf(std::move(task)).error, TolvernError::authorizationCancelled());
        QCOMPARE(m_opened.size(), duringDiscovery ? 0 : 1);
    }

    void aFailedDiscovery()
    {
        // Nothing listens on port 1.
        m_driver = std::make_unique<OAuthDriver>(config(QUrl("http://127.0.0.1:1")));
        const Outcome outcome = outcomeOf(m_driver->authorizeViaSystemBrowser(Hint::google));
        QVERIFY(outcome.error);
        QCOMPARE(outcome.error->kind(), TolvernError::Case::authorizationFailed);
        QVERIFY(m_opened.isEmpty());
        QCOMPARE(m_log.size(), 1);
        QCOMPARE(m_log.first().level, TolvernLogLevel::warning);
        QCOMPARE(m_log.first().event, QStringLiteral("oauth_discovery_failed"));
        QCOMPARE(m_log.first().fields.value("class"), QStringLiteral("transport"));
        QVERIFY(!m_log.first().fields.contains("provider"));
        QVERIFY(m_log.first().fields.contains("error_domain") && m_log.first().fields.contains("error_code"));
    }

private:
    TolvernConfig config(const QUrl &authority)
    {
        return TolvernConfig(authority, QUrl("http://127.0.0.1:1/identity"), "sorvane", "sorvane-test", "1.2.3", "0.9.0",
                             QUrl("sorvane://auth/callback"), AuthScheme::systemBrowser, std::nullopt,
                             {"openid", "tolvern.account"}, nullptr,
                             [this](TolvernLogLevel level, const QString &event, const TolvernLogFields &fields) {
                                 m_log.append({level, event, fields});
                             },
                             std::nullopt);
    }

    void denyNext()
    {
        QNetworkReply *reply = m_browser.post(QNetworkRequest(m_peer.url("/peer/deny")), QByteArray());
        QVERIFY(QTest::qWaitFor([reply] { return reply->isFinished(); }, 30000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 204);
        reply->deleteLater();
    }

    bool redeems(const Result &result)
    {
        const OidcServiceConfiguration configuration(m_peer.url("/auth"), m_peer.url("/token"), m_peer.issuer());
        const OidcTokenRequest exchange(configuration, QStringLiteral("authorization_code"), result.authorizationCode,
                                        QUrl("sorvane://auth/callback"), "sorvane-test", std::nullopt,
                                        std::optional<QString>(), std::nullopt, result.codeVerifier);
        auto tokens = std::make_shared<std::optional<OidcTokenResponse>>();
        auto done = std::make_shared<bool>(false);
        OidcAuthorizationService::performTokenRequest(exchange, [tokens, done](auto response, auto) {
            *tokens = response;
            *done = true;
        });
        return QTest::qWaitFor([done] { return *done; }, 30000) && *tokens && (*tokens)->accessToken();
    }

    static inline QStringList *s_messages = nullptr;
    OidcPeer m_peer;
    QNetworkAccessManager m_browser;
    std::unique_ptr<OAuthDriver> m_driver;
    BrowserStandIn m_pages;
    QList<QUrl> &m_opened = m_pages.opened;
    QList<QObject *> &m_raised = m_pages.raised;
    QList<LogEntry> m_log;
};

QTEST_GUILESS_MAIN(tst_OAuthDriver)
#include "tst_OAuthDriver.moc"
