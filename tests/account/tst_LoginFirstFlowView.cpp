// The sign-in window over a main window, with the account library's manager against
// the OpenID provider and the identity stand-in. The test is the browser: it takes
// the URL the sign-in opens, follows the provider's redirects and hands the callback
// to the manager. The native Apple sheet is a test driver given to the manager.
#include "AccountTestBridge.h"
#include "BrowserStandIn.h"
#include "IdentityPeer.h"
#include "OidcPeer.h"
#include "TestEnvironment.h"

#include "account/AccountSessionManager.h"
#include "account/LoginFirstFlowModel.h"
#include "account/LoginFirstFlowView.h"
#include "account/SIWAConsentConfirmView.h"
#include "account/SignInStateService.h"
#include "account/TolvernAccountBridge.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticLogBuffer.h"
#include "shell/AppDelegate.h"
#include "window/WindowStyle.h"

#include "InMemoryStorage.h"
#include "TolvernProviderButton.h"
#include "TolvernProviderButtons.h"
#include "TolvernSignInScreen.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace {

using Phase = TolvernSignInPhase;
using Hint = TolvernProviderHint;

using Event = std::pair<QString, QVariantMap>;

// What the test's Apple sheet answers.
enum class AppleSheet { returningUser, newUser, cancelled, networkFailure };

QCoro::Task<SignInWithAppleDriver::AppleAuthorization> appleSheet(AppleSheet outcome)
{
    if (outcome == AppleSheet::cancelled)
        throw TolvernError::authorizationCancelled();
    if (outcome == AppleSheet::networkFailure)
        throw TolvernError::networkUnavailable();
    SignInWithAppleDriver::AppleAuthorization authorization;
    authorization.authorizationCode = QStringLiteral("apple-code");
    authorization.identityToken = QStringLiteral("apple-identity-token");
    authorization.userIdentifier = QStringLiteral("apple-user");
    co_return authorization;
}

// Storage that can refuse every write, as a locked keyring does.
class RefusingStorage : public InMemoryStorage
{
public:
    bool refuse = false;
    void setData(const QByteArray &data, const QString &key) override
    {
        if (refuse)
            throw TolvernError::keychainFailure(-25308);
        InMemoryStorage::setData(data, key);
    }
};

// The delegate's account side as the shell gives it: the bridge and the sign-in state.
class AccountObjects : public AccountIntegrationSeam
{
public:
    AccountObjects(TolvernAccountBridge *bridge, SignInStateService *signInState)
        : m_bridge(bridge), m_signInState(signInState)
    {
    }
    TolvernAccountBridge *bridge() const override { return m_bridge; }
    SignInStateService *signInState() const override { return m_signInState; }

private:
    TolvernAccountBridge *m_bridge;
    SignInStateService *m_signInState;
};

QAbstractButton *visibleButton(QWidget *root, const QString &text)
{
    const QList<QAbstractButton *> buttons = root->findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons) {
        if (button->text() == text && button->isVisibleTo(root))
            return button;
    }
    return nullptr;
}

// Phases written as "ready", "busy", "offline" or "error:<message>".
Phase phaseFrom(const QString &text)
{
    if (text.startsWith(QLatin1String("error:")))
        return Phase::error(text.mid(6));
    if (text == QLatin1String("busy"))
        return Phase::busy();
    if (text == QLatin1String("offline"))
        return Phase::offline();
    return Phase::ready();
}

// The mean lightness of an image, 0 black to 1 white.
double meanLightness(const QImage &image)
{
    const QImage small = image.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double sum = 0;
    for (int y = 0; y < small.height(); ++y) {
        for (int x = 0; x < small.width(); ++x)
            sum += small.pixelColor(x, y).lightnessF();
    }
    return sum / (small.width() * small.height());
}

} // namespace

Q_DECLARE_METATYPE(AppleSheet)

