#include "LoginFirstFlowView.h"

#include "AccountSessionManager.h"
#include "LoginFirstFlowModel.h"
#include "SIWAConsentConfirmView.h"
#include "SignInStateService.h"
#include "TolvernAccountBridge.h"

#include "diagnostics/Analytics.h"
#include "window/SorvaneBrandMark.h"
#include "window/WindowStyle.h"

#include "SignInWithAppleDriver.h"
#include "TolvernProviderHint.h"
#include "TolvernSignInScreen.h"

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QShowEvent>
#include <QStackedLayout>

namespace {

const QString kOpeningBrowser = QStringLiteral("Opening your browser\u2026");

QString hintText(OAuthDriver::ProviderHint provider)
{
    return OAuthDriver::rawValue(provider);
}

} // namespace

const QString LoginFirstFlowView::appName = QStringLiteral("sorv.ane");
const QString LoginFirstFlowView::valueProp = QStringLiteral("Write markdown. Ship documents.");

LoginFirstFlowView::LoginFirstFlowView(SignInStateService &signInState, TolvernAccountBridge &bridge,
                                       LoginFirstFlowModel &model, Completion onComplete, QWidget *parent)
    : QDialog(parent)
    , m_signInState(&signInState)
    , m_bridge(&bridge)
    , m_model(&model)
    , m_onComplete(std::move(onComplete))
{
    setWindowTitle(QStringLiteral("Sign In"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(TolvernSignInScreen::naturalWindowSize());
    // Dark whatever the desktop's scheme: the backdrop is a dark green.
    setPalette(WindowStyle::paletteForColorScheme(QStringLiteral("dark")));

    m_stack = new QStackedLayout(this);
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_screen = new TolvernSignInScreen(
        QPixmap::fromImage(SorvaneBrandMark::sharedImage()), appName, valueProp,
        TolvernProviderButtonStyle::dark(SIWAConsentConfirmView::accent()), signInPhase(),
        SIWAConsentConfirmView::privacyURL(), SIWAConsentConfirmView::termsURL(), std::nullopt,
        [this](TolvernProviderHint hint) {
            if (const auto provider = OAuthDriver::providerHint(TolvernProviderHints::rawValue(hint)))
                signIn(*provider);
        },
        [this] { cancelPendingSignIn(); },
        [this] {
            if (m_model)
                m_model->setErrorMessage(std::nullopt);
        },
        [this] { signOutToSignIn(); }, this);
    m_stack->addWidget(m_screen);

    connect(m_model, &LoginFirstFlowModel::stepChanged, this, &LoginFirstFlowView::onStepChanged);
    connect(m_model, &LoginFirstFlowModel::isWorkingChanged, this, &LoginFirstFlowView::refreshPhase);
    connect(m_model, &LoginFirstFlowModel::errorMessageChanged, this, &LoginFirstFlowView::refreshPhase);
    connect(m_signInState, &SignInStateService::isAuthenticatingChanged, this, &LoginFirstFlowView::refreshPhase);
    connect(&bridge.manager(), &TolvernAccountManager::stateChanged, this,
            &LoginFirstFlowView::refreshSignedInEmail);
    refreshSignedInEmail();
    showStep();
}

LoginFirstFlowView::~LoginFirstFlowView() = default;

SIWAConsentConfirmView *LoginFirstFlowView::consentView() const
{
    return m_consentView;
}

void LoginFirstFlowView::setOnline(bool online)
{
    if (m_isOnline == online)
        return;
    m_isOnline = online;
    refreshPhase();
}

TolvernSignInPhase LoginFirstFlowView::signInPhase() const
{
    if (m_model && m_model->isWorking())
        return TolvernSignInPhase::busy();
    if (m_signInState && m_signInState->isAuthenticating())
        return TolvernSignInPhase::busy();
    if (!m_isOnline)
        return TolvernSignInPhase::offline();
    if (m_model && m_model->errorMessage())
        return TolvernSignInPhase::error(*m_model->errorMessage());
    return TolvernSignInPhase::ready();
}

void LoginFirstFlowView::refreshPhase()
{
    m_screen->setPhase(signInPhase());
}

void LoginFirstFlowView::refreshSignedInEmail()
{
    std::optional<QString> email;
    if (m_bridge) {
        if (const auto session = m_bridge->currentSession())
            email = session->email;
    }
    m_screen->setSignedInEmail(email);
}

void LoginFirstFlowView::reject()
{
    cancelPendingSignIn();
    QDialog::reject();
}

void LoginFirstFlowView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    refreshSignedInEmail();
    refreshPhase();
    if (m_model && m_model->step() == LoginFirstStep::signIn)
        screenAppeared();
}

void LoginFirstFlowView::hideEvent(QHideEvent *event)
{
    QDialog::hideEvent(event);
    // The next presentation is a new one: its first sight of the screen counts again.
    if (!event->spontaneous()) {
        m_didShowLogin = false;
        m_didTrackOnboardingStarted = false;
    }
}

void LoginFirstFlowView::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    QLinearGradient backdrop(QPointF(0, 0), QPointF(width(), height()));
    backdrop.setColorAt(0, SIWAConsentConfirmView::backdropTop());
    backdrop.setColorAt(1, SIWAConsentConfirmView::backdropBottom());
    painter.fillRect(rect(), backdrop);
}

