#pragma once

#include "LoginFirstStep.h"
#include "SignInResult.h"

#include "OAuthDriver.h"
#include "TolvernSignInPhase.h"

#include <QCoro/QCoroTask>
#include <QDialog>
#include <QPointer>

#include <functional>

class LoginFirstFlowModel;
class QStackedLayout;
class SIWAConsentConfirmView;
class SignInStateService;
class TolvernAccountBridge;
class TolvernSignInScreen;

// The sign-in window: a window-modal dialog over the main window, always dark, that
// hosts the library's sign-in screen and, after a native Apple sign-in created a new
// account, the consent step. Web sign-ins go through SignInStateService; the native
// Apple sheet through the account manager, falling back to the web with the Apple
// hint. The flow ends by calling onComplete; closing the dialog cancels a sign-in in
// flight. The model belongs to the host and outlives presentations. GUI thread only.
class LoginFirstFlowView : public QDialog
{
    Q_OBJECT
public:
    using Completion = std::function<void()>;
    // The window that anchors the native Apple sheet, or null for none.
    using HostWindow = std::function<QObject *()>;
    using StepHandler = std::function<void(LoginFirstStep)>;

    static const QString appName;
    static const QString valueProp;

    LoginFirstFlowView(SignInStateService &signInState, TolvernAccountBridge &bridge, LoginFirstFlowModel &model,
                       Completion onComplete, QWidget *parent = nullptr);
    ~LoginFirstFlowView() override;

    void setOnComplete(Completion onComplete) { m_onComplete = std::move(onComplete); }
    void setResizeHostWindow(StepHandler handler) { m_resizeHostWindow = std::move(handler); }
    void setHostWindow(HostWindow hostWindow) { m_hostWindow = std::move(hostWindow); }

    // Whether the network is reachable; the shell feeds the reachability service in.
    bool isOnline() const { return m_isOnline; }
    void setOnline(bool online);

    LoginFirstFlowModel *model() const { return m_model; }
    TolvernSignInPhase signInPhase() const;
    TolvernSignInScreen *signInScreen() const { return m_screen; }
    // The consent step while it shows, else null.
    SIWAConsentConfirmView *consentView() const;

    // Escape and the close button: a sign-in in flight is cancelled first.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void signIn(OAuthDriver::ProviderHint provider);
    QCoro::Task<void> runSignIn(OAuthDriver::ProviderHint provider);
    QCoro::Task<void> runNativeAppleSignIn(QObject *window);
    QCoro::Task<void> runWebSignIn(OAuthDriver::ProviderHint provider);
    void handleShellSignInResult(const SignInResult &result, OAuthDriver::ProviderHint provider);
    void afterSignIn(OAuthDriver::ProviderHint provider, bool afterNativeApple);
    void routePostAuth();
    void signOutToSignIn();
    void cancelPendingSignIn();
    void screenAppeared();
    void onStepChanged(LoginFirstStep step);
    void showStep();
    void refreshPhase();
    void refreshSignedInEmail();
    QObject *appleSheetWindow() const;

    QPointer<SignInStateService> m_signInState;
    QPointer<TolvernAccountBridge> m_bridge;
    QPointer<LoginFirstFlowModel> m_model;
    Completion m_onComplete;
    StepHandler m_resizeHostWindow;
    HostWindow m_hostWindow;
    bool m_didShowLogin = false;
    bool m_didTrackOnboardingStarted = false;
    bool m_isOnline = true;

    QStackedLayout *m_stack = nullptr;
    TolvernSignInScreen *m_screen = nullptr;
    QPointer<SIWAConsentConfirmView> m_consentView;
};