class tst_LoginFirstFlowView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(m_oidc.start(), qPrintable(m_oidc.errorText()));
    }
    void init()
    {
        m_browserStandIn.clear();
        m_tracked.events.clear();
        m_sheetWindows.clear();
        m_completions = 0;
        m_nativeSheet = false;
        m_appleSheet = AppleSheet::returningUser;
        m_browser.setCookieJar(new QNetworkCookieJar);
        m_identity = std::make_unique<IdentityPeer>();
        m_storage = std::make_shared<RefusingStorage>();
        const TolvernConfig config = AccountTest::config(&m_network, m_identity->baseUrl(), m_oidc.issuer());
        TolvernAccountManager::Dependencies dependencies = AccountTest::dependencies(m_storage);
        dependencies.appleAuthorize = [this](QObject *window) {
            m_sheetWindows.append(window);
            return appleSheet(m_appleSheet);
        };
        m_bridge = std::make_unique<TolvernAccountBridge>(config, dependencies);
        AccountSessionManager::shared().attach(*m_bridge);
        m_signIn = SignInStateService::make(*m_bridge);
        m_model = std::make_unique<LoginFirstFlowModel>(LoginFirstStep::signIn);
        m_mainWindow = std::make_unique<QMainWindow>();
        m_mainWindow->resize(900, 700);
        m_view = new LoginFirstFlowView(*m_signIn, *m_bridge, *m_model, [this] {
            ++m_completions;
            m_view->accept();
        }, m_mainWindow.get());
        // Only a test has an Apple sheet here: the window anchors it when asked for.
        m_view->setHostWindow([this]() -> QObject * { return m_nativeSheet ? m_view.data() : nullptr; });
    }
    void cleanup()
    {
        m_mainWindow.reset();
        m_model.reset();
        m_signIn.reset();
        m_bridge.reset();
        m_identity.reset();
        m_storage.reset();
        QApplication::setPalette(QPalette());
        // Work left queued by the objects lands now, not in the next test.
        QCoreApplication::processEvents();
    }

    void failedWebSignInShowsItsPhase_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("phaseText");
        QTest::addColumn<bool>("browserOpened");
        QTest::addColumn<QString>("reason"); // of "auth_failed"; empty: none sent
        QTest::newRow("the exchange answers 500 with an error")
            << "exchange 500" << "error:Server error (500 \u2014 exchange_unavailable)."
            << true << "serverError(status: 500, code: \"exchange_unavailable\")";
        QTest::newRow("the user denies at the provider")
            << "deny" << "error:Sign-in failed: access_denied: End-User denied the request"
            << true << "authorizationFailed(reason: \"access_denied: End-User denied the request\")";
        QTest::newRow("the keyring refuses the session")
            << "keyring" << "error:Couldn't read your stored sign-in (-25308)." << true
            << "keychainFailure(status: -25308)";
        QTest::newRow("no window to anchor the sign-in")
            << "no window" << "error:Could not open sign-in. Please try again." << false
            << "";
        QTest::newRow("the user cancels") << "cancel" << "ready" << true << "cancelled";
    }
    void failedWebSignInShowsItsPhase()
    {
        QFETCH(QString, failure);
        QFETCH(QString, phaseText);
        const Phase phase = phaseFrom(phaseText);
        QFETCH(bool, browserOpened);
        QFETCH(QString, reason);
        if (failure == QLatin1String("exchange 500"))
            m_identity->enqueue(IdentityPeer::kExchange,
                                IdentityPeer::jsonReply(500, "{\"error\":\"exchange_unavailable\"}"));
        if (failure == QLatin1String("deny"))
            denyNext();
        m_storage->refuse = failure == QLatin1String("keyring");
        if (failure != QLatin1String("no window"))
            present();

        tap(Hint::google);
        if (browserOpened) {
            QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
            QCOMPARE(m_view->signInPhase(), Phase::busy());
            if (failure == QLatin1String("cancel")) {
                QAbstractButton *cancel = visibleButton(m_view->signInScreen(), QStringLiteral("Cancel sign-in"));
                QVERIFY(cancel);
                cancel->click();
            } else {
                QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));
            }
        }
        QTRY_VERIFY_WITH_TIMEOUT(!m_model->isWorking(), 30000);
        // The sign-in state follows the manager's reports queued; the screen follows it.
        QTRY_COMPARE(m_view->signInPhase(), phase);
        QCOMPARE(m_view->signInScreen()->phase(), phase);
        QCOMPARE(m_opened.size(), browserOpened ? 1 : 0);
        QCOMPARE(m_model->step(), LoginFirstStep::signIn);
        QCOMPARE(m_model->statusMessage(), std::nullopt);
        QCOMPARE(m_completions, 0);
        QVERIFY(!m_signIn->isAuthenticated());
        const QList<Event> failed = events(QStringLiteral("auth_failed"));
        QCOMPARE(failed.size(), reason.isEmpty() ? 0 : 1);
        if (!reason.isEmpty())
            QCOMPARE(failed.first().second.value(QStringLiteral("reason")).toString(), reason);
        QVERIFY(events(QStringLiteral("sign_in_completed")).isEmpty());

        // Retrying from the error starts afresh: the text goes at the tap.
        if (phase.kind() == Phase::Kind::error && browserOpened) {
            m_storage->refuse = false;
            tap(Hint::email);
            QCOMPARE(m_model->errorMessage(), std::nullopt);
            QCOMPARE(m_view->signInPhase(), Phase::busy());
            QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 2, 30000);
            QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.last())));
            QTRY_COMPARE_WITH_TIMEOUT(m_completions, 1, 30000);
        }
    }

    void offlineYieldsOnlyToBusy_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<bool>("online");
        QTest::addColumn<QString>("phaseText");
        QTest::newRow("ready, online") << "ready" << true << "ready";
        QTest::newRow("ready, offline") << "ready" << false << "offline";
        QTest::newRow("an error pending, offline") << "error" << false << "offline";
        QTest::newRow("an error pending, online") << "error" << true << "error:boom";
        QTest::newRow("this window signing in, offline") << "working" << false << "busy";
        QTest::newRow("a sign-in from elsewhere, offline") << "authenticating" << false << "busy";
    }
    void offlineYieldsOnlyToBusy()
    {
        QFETCH(QString, state);
        QFETCH(bool, online);
        QFETCH(QString, phaseText);
        const Phase phase = phaseFrom(phaseText);
        present();
        if (state == QLatin1String("error"))
            m_model->setErrorMessage(QStringLiteral("boom"));
        if (state == QLatin1String("working")) {
            tap(Hint::email);
            QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        }
        std::optional<SignInResult> elsewhere;
        if (state == QLatin1String("authenticating")) {
            beginSignInElsewhere(&elsewhere);
            QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
            QVERIFY(!m_model->isWorking());
        }
        m_view->setOnline(online);
        QCOMPARE(m_view->signInPhase(), phase);
        QCOMPARE(m_view->signInScreen()->phase(), phase);

        if (phase == Phase::offline()) {
            // The card's Retry drops the pending text; back online the screen is ready.
            QAbstractButton *retry = visibleButton(m_view->signInScreen(), QStringLiteral("Retry"));
            QVERIFY(retry);
            retry->click();
            QCOMPARE(m_model->errorMessage(), std::nullopt);
            m_view->setOnline(true);
            QCOMPARE(m_view->signInScreen()->phase(), Phase::ready());
        }
        if (m_opened.size() == 1) {
            m_bridge->manager().cancelSignIn();
            QTRY_VERIFY_WITH_TIMEOUT(!m_model->isWorking() && !m_signIn->isAuthenticating(), 30000);
        }
    }

    void nativeAppleSignIn_data()
    {
        QTest::addColumn<bool>("sheet");
        QTest::addColumn<AppleSheet>("outcome");
        QTest::addColumn<bool>("webFollows");
        QTest::addColumn<bool>("completes");
        QTest::newRow("a returning user") << true << AppleSheet::returningUser << false << true;
        QTest::newRow("the sheet cancelled") << true << AppleSheet::cancelled << false << false;
        QTest::newRow("the sheet fails: the browser takes over") << true << AppleSheet::networkFailure << true
                                                                  << true;
        QTest::newRow("no window for a sheet: the browser at once") << false << AppleSheet::returningUser << true
                                                                     << true;
    }
    void nativeAppleSignIn()
    {
        QFETCH(bool, sheet);
        QFETCH(AppleSheet, outcome);
        QFETCH(bool, webFollows);
        QFETCH(bool, completes);
        m_nativeSheet = sheet;
        m_appleSheet = outcome;
        present();

        tap(Hint::apple);
        if (webFollows) {
            QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
            QCOMPARE(QUrlQuery(m_opened.first()).queryItemValue(QStringLiteral("provider")), QStringLiteral("apple"));
            QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!m_model->isWorking(), 30000);
        QCOMPARE(m_completions, completes ? 1 : 0);
        QCOMPARE(m_model->step(), LoginFirstStep::signIn);
        QVERIFY(!m_view->consentView());
        QCOMPARE(m_model->errorMessage(), std::nullopt);
        QCOMPARE(m_sheetWindows.size(), sheet ? 1 : 0);
        if (sheet)
            QCOMPARE(m_sheetWindows.first(), static_cast<QObject *>(m_view.data()));
        if (!webFollows)
            QVERIFY(m_opened.isEmpty());

        const QList<Event> native = withTransport(QStringLiteral("siwa_native"));
        if (!sheet) {
            QVERIFY(native.isEmpty());
        } else {
            QCOMPARE(native.first().first, QStringLiteral("auth_started"));
            QCOMPARE(native.first().second.value(QStringLiteral("purpose")).toString(), QStringLiteral("sign_in"));
            for (const Event &event : native)
                QCOMPARE(event.second.value(QStringLiteral("provider_hint")).toString(), QStringLiteral("apple"));
            if (outcome == AppleSheet::returningUser) {
                QCOMPARE(native.size(), 2);
                QCOMPARE(native.last().first, QStringLiteral("auth_completed"));
                QCOMPARE(native.last().second.value(QStringLiteral("is_new_user")), QVariant(false));
            } else if (outcome == AppleSheet::cancelled) {
                QCOMPARE(native.size(), 1);
                QCOMPARE(m_view->signInPhase(), Phase::ready());
            } else {
                QCOMPARE(native.size(), 2);
                QCOMPARE(native.last().first, QStringLiteral("auth_failed"));
                QCOMPARE(native.last().second.value(QStringLiteral("reason")).toString(),
                         QStringLiteral("networkUnavailable"));
            }
        }
        QVERIFY(events(QStringLiteral("auth_failed")).size() == (outcome == AppleSheet::networkFailure ? 1 : 0));
        const QList<Event> completed = events(QStringLiteral("sign_in_completed"));
        QCOMPARE(completed.size(), completes ? 1 : 0);
        if (completes) {
            QCOMPARE(completed.first().second.value(QStringLiteral("provider")).toString(), QStringLiteral("apple"));
            QCOMPARE(events(QStringLiteral("onboarding_completed")).size(), 1);
            QCOMPARE(events(QStringLiteral("onboarding_completed")).first().second.value(QStringLiteral("method")),
                     QVariant(QStringLiteral("login_first")));
            QTRY_VERIFY(m_signIn->isAuthenticated());
        }
    }

    // A new Apple account goes through the consent step; a later web sign-in must not,
    // although the manager still remembers that last Apple answer.
    void consentStepOnlyAfterThisFlowsNewAppleAccount()
    {
        m_nativeSheet = true;
        m_appleSheet = AppleSheet::newUser;
        m_identity->setAppleIsNewUser(true);
        QList<LoginFirstStep> resized;
        m_view->setResizeHostWindow([&resized](LoginFirstStep step) { resized.append(step); });
        present();

        tap(Hint::apple);
        QTRY_COMPARE_WITH_TIMEOUT(m_model->step(), LoginFirstStep::consentConfirm, 30000);
        QTRY_VERIFY(!m_model->isWorking());
        QVERIFY(m_view->consentView());
        QVERIFY(m_view->consentView()->isVisible());
        QCOMPARE(resized, QList<LoginFirstStep>{LoginFirstStep::consentConfirm});
        QCOMPARE(m_completions, 0);
        const QList<Event> native = withTransport(QStringLiteral("siwa_native"));
        QCOMPARE(native.last().first, QStringLiteral("auth_completed"));
        QCOMPARE(native.last().second.value(QStringLiteral("is_new_user")), QVariant(true));
        QCOMPARE(events(QStringLiteral("sign_in_completed")).first().second.value(QStringLiteral("provider")),
                 QVariant(QStringLiteral("apple")));
        QVERIFY(events(QStringLiteral("onboarding_completed")).isEmpty());

        // Signed out and back on the sign-in step, the user picks Google.
        QTRY_VERIFY(m_signIn->isAuthenticated());
        AccountSessionManager::shared().signOut();
        QTRY_VERIFY_WITH_TIMEOUT(!m_signIn->isAuthenticated(), 30000);
        m_model->setStep(LoginFirstStep::signIn);
        QVERIFY(!m_view->consentView());
        QCOMPARE(m_bridge->manager().lastAppleSignInIsNewUser(), std::optional<bool>(true));
        m_tracked.events.clear();

        tap(Hint::google);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));
        QTRY_COMPARE_WITH_TIMEOUT(m_completions, 1, 30000);
        QCOMPARE(m_model->step(), LoginFirstStep::signIn);
        QVERIFY(!m_view->consentView());
        QCOMPARE(events(QStringLiteral("sign_in_completed")).first().second.value(QStringLiteral("provider")),
                 QVariant(QStringLiteral("google")));
        QCOMPARE(events(QStringLiteral("onboarding_completed")).size(), 1);
        QCOMPARE(resized, (QList<LoginFirstStep>{LoginFirstStep::consentConfirm, LoginFirstStep::signIn}));
    }

    void aSecondTapWhileSigningInIsIgnored()
    {
        present();
        tap(Hint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        tap(Hint::google);
        tap(Hint::apple);
        QCoreApplication::processEvents();
        QCOMPARE(m_opened.size(), 1);
        QCOMPARE(events(QStringLiteral("auth_started")).size(), 1);
        QCOMPARE(QUrlQuery(m_opened.first()).queryItemValue(QStringLiteral("provider")), QStringLiteral("email"));

        QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));
        QTRY_COMPARE_WITH_TIMEOUT(m_completions, 1, 30000);
        QCOMPARE(events(QStringLiteral("sign_in_completed")).first().second.value(QStringLiteral("provider")),
                 QVariant(QStringLiteral("email")));
    }

    void screenShownIsCountedPerVisit()
    {
        present();
        QCOMPARE(events(QStringLiteral("onboarding_started")).size(), 1);
        QCOMPARE(events(QStringLiteral("login_screen_shown")).size(), 1);

        m_model->setStep(LoginFirstStep::consentConfirm);
        m_model->setStep(LoginFirstStep::signIn);
        QCOMPARE(events(QStringLiteral("onboarding_started")).size(), 1);
        QCOMPARE(events(QStringLiteral("login_screen_shown")).size(), 2);

        // Closed and presented again: a new presentation.
        m_view->reject();
        present();
        QCOMPARE(events(QStringLiteral("onboarding_started")).size(), 2);
        QCOMPARE(events(QStringLiteral("login_screen_shown")).size(), 3);
    }

    void appearingCancelsASignInLeftOpen()
    {
        std::optional<SignInResult> elsewhere;
        QWidget other;
        other.show();
        beginSignInElsewhere(&elsewhere);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        present();
        QTRY_VERIFY_WITH_TIMEOUT(elsewhere.has_value(), 30000);
        QCOMPARE(elsewhere->kind, SignInResult::Kind::cancelled);
        QTRY_COMPARE(m_view->signInPhase(), Phase::ready());
        QVERIFY(!m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));
    }

    void closingCancelsTheSignInInFlight()
    {
        present();
        tap(Hint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QTest::keyClick(m_view, Qt::Key_Escape);
        QVERIFY(!m_view->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!m_model->isWorking(), 30000);
        QCOMPARE(m_model->errorMessage(), std::nullopt);
        QCOMPARE(m_completions, 0);
        // The provider's late answer finds nothing waiting for it.
        QVERIFY(!m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));
        QVERIFY(!m_signIn->isAuthenticated());
    }

    void signedInShowsTheAccountAndCanSwitch()
    {
        signInWithEmail();
        m_model->setErrorMessage(QStringLiteral("stale"));
        m_model->setStatusMessage(QStringLiteral("stale"));
        present();
        QCOMPARE(m_view->signInScreen()->signedInEmail(), std::optional<QString>(AccountTest::email));
        QAbstractButton *other = visibleButton(m_view->signInScreen(), QStringLiteral("Use a different account"));
        QVERIFY(other);

        other->click();
        QCOMPARE(m_model->errorMessage(), std::nullopt);
        QCOMPARE(m_model->statusMessage(), std::nullopt);
        QCOMPARE(m_model->step(), LoginFirstStep::signIn);
        QTRY_COMPARE_WITH_TIMEOUT(m_view->signInScreen()->signedInEmail(), std::nullopt, 30000);
        QTRY_VERIFY(!m_signIn->isAuthenticated());
        QCOMPARE(m_identity->count(IdentityPeer::kRevoke), 1);
        QVERIFY(m_view->isVisible());
        QVERIFY(m_view->signInScreen()->findChild<TolvernProviderButtons *>()->isVisibleTo(m_view));
    }

    void theDelegatePresentsOneWindowOverTheMainWindow()
    {
        AccountObjects objects(m_bridge.get(), m_signIn.get());
        LaunchSeams seams;
        seams.accountIntegration = &objects;
        AppDelegate delegate(seams);
        QMainWindow main;
        delegate.registerMainWindow(&main);

        delegate.presentLoginFirstFlow(LoginFirstStep::signIn);
        LoginFirstFlowView *view = delegate.loginFirstFlowView();
        QVERIFY(view);
        QVERIFY(main.isVisible());
        QVERIFY(view->isVisible());
        QCOMPARE(view->parentWidget(), &main);
        QCOMPARE(view->windowModality(), Qt::WindowModal);
        QCOMPARE(view->size(), TolvernSignInScreen::naturalWindowSize());

        // A failure left on the screen, the window closed, then presented again at the
        // consent step: the same window and state, the texts gone.
        LoginFirstFlowModel *model = view->model();
        QVERIFY(model);
        model->setErrorMessage(QStringLiteral("left over"));
        model->setStatusMessage(QStringLiteral("left over"));
        view->reject();
        delegate.presentLoginFirstFlow(LoginFirstStep::consentConfirm);
        QCOMPARE(delegate.loginFirstFlowView(), view);
        QVERIFY(view->isVisible());
        QCOMPARE(model->step(), LoginFirstStep::consentConfirm);
        QCOMPARE(model->errorMessage(), std::nullopt);
        QCOMPARE(model->statusMessage(), std::nullopt);
        QVERIFY(view->consentView());
        delegate.presentLoginFirstFlow(LoginFirstStep::signIn);
        QVERIFY(!view->consentView());
    }

    void theDelegateWithoutAccountObjectsOnlyLogs()
    {
        AppDelegate delegate;
        QMainWindow main;
        delegate.registerMainWindow(&main);
        delegate.presentLoginFirstFlow(LoginFirstStep::signIn);
        QVERIFY(!delegate.loginFirstFlowView());
        QVERIFY(!main.isVisible());
        const QList<DiagnosticLogEntry> entries = DiagnosticLogBuffer::shared().entries();
        const bool logged = std::any_of(entries.cbegin(), entries.cend(), [](const DiagnosticLogEntry &entry) {
            return entry.category == QLatin1String("onboarding");
        });
        QVERIFY(logged);
    }

    // Every phase, the signed-in block and the consent step look dark whatever the
    // desktop's appearance. SORVANE_SCREENSHOT_DIR keeps the drawings for review.
    void looksDarkUnderEveryAppearance_data()
    {
        QTest::addColumn<QString>("appearance");
        QTest::newRow("light") << "light";
        QTest::newRow("dark") << "dark";
    }
    void looksDarkUnderEveryAppearance()
    {
        QFETCH(QString, appearance);
        QApplication::setPalette(WindowStyle::paletteForColorScheme(appearance));
        present();
        const QString folder = qEnvironmentVariable("SORVANE_SCREENSHOT_DIR");
        // Dark overall, with the green backdrop in the corners.
        const auto looksDark = [&](const QString &name) {
            QCoreApplication::processEvents();
            const QImage image = m_view->grab().toImage();
            if (!folder.isEmpty()) {
                QDir().mkpath(folder);
                image.save(folder + QStringLiteral("/signinwin-%1-%2.png").arg(name, appearance));
            }
            const auto near = [](const QColor &seen, const QColor &wanted) {
                return qAbs(seen.red() - wanted.red()) <= 8 && qAbs(seen.green() - wanted.green()) <= 8
                    && qAbs(seen.blue() - wanted.blue()) <= 8;
            };
            const bool corners = near(image.pixelColor(1, 1), SIWAConsentConfirmView::backdropTop())
                && near(image.pixelColor(image.width() - 2, image.height() - 2),
                        SIWAConsentConfirmView::backdropBottom());
            if (!corners)
                qWarning() << name << "corners" << image.pixelColor(1, 1) << image.pixelColor(image.width() - 2, image.height() - 2);
            return corners && meanLightness(image) < 0.3;
        };
        QVERIFY(looksDark(QStringLiteral("ready")));
        m_model->setErrorMessage(QStringLiteral("Server error (500 \u2014 exchange_unavailable)."));
        QVERIFY(looksDark(QStringLiteral("error")));
        m_view->setOnline(false);
        QVERIFY(looksDark(QStringLiteral("offline")));
        m_view->setOnline(true);
        m_model->setErrorMessage(std::nullopt);
        m_model->setStep(LoginFirstStep::consentConfirm);
        QVERIFY(looksDark(QStringLiteral("consent")));
        // Its button's text stays white on the accent whatever the appearance.
        auto *proceed = m_view->consentView()->findChild<QPushButton *>(QStringLiteral("consentContinue"));
        QVERIFY(proceed);
        const QImage button = proceed->grab().toImage();
        double brightest = 0;
        for (int y = 0; y < button.height(); ++y) {
            for (int x = 0; x < button.width(); ++x)
                brightest = qMax(brightest, button.pixelColor(x, y).lightnessF());
        }
        QVERIFY2(brightest > 0.9, qPrintable(QString::number(brightest)));
        m_model->setStep(LoginFirstStep::signIn);
        tap(Hint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QVERIFY(looksDark(QStringLiteral("busy")));
        QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));
        QTRY_COMPARE_WITH_TIMEOUT(m_completions, 1, 30000);
        present();
        QTRY_VERIFY(m_view->signInScreen()->signedInEmail());
        QVERIFY(looksDark(QStringLiteral("signed-in")));
    }

