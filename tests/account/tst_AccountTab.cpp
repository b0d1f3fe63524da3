// The settings' Account tab over the real account objects: the account library's
// manager against the OpenID provider and the identity stand-in, the session in a
// throwaway keyring. The test is the browser: it takes the URL the sign-in opens,
// follows the provider's redirects and hands the callback to the manager, as the
// application's URL routing does.
#include "IdentityPeer.h"
#include "OidcPeer.h"
#include "TestEnvironment.h"

#include "account/AccountHubView.h"
#include "account/AccountSessionManager.h"
#include "account/AccountTab.h"
#include "account/SignInStateService.h"
#include "account/SorvaneAccountPortfolioCard.h"
#include "account/TolvernAccountBridge.h"
#include "diagnostics/Analytics.h"
#include "documents/DocumentManager.h"
#include "settings/SettingsServices.h"
#include "settings/SettingsView.h"
#include "shell/SorvaneApp.h"
#include "window/WindowStyle.h"

#include "KeychainStorage.h"
#include "OidcExternalUserAgentMac.h"
#include "TolvernProviderButton.h"
#include "TolvernProviderButtons.h"
#include "TolvernPlainButton.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDesktopServices>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QPushButton>
#include <QTabWidget>
#include <QTextDocumentFragment>
#include <QtTest>

#include <memory>

namespace {

const QString accountEmail = QStringLiteral("tester@example.com");

// The settings window's services as the shell gives them: the tab over the account
// objects, and the account id of the session holder.
class AccountServices : public SettingsServices
{
    Q_OBJECT
public:
    AccountServices(SignInStateService &signInState, TolvernAccountBridge &bridge, AccountSessionManager &session,
                    std::function<void()> presentSignIn)
        : m_signInState(signInState), m_bridge(bridge), m_session(session), m_presentSignIn(std::move(presentSignIn))
    {
        connect(&m_session, &AccountSessionManager::tolvernAccountIDChanged, this,
                [this] { Q_EMIT accountIDChanged(m_session.tolvernAccountID()); });
    }
    QString accountID() const override { return m_session.tolvernAccountID(); }
    QWidget *createAccountTab(QWidget *parent) override
    {
        return new AccountTab(m_signInState, &m_bridge, m_session, m_presentSignIn, parent);
    }

private:
    SignInStateService &m_signInState;
    TolvernAccountBridge &m_bridge;
    AccountSessionManager &m_session;
    std::function<void()> m_presentSignIn;
};

// A message box's text as it reads on screen.
QString shownText(const QString &html)
{
    return QTextDocumentFragment::fromHtml(html).toPlainText();
}

// A button's text without its shortcut marks, as it reads on screen.
QString shownButtonText(const QAbstractButton *button)
{
    const QString text = button->text();
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        shown.append(text[i]);
    }
    return shown;
}

// What the tab shows of the account, read off its widgets as the user sees them.
struct Shown {
    bool signedIn = false;
    QString accountRow;
    QString signedInAs; // "-": no such line
    QString hubEmail;   // "-": none
    bool buttonsReady = false;

    static Shown of(AccountTab *tab)
    {
        Shown shown;
        const auto visible = [tab](QWidget *widget) { return widget->isVisibleTo(tab); };
        shown.signedIn = visible(tab->signOutButton()) && visible(tab->card()) && visible(tab->hubView())
                         && !visible(tab->providerButtons());
        for (QPushButton *button : tab->accountPageButtons())
            shown.signedIn = shown.signedIn && visible(button);
        shown.accountRow = visible(tab->accountValueLabel()) ? tab->accountValueLabel()->text() : QStringLiteral("-");
        QLabel *signedInLabel = tab->card()->signedInLabel();
        shown.signedInAs = visible(tab->card()) && signedInLabel->isVisibleTo(tab) ? signedInLabel->text()
                                                                                     : QStringLiteral("-");
        QLabel *hubEmail = tab->hubView()->emailLabel();
        shown.hubEmail = hubEmail->isVisibleTo(tab) ? hubEmail->text() : QStringLiteral("-");
        TolvernProviderButtons *buttons = tab->providerButtons();
        shown.buttonsReady = visible(buttons) && !buttons->isBusy()
                             && buttons->button(TolvernProviderHint::email)->isEnabled()
                             && !buttons->cancelButton()->isVisibleTo(tab);
        return shown;
    }
};

} // namespace