void LoginFirstFlowView::screenAppeared()
{
    if (!m_didTrackOnboardingStarted) {
        m_didTrackOnboardingStarted = true;
        Analytics::track(QStringLiteral("onboarding_started"));
    }
    if (!m_didShowLogin) {
        m_didShowLogin = true;
        Analytics::track(QStringLiteral("login_screen_shown"));
    }
    // An authorization an earlier presentation left open must not complete behind
    // the user's new choice.
    cancelPendingSignIn();
}

void LoginFirstFlowView::cancelPendingSignIn()
{
    if (m_bridge)
        m_bridge->manager().cancelSignIn();
}

void LoginFirstFlowView::onStepChanged(LoginFirstStep step)
{
    if (step != LoginFirstStep::signIn)
        m_didShowLogin = false;
    showStep();
    if (m_resizeHostWindow)
        m_resizeHostWindow(step);
    if (step == LoginFirstStep::signIn && isVisible())
        screenAppeared();
}

void LoginFirstFlowView::showStep()
{
    const bool consent = m_model && m_model->step() == LoginFirstStep::consentConfirm;
    if (!consent) {
        m_stack->setCurrentWidget(m_screen);
        delete m_consentView.data();
        return;
    }
    if (m_consentView || !m_bridge)
        return;
    // A new visit starts the consent screen afresh.
    m_consentView = new SIWAConsentConfirmView(*m_bridge, [self = QPointer(this)] {
        if (self)
            self->routePostAuth();
    }, this);
    m_stack->addWidget(m_consentView);
    m_stack->setCurrentWidget(m_consentView);
}

QObject *LoginFirstFlowView::appleSheetWindow() const
{
    if (m_hostWindow) {
        if (QObject *window = m_hostWindow())
            return window;
    }
    // Without the platform's sheet there is nothing to anchor: the web serves Apple.
    if (!SignInWithAppleDriver::isAvailable())
        return nullptr;
    return QApplication::activeWindow();
}

void LoginFirstFlowView::signIn(OAuthDriver::ProviderHint provider)
{
    if (!m_model || m_model->isWorking())
        return;
    m_model->setErrorMessage(std::nullopt);
    m_model->setStatusMessage(kOpeningBrowser);
    m_model->setWorking(true);
    runSignIn(provider);
}

QCoro::Task<void> LoginFirstFlowView::runSignIn(OAuthDriver::ProviderHint provider)
{
    QObject *window = provider == OAuthDriver::ProviderHint::apple ? appleSheetWindow() : nullptr;
    if (window) {
        auto task = runNativeAppleSignIn(window);
        co_await std::move(task);
    } else {
        auto task = runWebSignIn(provider);
        co_await std::move(task);
    }
}

