#pragma once

#include "TolvernProviderHint.h"

#include <QMessageBox>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>

class AccountHubView;
class AccountSessionManager;
class QGroupBox;
class QLabel;
class QPushButton;
class SignInStateService;
class SorvaneAccountPortfolioCard;
class TolvernAccountBridge;
class TolvernProviderButtons;
class TolvernSpinner;

// The settings window's Account tab: who is signed in, sign-in with the library's
// provider buttons, sign-out, the account web page, and the reset of the sign-in
// data kept on this computer. Follows the sign-in state; changes it only through
// the sign-in state, the account manager's cancel and the session holder.
class AccountTab : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool isResetting READ isResetting NOTIFY isResettingChanged)
public:
    // `bridge` may be null (no cancel then). `presentSignIn` brings up the sign-in
    // window after a reset; empty: nothing is shown.
    AccountTab(SignInStateService &signInState, TolvernAccountBridge *bridge, AccountSessionManager &accountSession,
               std::function<void()> presentSignIn, QWidget *parent = nullptr);
    ~AccountTab() override;

    // The maker's account page: SORVANE_WEB_URL (http or https) when set, else the
    // web site, with the path "/account". Invalid when the base does not parse.
    static QUrl accountPageURL();

    bool isResetting() const { return m_isResetting; }

    TolvernProviderButtons *providerButtons() const { return m_providerButtons; }
    SorvaneAccountPortfolioCard *card() const { return m_card; }
    AccountHubView *hubView() const { return m_hub; }
    QLabel *accountValueLabel() const { return m_accountValue; }
    QPushButton *signOutButton() const { return m_signOut; }
    QPushButton *resetButton() const { return m_reset; }
    // "Manage devices", "Export my data", "Delete account".
    const QList<QPushButton *> &accountPageButtons() const { return m_accountPageButtons; }
    // The reset confirmation and the failure alert while they are up; null otherwise.
    QMessageBox *resetConfirmation() const { return m_resetConfirm; }
    QMessageBox *alert() const { return m_alert; }

Q_SIGNALS:
    void isResettingChanged(bool resetting);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh();
    void startSignInFromSettings(TolvernProviderHint provider);
    void cancelPendingSignIn();
    void showResetConfirm();
    void performReset();
    void setResetting(bool resetting);
    void fitResetButton();
    void showAlert(const QString &title, const QString &message);
    void openAccountPage();

    SignInStateService &m_signInState;
    QPointer<TolvernAccountBridge> m_bridge;
    AccountSessionManager &m_accountSession;
    std::function<void()> m_presentSignIn;
    QUrl m_accountPage;
    bool m_isResetting = false;

    SorvaneAccountPortfolioCard *m_card = nullptr;
    QWidget *m_accountRow = nullptr;
    QLabel *m_accountValue = nullptr;
    QPushButton *m_signOut = nullptr;
    TolvernProviderButtons *m_providerButtons = nullptr;
    QList<QPushButton *> m_accountPageButtons;
    QPushButton *m_reset = nullptr;
    TolvernSpinner *m_resetSpinner = nullptr;
    QGroupBox *m_appsSection = nullptr;
    AccountHubView *m_hub = nullptr;
    QPointer<QMessageBox> m_resetConfirm;
    QPointer<QMessageBox> m_alert;
};