class tst_AccountTab : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    // The account page reaches "the browser" here.
    void openUrl(const QUrl &url) { m_pages.append(url); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_oidc.start(), qPrintable(m_oidc.errorText()));
        OidcExternalUserAgentMac::setOpener([this](const QUrl &url) {
            m_opened.append(url);
            return true;
        });
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
        Analytics::setObserver([this](const QString &name, const QVariantMap &) { m_events.append(name); });
    }
    void cleanupTestCase()
    {
        OidcExternalUserAgentMac::setOpener(nullptr);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        Analytics::setObserver(nullptr);
    }
    void init()
    {
        m_opened.clear();
        m_pages.clear();
        m_events.clear();
        m_signInWindows = 0;
        m_browser.setCookieJar(new QNetworkCookieJar);
        m_identity = std::make_unique<IdentityPeer>();
        m_identity->redeemCodesAt(m_oidc.url(QStringLiteral("/token")), OidcPeer::clientId());
        const TolvernConfig config(m_oidc.issuer(), m_identity->baseUrl(), QStringLiteral("sorvane"),
                                   OidcPeer::clientId(), QStringLiteral("1.1.18"), QStringLiteral("0.9.2"),
                                   QUrl(QStringLiteral("sorvane://auth/callback")), AuthScheme::systemBrowser,
                                   std::nullopt, {QStringLiteral("openid"), QStringLiteral("tolvern.account")},
                                   &m_network, nullptr, QStringLiteral("install-accttab"));
        m_bridge = std::make_unique<TolvernAccountBridge>(config, TolvernAccountManager::Dependencies{});
        m_session = std::make_unique<AccountSessionManager>();
        m_session->attach(*m_bridge);
        m_signIn = SignInStateService::make(*m_bridge);
        m_services = std::make_unique<AccountServices>(*m_signIn, *m_bridge, *m_session, [this] { ++m_signInWindows; });
    }
    void cleanup()
    {
        m_view.reset();
        m_services.reset();
        m_signIn.reset();
        m_session.reset();
        m_bridge.reset();
        m_identity.reset();
        KeychainStorage storage(QStringLiteral("sorvane"));
        storage.deleteData(QString::fromLatin1(KeychainStorage::Keys::session));
        // Work the objects left queued lands now, not in the next test.
        QCoreApplication::processEvents();
    }

    void settingsWindowShowsTheTabOnlyWhenBuilt()
    {
        SettingsServices none;
        DocumentManager documents;
        SettingsView without(none, documents);
        QVERIFY(!without.tabs()->isTabVisible(SettingsView::Account));

        AccountTab *tab = openTab();
        QVERIFY(m_view->tabs()->isTabVisible(SettingsView::Account));
        QCOMPARE(m_view->tabs()->tabText(SettingsView::Account), QStringLiteral("Account"));
        QVERIFY(tab->isVisible());
    }

    // The application's settings window builds the tab over the shared account
    // objects, once the sign-in state exists.
    void theApplicationsSettingsWindowHasTheTab()
    {
        const auto unshare = qScopeGuard([] {
            SignInStateService::setShared(nullptr);
            TolvernAccountBridge::setSharedBridge(nullptr);
        });
        {
            SorvaneApp app;
            app.showSettingsWindow();
            QVERIFY(!app.settingsWindow()->tabs()->isTabVisible(SettingsView::Account));
        }
        TolvernAccountBridge::setSharedBridge(m_bridge.get());
        SignInStateService::setShared(m_signIn.get());
        SorvaneApp app;
        app.showSettingsWindow();
        SettingsView *window = app.settingsWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(window->tabs()->isTabVisible(SettingsView::Account));
        window->tabs()->setCurrentIndex(SettingsView::Account);
        auto *tab = window->findChild<AccountTab *>();
        QVERIFY(tab);
        // Its buttons start the shared sign-in state's sign-in, and its cancel
        // reaches the shared bridge's manager.
        clickProvider(tab, TolvernProviderHint::google);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QVERIFY(m_signIn->isAuthenticating());
        tab->providerButtons()->cancelButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_signIn->isAuthenticating(), 30000);
        QVERIFY(Shown::of(tab).buttonsReady);
    }

    void signedOutShowsOnlyTheProviderButtons()
    {
        AccountTab *tab = openTab();
        const Shown shown = Shown::of(tab);
        QVERIFY(!shown.signedIn);
        QVERIFY(!tab->signOutButton()->isVisibleTo(tab));
        QVERIFY(!tab->card()->isVisibleTo(tab));
        for (QPushButton *button : tab->accountPageButtons())
            QVERIFY(!button->isVisibleTo(tab));
        QCOMPARE(shown.accountRow, QStringLiteral("-"));
        QVERIFY(shown.buttonsReady);
        QVERIFY(tab->resetButton()->isEnabled());
    }

    void signInFromTheTab_data()
    {
        QTest::addColumn<QString>("email"); // what the identity service answers
        QTest::addColumn<QString>("accountRow");
        QTest::addColumn<QString>("signedInAs");
        QTest::addColumn<QString>("hubEmail");
        QTest::newRow("with an e-mail") << accountEmail << accountEmail << "Signed in as " + accountEmail
                                        << accountEmail;
        // The identifier shortened to its first 9 and last 4 characters.
        QTest::newRow("without an e-mail") << "" << "ta_0190a1...1a2b" << "-" << "-";
    }
    void signInFromTheTab()
    {
        QFETCH(QString, email);
        QFETCH(QString, accountRow);
        QFETCH(QString, signedInAs);
        QFETCH(QString, hubEmail);
        if (email != accountEmail)
            m_identity->enqueue(IdentityPeer::kExchange, IdentityPeer::jsonReply(200, exchangeReply(email)));

        AccountTab *tab = openTab();
        clickProvider(tab, TolvernProviderHint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QVERIFY(tab->providerButtons()->isBusy());
        QVERIFY(tab->providerButtons()->cancelButton()->isVisibleTo(tab));
        QCOMPARE(QUrlQuery(m_opened.first()).queryItemValue(QStringLiteral("provider")), QStringLiteral("email"));

        QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));
        QTRY_VERIFY_WITH_TIMEOUT(Shown::of(tab).signedIn, 30000);
        const Shown shown = Shown::of(tab);
        QCOMPARE(shown.accountRow, accountRow);
        QCOMPARE(shown.signedInAs, signedInAs);
        QCOMPARE(shown.hubEmail, hubEmail);
        QCOMPARE(tab->hubView()->titleLabel()->text(), QStringLiteral("YOUR TOLVERN ACCOUNT"));
        QVERIFY(!tab->alert());
        QCOMPARE(m_identity->count(IdentityPeer::kExchange), 1);
        // The session holder follows the account the service opened.
        QTRY_VERIFY(m_session->isAuthenticated());
        QCOMPARE(m_session->tolvernAccountID(), m_signIn->tolvernAccountID());
        QVERIFY(m_session->tolvernAccountID().startsWith(QLatin1String("ta_")));
        QVERIFY(m_view->isVisible());
    }

    void aFailedSignInIsOneAlert_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("alert"); // empty: none
        QTest::newRow("the exchange answers 500") << "exchange 500" << "Server error (500 \u2014 exchange_unavailable).";
        // A code from the service is shown as text, not as markup.
        QTest::newRow("the exchange answers 500 with markup")
            << "exchange 500 markup" << "Server error (500 \u2014 <i>down</i>).";
        QTest::newRow("the user denies at the provider")
            << "deny" << "Sign-in failed: access_denied: End-User denied the request";
        QTest::newRow("the user cancels") << "cancel" << "";
    }
    void aFailedSignInIsOneAlert()
    {
        QFETCH(QString, failure);
        QFETCH(QString, alert);
        if (failure == QLatin1String("exchange 500"))
            m_identity->enqueue(IdentityPeer::kExchange,
                                IdentityPeer::jsonReply(500, "{\"error\":\"exchange_unavailable\"}"));
        if (failure == QLatin1String("exchange 500 markup"))
            m_identity->enqueue(IdentityPeer::kExchange, IdentityPeer::jsonReply(500, "{\"error\":\"<i>down</i>\"}"));
        if (failure == QLatin1String("deny"))
            denyNext();

        AccountTab *tab = openTab();
        clickProvider(tab, TolvernProviderHint::google);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        if (failure == QLatin1String("cancel"))
            tab->providerButtons()->cancelButton()->click();
        else
            QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));

        QTRY_VERIFY_WITH_TIMEOUT(!tab->providerButtons()->isBusy(), 30000);
        if (alert.isEmpty()) {
            // Anything late would land now.
            QCoreApplication::processEvents();
            QVERIFY(!tab->alert());
        } else {
            QTRY_VERIFY(tab->alert());
            QCOMPARE(tab->findChildren<QMessageBox *>().size(), 1);
            QCOMPARE(tab->alert()->windowTitle(), QStringLiteral("Sign-in failed"));
            QVERIFY(tab->alert()->text().contains(QStringLiteral("Sign-in failed")));
            QCOMPARE(shownText(tab->alert()->informativeText()), alert);
            const QList<QAbstractButton *> buttons = tab->alert()->buttons();
            QCOMPARE(buttons.size(), 1);
            QCOMPARE(buttons.first()->text(), QStringLiteral("OK"));
            buttons.first()->click();
            QTRY_VERIFY(!tab->alert());
        }
        QVERIFY(Shown::of(tab).buttonsReady);
        QVERIFY(!Shown::of(tab).signedIn);
        QVERIFY(!m_signIn->isAuthenticated());
    }

    // Run by its own CTest entry: it locks the keyring for the rest of the process.
    void aRefusedKeyringIsOneAlert()
    {
        if (qEnvironmentVariableIsEmpty("ACCOUNT_TAB_LOCK_KEYRING"))
            QSKIP("locks the keyring: run by the tst_AccountTab_lockedKeyring entry");
        QDBusMessage lock = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
            QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("Lock"));
        lock << QVariant::fromValue(
            QList<QDBusObjectPath>{QDBusObjectPath(QStringLiteral("/org/freedesktop/secrets/collection/login"))});
        const QDBusMessage locked = QDBusConnection::sessionBus().call(lock);
        QVERIFY2(locked.type() == QDBusMessage::ReplyMessage, qPrintable(locked.errorMessage()));

        AccountTab *tab = openTab();
        clickProvider(tab, TolvernProviderHint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));
        QTRY_VERIFY_WITH_TIMEOUT(tab->alert(), 30000);
        QCOMPARE(tab->findChildren<QMessageBox *>().size(), 1);
        QCOMPARE(tab->alert()->windowTitle(), QStringLiteral("Sign-in failed"));
        QCOMPARE(shownText(tab->alert()->informativeText()), QStringLiteral("Couldn't read your stored sign-in (-25308)."));
        QVERIFY(!Shown::of(tab).signedIn);
        QVERIFY(!tab->providerButtons()->isBusy());
    }

    void openingTheTabCancelsAPendingSignIn()
    {
        // A sign-in started elsewhere (the sign-in window) and left in the browser.
        std::optional<SignInResult> result;
        QWidget other;
        other.show();
        runSignIn(result);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QVERIFY(m_signIn->isAuthenticating());

        AccountTab *tab = openTab();
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 30000);
        QCOMPARE(result->kind, SignInResult::Kind::cancelled);
        QTRY_VERIFY(Shown::of(tab).buttonsReady);
        QVERIFY(!tab->alert());
        // The provider's late answer finds nothing waiting for it.
        QVERIFY(!m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));

        // And the buttons start the next one.
        clickProvider(tab, TolvernProviderHint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 2, 30000);
        QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.last())));
        QTRY_VERIFY_WITH_TIMEOUT(Shown::of(tab).signedIn, 30000);
    }

    void signOutClosesTheSettingsWindow()
    {
        AccountTab *tab = openTab();
        signInThroughTab(tab);
        QVERIFY(storedSession());

        tab->signOutButton()->click();
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->isVisible(), 30000);
        QTRY_VERIFY(!Shown::of(tab).signedIn);
        QVERIFY(tab->providerButtons()->isVisibleTo(tab));
        QVERIFY(!storedSession());
        QVERIFY(!m_session->isAuthenticated());
        QCOMPARE(m_session->tolvernAccountID(), QString());
        QCOMPARE(m_signInWindows, 0);
    }

    void reset_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("networkUp");
        QTest::newRow("signed in") << true << true;
        QTest::newRow("signed in, no network") << true << false;
        QTest::newRow("signed out") << false << true;
    }
    void reset()
    {
        QFETCH(bool, signedIn);
        QFETCH(bool, networkUp);
        AccountTab *tab = openTab();
        if (signedIn)
            signInThroughTab(tab);
        if (!networkUp)
            m_identity->http().refuse();
        m_events.clear();

        QMessageBox *confirm = openResetConfirmation(tab);
        QCOMPARE(confirm->windowTitle(), QStringLiteral("Reset & clear local data?"));
        QCOMPARE(shownText(confirm->informativeText()),
                 QStringLiteral("This signs you out and clears local data. You'll need to sign in again. Continue?"));
        auto *confirmButton = confirm->findChild<QPushButton *>(QStringLiteral("confirmReset"));
        QCOMPARE(shownButtonText(confirmButton), QStringLiteral("Reset & clear local data"));
        // Confirmed twice in quick succession: one reset.
        confirmButton->click();
        confirmButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_signInWindows > 0 && !tab->isResetting(), 30000);
        QCoreApplication::processEvents();
        QCOMPARE(m_signInWindows, 1);
        QCOMPARE(m_events.count(QStringLiteral("local_data_reset")), 1);
        QVERIFY(!storedSession());
        QVERIFY(tab->resetButton()->isEnabled());
        QTRY_VERIFY(!Shown::of(tab).signedIn);
        QVERIFY(!m_session->isAuthenticated());
        if (signedIn)
            QCOMPARE(m_identity->count(IdentityPeer::kRevoke), networkUp ? 1 : 0);
    }

    void resetShowsProgressWhileItRuns()
    {
        AccountTab *tab = openTab();
        signInThroughTab(tab);
        QSignalSpy resetting(tab, &AccountTab::isResettingChanged);
        openResetConfirmation(tab)->findChild<QPushButton *>(QStringLiteral("confirmReset"))->click();
        // The sign-out request is still on its way to the service.
        QVERIFY(tab->isResetting());
        QVERIFY(!tab->resetButton()->isEnabled());
        // A press now opens no second confirmation.
        tab->resetButton()->click();
        QVERIFY(!tab->resetConfirmation() || !tab->resetConfirmation()->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!tab->isResetting(), 30000);
        QCOMPARE(resetting.size(), 2);
        QCOMPARE(m_signInWindows, 1);
    }

    void cancellingTheResetChangesNothing()
    {
        AccountTab *tab = openTab();
        signInThroughTab(tab);
        m_events.clear();
        QMessageBox *confirm = openResetConfirmation(tab);
        QAbstractButton *cancel = nullptr;
        for (QAbstractButton *button : confirm->buttons()) {
            if (button->text() == QLatin1String("Cancel"))
                cancel = button;
        }
        QVERIFY(cancel);
        QCOMPARE(confirm->buttonRole(cancel), QMessageBox::RejectRole);
        cancel->click();
        QTRY_VERIFY(!tab->resetConfirmation());
        QCoreApplication::processEvents();
        QVERIFY(!tab->isResetting());
        QCOMPARE(m_signInWindows, 0);
        QVERIFY(!m_events.contains(QStringLiteral("local_data_reset")));
        QVERIFY(storedSession());
        QVERIFY(Shown::of(tab).signedIn);
        QVERIFY(m_view->isVisible());
        QCOMPARE(m_identity->count(IdentityPeer::kRevoke), 0);
    }

    void accountPageRowsOpenTheSamePage_data()
    {
        QTest::addColumn<QString>("base"); // SORVANE_WEB_URL; empty: the built-in site
        QTest::addColumn<QString>("page"); // empty: nothing opens
        QTest::addColumn<QString>("linkText");
        QTest::newRow("the web site") << "" << "https://tolvern.dev/account" << "Manage at tolvern.dev/account";
        QTest::newRow("a local site") << "http://127.0.0.1:8080/" << "http://127.0.0.1:8080/account"
                                      << "Manage at 127.0.0.1/account";
        QTest::newRow("no address") << "not a web address" << "" << "Manage at ";
        QTest::newRow("another scheme") << "javascript:alert(1)" << "" << "Manage at ";
    }
    void accountPageRowsOpenTheSamePage()
    {
        QFETCH(QString, base);
        QFETCH(QString, page);
        QFETCH(QString, linkText);
        qputenv("SORVANE_WEB_URL", base.toUtf8());
        const auto restore = qScopeGuard([] { qunsetenv("SORVANE_WEB_URL"); });
        QCOMPARE(AccountTab::accountPageURL(), QUrl(page));

        AccountTab *tab = openTab();
        signInThroughTab(tab);
        QList<QPushButton *> links = tab->accountPageButtons();
        QCOMPARE(links.size(), 3);
        QStringList titles;
        for (QPushButton *button : links)
            titles.append(button->accessibleName());
        QCOMPARE(titles, (QStringList{"Manage devices", "Export my data", "Delete account"}));
        links.append(tab->card()->manageButton());
        QCOMPARE(tab->card()->manageButton()->findChild<QLabel *>()->text(), linkText);
        for (QPushButton *button : links)
            button->click();
        const QList<QUrl> expected = page.isEmpty() ? QList<QUrl>() : QList<QUrl>(4, QUrl(page));
        QCOMPARE(m_pages, expected);
    }

    // Pictures of the tab to look at: SORVANE_SHOTS_DIR names the folder.
    void screenshots()
    {
        const QString folder = qEnvironmentVariable("SORVANE_SHOTS_DIR");
        if (folder.isEmpty())
            QSKIP("set SORVANE_SHOTS_DIR to write the pictures");
        QDir().mkpath(folder);
        AccountTab *tab = openTab();
        const auto shoot = [&](const QString &state) {
            for (const char *scheme : {"light", "dark"}) {
                m_view->setPalette(WindowStyle::paletteForColorScheme(QString::fromLatin1(scheme)));
                QCoreApplication::processEvents();
                QVERIFY(m_view->grab().save(QStringLiteral("%1/accttab-%2-%3.png").arg(folder, state, QString::fromLatin1(scheme))));
            }
        };
        shoot(QStringLiteral("signed-out"));
        clickProvider(tab, TolvernProviderHint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        shoot(QStringLiteral("busy"));
        QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));
        QTRY_VERIFY_WITH_TIMEOUT(Shown::of(tab).signedIn, 30000);
        shoot(QStringLiteral("signed-in"));
        QVERIFY(tab->grab().save(QStringLiteral("%1/accttab-signed-in-whole.png").arg(folder)));
        QMessageBox *confirm = openResetConfirmation(tab);
        QVERIFY(confirm->grab().save(QStringLiteral("%1/accttab-reset-confirmation.png").arg(folder)));
        confirm->findChild<QPushButton *>(QStringLiteral("confirmReset"))->click();
        shoot(QStringLiteral("resetting"));
        QTRY_VERIFY_WITH_TIMEOUT(!tab->isResetting(), 30000);
    }

