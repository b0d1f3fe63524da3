#include "TolvernAccountBridge.h"

#include "AccountLog.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticEndpoints.h"
#include "documents/Constants.h"
#include "platform/UpdateFetch.h"

#include "TolvernAccountLibrary.h"

#include <QCoro/QCoroSignal>
#include <QNetworkAccessManager>
#include <QTimer>

namespace {
QPointer<TolvernAccountBridge> &sharedInstance()
{
    static QPointer<TolvernAccountBridge> bridge;
    return bridge;
}
} // namespace

QUrl TolvernAccountBridge::endpoint(const QString &override, const QUrl &builtIn, const char *variable)
{
    if (override.isEmpty())
        return builtIn;
    const QUrl candidate(override, QUrl::StrictMode);
    // Session tokens must not travel in the clear beyond this computer.
    if (!UpdateFetch::refusalReason(candidate).isEmpty()) {
        qCWarning(lcAccount) << "Ignoring" << variable << ": only https, or http to this computer";
        return builtIn;
    }
    QUrl url = candidate;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    url.setPath(path);
    return url;
}

TolvernConfig TolvernAccountBridge::makeConfig(QNetworkAccessManager *network, std::optional<QString> installID)
{
    const QUrl authority = endpoint(qEnvironmentVariable(authorityVariable),
                                    QUrl(QString::fromLatin1(defaultAuthorityURL)), authorityVariable);
    const QUrl identity = endpoint(qEnvironmentVariable(identityVariable),
                                   QUrl(QString::fromLatin1(DiagnosticEndpoints::defaultIdentityOrigin)),
                                   identityVariable);
    return TolvernConfig(authority, identity, QStringLiteral("sorvane"), QStringLiteral("sorvane"),
                         Constants::version(), QString::fromLatin1(TolvernAccountLibrary::libVersion),
                         QUrl(QStringLiteral("sorvane://auth/callback")), AuthScheme::systemBrowser, std::nullopt,
                         {QStringLiteral("tolvern.account")}, network, TolvernLogger(), std::move(installID));
}

TolvernAccountBridge::TolvernAccountBridge(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
    // Analytics seeds its install metrics first, so both name this install alike.
    m_manager = std::make_unique<TolvernAccountManager>(makeConfig(m_network, Analytics::installID()));
    subscribe();
}

TolvernAccountBridge::TolvernAccountBridge(TolvernConfig config, TolvernAccountManager::Dependencies dependencies,
                                           QObject *parent)
    : QObject(parent)
    , m_manager(std::make_unique<TolvernAccountManager>(std::move(config), std::move(dependencies)))
{
    subscribe();
}

TolvernAccountBridge::~TolvernAccountBridge()
{
    m_bridgeStateSubscription.reset();
    if (sharedInstance() == this)
        sharedInstance() = nullptr;
}

void TolvernAccountBridge::subscribe()
{
    // The bridge keeps none of the state itself: the session holder and the sign-in
    // state map it. The registration lasts as long as the bridge.
    m_bridgeStateSubscription = m_manager->onStateChange([](const TolvernAccountManager::State &) {});
}

TolvernAccountBridge *TolvernAccountBridge::sharedBridge()
{
    return sharedInstance();
}

void TolvernAccountBridge::setSharedBridge(TolvernAccountBridge *bridge)
{
    sharedInstance() = bridge;
}

QCoro::Task<std::optional<TolvernAccount>> TolvernAccountBridge::restore()
{
    QPointer<TolvernAccountBridge> self(this);
    auto task = m_manager->restore(true);
    std::optional<TolvernAccount> account = co_await std::move(task);
    if (!account || !self)
        co_return account;
    setDidJustRestore(true);
    // Each restore clears the flag on its own timer; the bridge's end stops it.
    QTimer::singleShot(m_restoreFlagDuration, this, [this] { setDidJustRestore(false); });
    co_return account;
}

std::optional<TolvernAccountBridge::Session> TolvernAccountBridge::currentSession() const
{
    const TolvernAccountManager::State &state = m_manager->state();
    if (state.kind() != TolvernAccountManager::State::Kind::signedIn || !state.account())
        return std::nullopt;
    // The session the library's own requests carry: after a refresh whose keyring
    // write failed, the stored item holds a token that is already spent.
    const std::optional<StoredSession> stored = m_manager->currentStoredSession();
    if (!stored)
        return std::nullopt;
    return Session{stored->tvs, state.account()->tolvernAccountId.raw, state.account()->emailPrimary};
}

QCoro::Task<std::optional<TolvernAccountBridge::Session>> TolvernAccountBridge::freshSession()
{
    QPointer<TolvernAccountBridge> self(this);
    if (m_manager->state().kind() == TolvernAccountManager::State::Kind::signedIn) {
        const std::optional<StoredSession> stored = m_manager->currentStoredSession();
        const QDateTime renewBefore = QDateTime::currentDateTimeUtc().addSecs(renewalWindowSeconds);
        if (stored && stored->expiresAt <= renewBefore) {
            if (m_renewing) {
                // One refresh for every caller: its refresh token is single-use.
                auto finished = qCoro(this, &TolvernAccountBridge::renewalFinished);
                co_await std::move(finished);
            } else {
                m_renewing = true;
                bool kept = true;
                try {
                    auto renewal = m_manager->recoverRejectedSession();
                    kept = co_await std::move(renewal);
                } catch (const std::exception &error) {
                    qCWarning(lcAccount) << "Renewing the session failed:" << error.what();
                }
                if (!self)
                    co_return std::nullopt;
                if (!kept)
                    qCInfo(lcAccount) << "The session could not be renewed and was ended";
                m_renewing = false;
                Q_EMIT renewalFinished();
            }
        }
    }
    if (!self)
        co_return std::nullopt;
    co_return currentSession();
}

void TolvernAccountBridge::setDidJustRestore(bool value)
{
    if (m_didJustRestore == value)
        return;
    m_didJustRestore = value;
    Q_EMIT didJustRestoreChanged();
}
