// A sign-in from the application's side, whole: the sign-in state hands the library
// to the browser (this test, following the real OpenID provider's redirects with a
// cookie jar), the browser's return reaches the app as a "sorvane:" argument, the
// identity stand-in opens the session, and the app records, adopts and announces it.
#include "AccountTestBridge.h"
#include "AwaitTask.h"
#include "ServicePeer.h"
#include "TestEnvironment.h"

#include "account/AccountSessionManager.h"
#include "account/SignInStateService.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticLogBuffer.h"
#include "documents/DocumentManager.h"
#include "platform/SingleInstance.h"
#include "shell/AppDelegate.h"
#include "shell/ShellAccountIntegration.h"

#include <QApplication>
#include <QDesktopServices>
#include <QNetworkCookieJar>
#include <QProcess>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>
#include <QWidget>

#include <unistd.h>

using namespace AccountTest;

// Stands in for the desktop's browser: takes the URLs the app opens.
class Browser : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};

class tst_AccountSignIn : public QObject
{
    Q_OBJECT

    ServicePeer &m_analytics;
    OidcPeer m_provider;
    IdentityPeer m_identity;
    QNetworkAccessManager m_network;
    QNetworkAccessManager m_browserNetwork;
    Browser m_browser;
    std::unique_ptr<ShellAccountIntegration> m_integration;
    std::unique_ptr<AppDelegate> m_delegate;
    std::unique_ptr<QWidget> m_window;
    TrackedEvents m_tracked;