private:
    AccountTab *openTab()
    {
        m_view = std::make_unique<SettingsView>(*m_services, m_documents);
        m_view->tabs()->setCurrentIndex(SettingsView::Account);
        m_view->show();
        if (!QTest::qWaitForWindowExposed(m_view.get()))
            return nullptr;
        return m_view->findChild<AccountTab *>();
    }

    void clickProvider(AccountTab *tab, TolvernProviderHint hint)
    {
        QTest::mouseClick(tab->providerButtons()->button(hint), Qt::LeftButton);
    }

    void signInThroughTab(AccountTab *tab)
    {
        const qsizetype before = m_opened.size();
        clickProvider(tab, TolvernProviderHint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), before + 1, 30000);
        QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.last())));
        QTRY_VERIFY_WITH_TIMEOUT(Shown::of(tab).signedIn, 30000);
        QTRY_VERIFY(m_session->isAuthenticated());
    }

    QMessageBox *openResetConfirmation(AccountTab *tab)
    {
        tab->resetButton()->click();
        if (!QTest::qWaitFor([tab] { return tab->resetConfirmation() && tab->resetConfirmation()->isVisible(); }))
            return nullptr;
        return tab->resetConfirmation();
    }

    QCoro::Task<void> beginSignIn(std::optional<SignInResult> *result)
    {
        auto task = m_signIn->beginSignIn(OAuthDriver::ProviderHint::email);
        *result = co_await std::move(task);
    }
    void runSignIn(std::optional<SignInResult> &result) { beginSignIn(&result); }

    void denyNext()
    {
        QNetworkReply *reply = m_browser.post(QNetworkRequest(m_oidc.url(QStringLiteral("/peer/deny"))), QByteArray());
        QVERIFY(QTest::qWaitFor([reply] { return reply->isFinished(); }, 30000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 204);
        reply->deleteLater();
    }

    QByteArray exchangeReply(const QString &email)
    {
        QJsonObject body = QJsonDocument::fromJson(m_identity->tvsResponse(m_identity->openSession())).object();
        body.insert(QStringLiteral("email"), email);
        return QJsonDocument(body).toJson(QJsonDocument::Compact);
    }

    static bool storedSession()
    {
        KeychainStorage storage(QStringLiteral("sorvane"));
        return storage.getData(QString::fromLatin1(KeychainStorage::Keys::session)).has_value();
    }

    OidcPeer m_oidc;
    std::unique_ptr<IdentityPeer> m_identity;
    QNetworkAccessManager m_network;
    QNetworkAccessManager m_browser;
    DocumentManager m_documents;
    std::unique_ptr<TolvernAccountBridge> m_bridge;
    std::unique_ptr<AccountSessionManager> m_session;
    std::unique_ptr<SignInStateService> m_signIn;
    std::unique_ptr<AccountServices> m_services;
    std::unique_ptr<SettingsView> m_view;
    QList<QUrl> m_opened;
    QList<QUrl> m_pages;
    QStringList m_events;
    int m_signInWindows = 0;
};

SORVANE_TEST_MAIN(tst_AccountTab)
#include "tst_AccountTab.moc"