private:
    void present()
    {
        m_mainWindow->show();
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view));
    }

    void tap(Hint hint)
    {
        auto *buttons = m_view->signInScreen()->findChild<TolvernProviderButtons *>();
        QVERIFY(buttons);
        buttons->button(hint)->click();
    }

    void signInWithEmail()
    {
        present();
        tap(Hint::email);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.size(), 1, 30000);
        QVERIFY(m_bridge->manager().resume(m_oidc.followToRedirect(m_browser, m_opened.first())));
        QTRY_COMPARE_WITH_TIMEOUT(m_completions, 1, 30000);
        QTRY_VERIFY(m_signIn->isAuthenticated());
        QVERIFY(!m_view->isVisible());
    }

    QCoro::Task<void> beginSignInElsewhere(std::optional<SignInResult> *result)
    {
        auto task = m_signIn->beginSignIn(OAuthDriver::ProviderHint::email);
        *result = co_await std::move(task);
    }

    void denyNext()
    {
        QNetworkReply *reply = m_browser.post(QNetworkRequest(m_oidc.url(QStringLiteral("/peer/deny"))), QByteArray());
        QVERIFY(QTest::qWaitFor([reply] { return reply->isFinished(); }, 30000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 204);
        reply->deleteLater();
    }

    QList<Event> events(const QString &name) const
    {
        QList<Event> found;
        for (const Event &event : m_tracked.events) {
            if (event.first == name)
                found.append(event);
        }
        return found;
    }

    QList<Event> withTransport(const QString &transport) const
    {
        QList<Event> found;
        for (const Event &event : m_tracked.events) {
            if (event.second.value(QStringLiteral("auth_transport")).toString() == transport)
                found.append(event);
        }
        return found;
    }

    OidcPeer m_oidc;
    std::unique_ptr<IdentityPeer> m_identity;
    QNetworkAccessManager m_network;
    QNetworkAccessManager m_browser;
    std::shared_ptr<RefusingStorage> m_storage;
    std::unique_ptr<TolvernAccountBridge> m_bridge;
    std::unique_ptr<SignInStateService> m_signIn;
    std::unique_ptr<LoginFirstFlowModel> m_model;
    std::unique_ptr<QMainWindow> m_mainWindow;
    QPointer<LoginFirstFlowView> m_view;
    BrowserStandIn m_browserStandIn;
    QList<QUrl> &m_opened = m_browserStandIn.opened;
    AccountTest::TrackedEvents m_tracked;
    QList<QObject *> m_sheetWindows;
    AppleSheet m_appleSheet = AppleSheet::returningUser;
    bool m_nativeSheet = false;
    int m_completions = 0;
};

SORVANE_TEST_MAIN(tst_LoginFirstFlowView)
#include "tst_LoginFirstFlowView.moc"