    // The "$identify" captures the analytics service received.
    QStringList identified() const
    {
        QStringList ids;
        for (const QJsonObject &request : m_analytics.requests(QStringLiteral("/batch"))) {
            const QJsonObject item = request.value(QStringLiteral("json"))
                                         .toObject()
                                         .value(QStringLiteral("batch"))
                                         .toArray()
                                         .first()
                                         .toObject();
            if (item.value(QStringLiteral("event")).toString() == QLatin1String("$identify"))
                ids << item.value(QStringLiteral("distinct_id")).toString();
        }
        return ids;
    }

public:
    explicit tst_AccountSignIn(ServicePeer &analytics)
        : m_analytics(analytics)
    {
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_provider.start(), qPrintable(m_provider.errorText()));
        qputenv("SORVANE_ANALYTICS_URL", m_analytics.url().toEncoded());
        Analytics::resetForTesting();
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_browser, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_browser, "open");
        m_browserNetwork.setCookieJar(new QNetworkCookieJar);

        // The application's start-up: bridge (the production store and device key, over
        // the test's services), session holder, sign-in state.
        m_integration = std::make_unique<ShellAccountIntegration>([this] {
            return std::make_unique<TolvernAccountBridge>(
                config(&m_network, m_identity.baseUrl(), m_provider.issuer()), TolvernAccountManager::Dependencies());
        });
        LaunchSeams seams;
        seams.accountIntegration = m_integration.get();
        m_delegate = std::make_unique<AppDelegate>(seams);
        m_integration->createBridge();
        m_integration->attachSession();
        m_integration->makeSignInState();
        m_window = std::make_unique<QWidget>();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        m_window.reset();
        m_delegate.reset();
        m_integration.reset();
    }

    void init()
    {
        m_browser.opened.clear();
        m_tracked.events.clear();
    }

    void cancelledSignIn()
    {
        SignInStateService &state = *m_integration->signInState();
        auto task = state.beginSignIn(OAuthDriver::ProviderHint::google);
        QTRY_COMPARE_WITH_TIMEOUT(m_browser.opened.size(), 1, 30000);
        QVERIFY(state.isAuthenticating());
        QVERIFY(m_integration->bridge()->manager().cancelSignIn());
        const SignInResult result = awaitTask(std::move(task));
        QCOMPARE(result, SignInResult::cancelled());
        QVERIFY(!state.isAuthenticating());
        QCOMPARE(m_tracked.names(), (QStringList{"auth_started", "auth_failed"}));
        QCOMPARE(m_tracked.events.last().second, (QVariantMap{{"reason", "cancelled"}, {"auth_transport", "aswas"}}));
        const DiagnosticLogEntry last = DiagnosticLogBuffer::shared().entries().last();
        QCOMPARE(last.level, QStringLiteral("info"));
        QCOMPARE(last.category, QStringLiteral("auth"));
        QCOMPARE(last.msg, QStringLiteral("Sign-in cancelled by user step=onboarding_s6"));
        QCOMPARE(last.exceptionMessage, std::nullopt);
        QVERIFY(!AccountSessionManager::shared().isAuthenticated());
    }

    // At launch the restored account is identified once the restore's state is mapped.
    void launchRestoreIdentifiesTheAccount()
    {
        KeychainStorage keyring(QStringLiteral("sorvane"));
        StoredSession session = stored(m_identity.openSession(), QDateTime::currentDateTimeUtc().addDays(30));
        session.refreshToken.reset();
        store(keyring, session);
        QVERIFY(!identified().contains(accountID));
        TolvernAccountBridge bridge(config(&m_network, m_identity.baseUrl(), m_provider.issuer()),
                                    TolvernAccountManager::Dependencies());
        AccountSessionManager holder;
        holder.attach(bridge);
        QTRY_VERIFY_WITH_TIMEOUT(identified().contains(accountID), 20000);
        QCOMPARE(holder.tolvernAccountID(), accountID);
        // Leaves the keyring signed out for the sign-in below.
        awaitTask(bridge.manager().signOut());
        QTRY_VERIFY(!holder.isAuthenticated());
    }

    void signInThroughTheBrowser_data()
    {
        QTest::addColumn<bool>("bySecondProcess");
        QTest::newRow("argument of the running app") << false;
        // The desktop starts "sorvane <url>", which hands the URL to the running app.
        QTest::newRow("second sorvane process") << true;
    }

    void signInThroughTheBrowser()
    {
        QFETCH(bool, bySecondProcess);
        if (m_integration->bridge()->manager().state().kind() == TolvernAccountManager::State::Kind::signedIn)
            awaitTask(m_integration->bridge()->manager().signOut());
        QTRY_VERIFY(!AccountSessionManager::shared().isAuthenticated());
        m_tracked.events.clear();
        AccountSessionManager &holder = AccountSessionManager::shared();
        SignInStateService &state = *m_integration->signInState();
        QSignalSpy announced(&holder, &AccountSessionManager::sessionDidChange);
        KeychainStorage keyring(QStringLiteral("sorvane"));
        QCOMPARE(keyring.getData(QLatin1String(KeychainStorage::Keys::session)), std::nullopt);

        auto task = state.beginSignIn(OAuthDriver::ProviderHint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_browser.opened.size(), 1, 30000);
        const QUrlQuery sent(m_browser.opened.first());
        QCOMPARE(sent.queryItemValue(QStringLiteral("redirect_uri")), QStringLiteral("sorvane://auth/callback"));
        QCOMPARE(sent.queryItemValue(QStringLiteral("provider")), QStringLiteral("email"));

        const QUrl redirect = m_provider.followToRedirect(m_browserNetwork, m_browser.opened.first());
        QVERIFY2(redirect.scheme() == QLatin1String("sorvane"), qPrintable(m_provider.errorText()));
        if (bySecondProcess) {
            QTemporaryDir runtime;
            QVERIFY(runtime.isValid());
            SingleInstance running(runtime.filePath(QStringLiteral("sorvane-%1.socket").arg(::getuid())));
            QCOMPARE(running.listen(), SingleInstance::Listen::listening);
            connect(&running, &SingleInstance::argumentsReceived, m_delegate.get(), &AppDelegate::openArguments);
            QProcess second;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            second.setProcessEnvironment(environment);
            second.start(QStringLiteral(SORVANE_BINARY), {redirect.toString(QUrl::FullyEncoded)});
            QVERIFY2(second.waitForStarted(60000), qPrintable(second.errorString()));
            // The event loop must run meanwhile: this process is the one that answers.
            QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 60000);
            QCOMPARE(second.exitStatus(), QProcess::NormalExit);
            QCOMPARE(second.exitCode(), 0);
            QTRY_VERIFY_WITH_TIMEOUT(task.isReady(), 30000);
        } else {
            // The desktop hands the return to the running app as an argument.
            m_delegate->openArguments({redirect.toString(QUrl::FullyEncoded)});
        }

        const SignInResult result = awaitTask(std::move(task));
        QCOMPARE(result, SignInResult::success());
        QVERIFY(!state.isAuthenticating());
        QVERIFY(state.isAuthenticated());

        // Stored by the library, adopted and announced once by the app.
        const std::optional<StoredSession> session = storedSession(keyring);
        QVERIFY(session);
        QVERIFY(m_identity.isLive(session->tvs));
        QTRY_VERIFY(holder.isAuthenticated());
        QCOMPARE(announced.count(), 1);
        QCOMPARE(holder.session()->sessionToken, session->tvs);
        const QString id = session->account.tolvernAccountId.raw;
        QCOMPARE(holder.tolvernAccountID(), id);
        QCOMPARE(state.tolvernAccountID(), id);
        // No document was opened for the callback.
        QVERIFY(m_delegate->documentManager().documents().isEmpty());

        QCOMPARE(m_tracked.names(), (QStringList{"auth_started", "auth_completed"}));
        QCOMPARE(m_tracked.events.first().second, (QVariantMap{{"purpose", "sign_in"}, {"auth_transport", "aswas"}}));
        QCOMPARE(m_tracked.events.last().second, (QVariantMap{{"auth_transport", "aswas"}}));
        // Identified as the new account, not as whoever was there before.
        QTRY_VERIFY_WITH_TIMEOUT(identified().contains(id), 20000);
    }
};

int main(int argc, char **argv)
{
    TestEnvironment environment;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ServicePeer analytics;
    if (!analytics.start())
        qFatal("service peer: %s", qPrintable(analytics.errorString()));
    tst_AccountSignIn test(analytics);
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_AccountSignIn.moc"
