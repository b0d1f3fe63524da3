#pragma once

#include "TolvernAccountManager.h"
#include "TolvernAccountSession.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

class TolvernAccountBridge;

// The application's own small record of the signed-in account, derived from the
// library's state; also start-up, sign-out, the local-data reset and the
// account-callback URL check. Announces every assignment (also of an equal value).
// GUI thread only.
class AccountSessionManager : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *sessionDidChangeNotification = "SorvaneAccountSessionDidChange";

    static AccountSessionManager &shared();
    explicit AccountSessionManager(QObject *parent = nullptr);
    ~AccountSessionManager() override;

    const std::optional<TolvernAccountSession> &session() const { return m_session; }
    bool isAuthenticated() const { return m_isAuthenticated; }
    QString tolvernAccountID() const { return m_tolvernAccountID; }
    QString accountEmail() const { return m_accountEmail; }
    TolvernAccountBridge *bridge() const { return m_bridge; }

    void adoptSession(std::optional<TolvernAccountSession> session);
    // Follows the bridge's manager and restores the stored sign-in once.
    void attach(TolvernAccountBridge &bridge);
    // Returns at once; the work runs queued on the GUI thread.
    void signOut();
    QCoro::Task<void> resetAndClearLocalData();
    // True for the account callback hosts of the "sorvane" scheme.
    static bool handleOpenURL(const QUrl &url);

Q_SIGNALS:
    // Emitted on every assignment, also of an equal value.
    void sessionAssigned();
    void isAuthenticatedAssigned();
    void tolvernAccountIDChanged();
    void accountEmailAssigned();
    // "SorvaneAccountSessionDidChange": isAuthenticated changed.
    void sessionDidChange();

private:
    void applyManagerState(const TolvernAccountManager::State &state);
    QCoro::Task<void> restoreAtLaunch(QPointer<TolvernAccountBridge> bridge);
    static QCoro::Task<void> signOutQueued(QPointer<AccountSessionManager> self);

    std::optional<TolvernAccountSession> m_session;
    bool m_isAuthenticated = false;
    QPointer<TolvernAccountBridge> m_bridge;
    QString m_tolvernAccountID;
    QString m_accountEmail;
    std::unique_ptr<TolvernAccountManager::StateSubscription> m_managerStateSubscription;
};
