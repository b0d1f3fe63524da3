#pragma once

#include "AccountIntegrationSeam.h"

#include <QMetaObject>

#include <functional>
#include <memory>

// The account integration behind the start-up seam: the one account bridge, the
// session holder following it, the sign-in state, and the session token reports and
// server export send with. main() owns one for the process; destroying it unhooks
// the token providers and the export's sign-in hook.
class ShellAccountIntegration : public AccountIntegrationSeam
{
public:
    // Tests build the bridge over their own services; empty makes the application's.
    using BridgeFactory = std::function<std::unique_ptr<TolvernAccountBridge>()>;
    explicit ShellAccountIntegration(BridgeFactory makeBridge = {});
    ~ShellAccountIntegration() override;

    void createBridge() override;
    void attachSession() override;
    void makeSignInState() override;
    bool hasBridge() const override;
    bool resumeSignIn(const QUrl &url) override;
    bool handleOpenURL(const QUrl &url) override;
    QString accountID() const override;
    void setAccountIDChangedCallback(std::function<void(const QString &accountID)> callback) override;

    // What an export refused for want of a sign-in opens; nothing until the shell sets it.
    void setSignInPresenter(std::function<void()> presenter);

    TolvernAccountBridge *bridge() const override { return m_bridge.get(); }
    SignInStateService *signInState() const override { return m_signInState.get(); }

private:
    BridgeFactory m_makeBridge;
    std::unique_ptr<TolvernAccountBridge> m_bridge;
    std::unique_ptr<SignInStateService> m_signInState;
    std::function<void()> m_signInPresenter;
    QMetaObject::Connection m_accountIDConnection;
};
