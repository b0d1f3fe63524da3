#include "AccountSessionManager.h"

#include "AccountSessionStorage.h"
#include "DPoPSigner.h"
#include "KeychainStorage.h"
#include "QueuedHop.h"
#include "TolvernAccountBridge.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticLogBuffer.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QCoreApplication>

namespace {
const QString category = QStringLiteral("auth");

void logWarning(const QString &message, const TolvernError &error)
{
    DiagnosticLogBuffer::shared().add(DiagnosticLogBuffer::Level::Warn, category, message,
                                      LoggedError{QStringLiteral("TolvernError"), error.errorDescription()});
}

bool isUsable(const std::optional<TolvernAccountSession> &session)
{
    return session && session->sessionToken.startsWith(QLatin1String("tvs_"))
           && session->tolvernAccountID.startsWith(QLatin1String("ta_"));
}
} // namespace

AccountSessionManager &AccountSessionManager::shared()
{
    // Never destroyed: queued work and the launch task may outlive main()'s objects.
    static AccountSessionManager *const instance = new AccountSessionManager;
    return *instance;
}

AccountSessionManager::AccountSessionManager(QObject *parent)
    : QObject(parent)
{
}

AccountSessionManager::~AccountSessionManager() = default;

void AccountSessionManager::adoptSession(std::optional<TolvernAccountSession> session)
{
    const bool wasAuthenticated = m_isAuthenticated;
    m_session = std::move(session);
    Q_EMIT sessionAssigned();
    m_isAuthenticated = isUsable(m_session);
    Q_EMIT isAuthenticatedAssigned();
    AccountSessionStorage::setCurrent(m_session);
    if (m_isAuthenticated != wasAuthenticated)
        Q_EMIT sessionDidChange();
}

void AccountSessionManager::attach(TolvernAccountBridge &bridge)
{
    m_bridge = &bridge;
    AccountSessionStorage::clearLegacyKeychain();
    const QPointer<AccountSessionManager> self(this);
    m_managerStateSubscription = bridge.manager().onStateChange([self](const TolvernAccountManager::State &state) {
        // The library may report from any thread; the mapping runs on the GUI thread in
        // the order the states came.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, state] {
                if (self)
                    self->applyManagerState(state);
            },
            Qt::QueuedConnection);
    });
    restoreAtLaunch(&bridge);
}

QCoro::Task<void> AccountSessionManager::restoreAtLaunch(QPointer<TolvernAccountBridge> bridge)
{
    try {
        auto restore = bridge->restore();
        co_await std::move(restore);
    } catch (const TolvernError &error) {
        logWarning(QStringLiteral("launch session-restore failed step=restore"), error);
    }
    // Behind the mapping queued for the restored state, so the id below is the new one.
    co_await QueuedHop();
    if (!m_tolvernAccountID.isEmpty())
        Analytics::identify(m_tolvernAccountID);
}

void AccountSessionManager::applyManagerState(const TolvernAccountManager::State &state)
{
    switch (state.kind()) {
    case TolvernAccountManager::State::Kind::signingIn:
    case TolvernAccountManager::State::Kind::failed:
        return;
    case TolvernAccountManager::State::Kind::signedIn: {
        if (!state.account())
            return;
        const QString accountID = state.account()->tolvernAccountId.raw;
        if (m_tolvernAccountID != accountID) {
            m_tolvernAccountID = accountID;
            Q_EMIT tolvernAccountIDChanged();
        }
        m_accountEmail = state.account()->emailPrimary;
        Q_EMIT accountEmailAssigned();
        if (!m_bridge)
            return;
        if (const std::optional<TolvernAccountBridge::Session> current = m_bridge->currentSession())
            adoptSession(TolvernAccountSession{current->tvs, current->accountID, current->email, std::nullopt});
        return;
    }
    case TolvernAccountManager::State::Kind::signedOut: {
        const QString previous = m_tolvernAccountID;
        m_tolvernAccountID.clear();
        if (!previous.isEmpty())
            Q_EMIT tolvernAccountIDChanged();
        m_accountEmail.clear();
        Q_EMIT accountEmailAssigned();
        adoptSession(std::nullopt);
        if (!previous.isEmpty())
            Analytics::reset();
        return;
    }
    }
}

void AccountSessionManager::signOut()
{
    const QPointer<AccountSessionManager> self(this);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [self] { signOutQueued(self); }, Qt::QueuedConnection);
}

QCoro::Task<void> AccountSessionManager::signOutQueued(QPointer<AccountSessionManager> self)
{
    if (self && self->m_bridge) {
        auto signOut = self->m_bridge->manager().signOut();
        if (const std::optional<TolvernError> error = co_await std::move(signOut))
            logWarning(QStringLiteral("sign-out request failed (continuing local clear)"), *error);
    }
    if (self)
        self->adoptSession(std::nullopt);
    Analytics::reset();
}

QCoro::Task<void> AccountSessionManager::resetAndClearLocalData()
{
    const QPointer<AccountSessionManager> self(this);
    if (m_bridge) {
        auto signOut = m_bridge->manager().signOut();
        if (const std::optional<TolvernError> error = co_await std::move(signOut))
            logWarning(QStringLiteral("reset: sign-out request failed (continuing local wipe)"), *error);
    }
    if (!self)
        co_return;
    signOut();
    Analytics::reset();
    KeychainStorage storage(QStringLiteral("sorvane"));
    for (const char *key : {KeychainStorage::Keys::session, KeychainStorage::Keys::oidcAuthState,
                            KeychainStorage::Keys::dpopJwkThumbprint})
        storage.deleteData(QLatin1String(key));
    // The device key goes too: the next sign-in must not be linkable to the old one.
    // Every signer of the process takes a new key, which the next launch finds.
    DPoPSigner::discardKeyringKey();
    Settings::shared().remove(SettingsKeys::hasOpenedWelcomeDoc);
    Analytics::track(QStringLiteral("local_data_reset"), {{QStringLiteral("app_slug"), QStringLiteral("sorvane")}});
}

bool AccountSessionManager::handleOpenURL(const QUrl &url)
{
    if (url.scheme() != QLatin1String("sorvane"))
        return false;
    const QString host = url.host();
    if (host.isEmpty())
        return false;
    return host == QLatin1String("auth") || host == QLatin1String("auth-callback")
           || host == QLatin1String("signed-in");
}
