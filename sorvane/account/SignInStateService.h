#pragma once

#include "SignInResult.h"
#include "TolvernAccountManager.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class TolvernAccountBridge;
class QWidget;

// The sign-in state views read, and the one place a web sign-in starts from the
// application. Each property signals only when it changes. GUI thread only.
class SignInStateService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isAuthenticated READ isAuthenticated NOTIFY isAuthenticatedChanged)
    Q_PROPERTY(bool isAuthenticating READ isAuthenticating NOTIFY isAuthenticatingChanged)
    Q_PROPERTY(QString tolvernAccountID READ tolvernAccountID NOTIFY tolvernAccountIDChanged)
    Q_PROPERTY(QString accountEmail READ accountEmail NOTIFY accountEmailChanged)
public:
    static std::unique_ptr<SignInStateService> make(TolvernAccountBridge &bridge);
    ~SignInStateService() override;

    // The application's one instance, set by the shell; null before (and in tests
    // that make their own).
    static SignInStateService *shared();
    static void setShared(SignInStateService *service);

    static constexpr const char *openFailedMessage = "Could not open sign-in. Please try again.";
    static constexpr const char *fallbackFailedMessage = "Sign-in failed. Please try again.";

    bool isAuthenticated() const { return m_isAuthenticated; }
    bool isAuthenticating() const { return m_isAuthenticating; }
    QString tolvernAccountID() const { return m_tolvernAccountID; }
    QString accountEmail() const { return m_accountEmail; }
    QString accountDisplayName() const;

    // Never throws.
    QCoro::Task<SignInResult> beginSignIn(OAuthDriver::ProviderHint provider);

    // The window a sign-in is anchored to: the active window, else the first visible
    // top-level one; null when none is shown.
    static QWidget *primaryWindow();

    // An error as the "reason" of "auth_failed" and the log line show it: the case name,
    // with its labelled values in parentheses when it has any.
    static QString rendering(const TolvernError &error);

Q_SIGNALS:
    void isAuthenticatedChanged();
    void isAuthenticatingChanged();
    void tolvernAccountIDChanged();
    void accountEmailChanged();

private:
    explicit SignInStateService(TolvernAccountBridge &bridge);
    void applyManagerState(const TolvernAccountManager::State &state);
    void setAuthenticating(bool value);

    QPointer<TolvernAccountBridge> m_bridge;
    std::unique_ptr<TolvernAccountManager::StateSubscription> m_managerStateSubscription;
    bool m_isAuthenticated = false;
    bool m_isAuthenticating = false;
    QString m_tolvernAccountID;
    QString m_accountEmail;
};