QCoro::Task<void> LoginFirstFlowView::runNativeAppleSignIn(QObject *window)
{
    const QPointer<LoginFirstFlowView> self(this);
    const QVariantMap transport{{QStringLiteral("auth_transport"), QStringLiteral("siwa_native")},
                                {QStringLiteral("provider_hint"), QStringLiteral("apple")}};
    QVariantMap started = transport;
    started.insert(QStringLiteral("purpose"), QStringLiteral("sign_in"));
    Analytics::track(QStringLiteral("auth_started"), started);

    std::optional<TolvernAccount> account;
    std::optional<QString> failure;
    try {
        auto task = m_bridge->manager().signInWithApple(window);
        account = co_await std::move(task);
    } catch (const TolvernError &error) {
        if (error != TolvernError::authorizationCancelled())
            failure = SignInStateService::rendering(error);
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    }
    if (!self || !m_model || !m_bridge)
        co_return;

    if (account) {
        QVariantMap completed = transport;
        if (const std::optional<bool> isNew = m_bridge->manager().lastAppleSignInIsNewUser())
            completed.insert(QStringLiteral("is_new_user"), *isNew);
        Analytics::track(QStringLiteral("auth_completed"), completed);
        // The returned account is the one the sign-in state is about to show; its
        // queued update may not have run yet.
        Analytics::identify(account->tolvernAccountId.raw);
        m_model->setStatusMessage(std::nullopt);
        afterSignIn(OAuthDriver::ProviderHint::apple, true);
        if (self && m_model)
            m_model->setWorking(false);
        co_return;
    }
    m_model->setStatusMessage(std::nullopt);
    if (!failure) {
        // The user closed the sheet: back to ready, nothing to say.
        m_model->setWorking(false);
        co_return;
    }
    QVariantMap failed = transport;
    failed.insert(QStringLiteral("reason"), *failure);
    Analytics::track(QStringLiteral("auth_failed"), failed);
    auto web = runWebSignIn(OAuthDriver::ProviderHint::apple);
    co_await std::move(web);
}

QCoro::Task<void> LoginFirstFlowView::runWebSignIn(OAuthDriver::ProviderHint provider)
{
    const QPointer<LoginFirstFlowView> self(this);
    m_model->setStatusMessage(std::nullopt);
    SignInResult result = SignInResult::failed(QString::fromLatin1(SignInStateService::openFailedMessage));
    if (m_signInState) {
        auto task = m_signInState->beginSignIn(provider);
        result = co_await std::move(task);
    }
    if (!self || !m_model)
        co_return;
    handleShellSignInResult(result, provider);
    if (self && m_model)
        m_model->setWorking(false);
}

void LoginFirstFlowView::handleShellSignInResult(const SignInResult &result, OAuthDriver::ProviderHint provider)
{
    m_model->setStatusMessage(std::nullopt);
    switch (result.kind) {
    case SignInResult::Kind::success:
        afterSignIn(provider, false);
        break;
    case SignInResult::Kind::cancelled:
        break;
    case SignInResult::Kind::failed:
        m_model->setErrorMessage(result.message);
        break;
    }
}

void LoginFirstFlowView::afterSignIn(OAuthDriver::ProviderHint provider, bool afterNativeApple)
{
    Analytics::track(QStringLiteral("sign_in_completed"), {{QStringLiteral("provider"), hintText(provider)}});
    // The manager keeps the answer of its last Apple exchange; a web sign-in since
    // then never clears it, so only this flow's own Apple sign-in may read it.
    const bool newAppleAccount = afterNativeApple && m_bridge
        && m_bridge->manager().lastAppleSignInIsNewUser().value_or(false);
    if (newAppleAccount) {
        m_model->setStep(LoginFirstStep::consentConfirm);
        m_model->setErrorMessage(std::nullopt);
        m_model->setStatusMessage(std::nullopt);
        return;
    }
    routePostAuth();
}

void LoginFirstFlowView::routePostAuth()
{
    Analytics::track(QStringLiteral("onboarding_completed"), {{QStringLiteral("method"), QStringLiteral("login_first")}});
    // The host may close or delete the window here.
    const Completion complete = m_onComplete;
    if (complete)
        complete();
}

void LoginFirstFlowView::signOutToSignIn()
{
    AccountSessionManager::shared().signOut();
    if (!m_model)
        return;
    m_model->setStep(LoginFirstStep::signIn);
    m_model->setErrorMessage(std::nullopt);
    m_model->setStatusMessage(std::nullopt);
}
