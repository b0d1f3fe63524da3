#include "TolvernAccountManager.h"

#include "Internal/AuthClient.h"
#include "KeychainStorage.h"
#include "TolvernJSON.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QWindow>

#include <coroutine>
#include <exception>

#include <syslog.h>

namespace {

const QString sessionKey = QString::fromLatin1(KeychainStorage::Keys::session);

TolvernConfig withInstallID(TolvernConfig config)
{
    if (config.installID())
        return config;
    return config.withAutoInstallID();
}

void logPersistFailure(const TolvernError &error)
{
    syslog(LOG_ERR, "session persist after refresh failed: %s", error.errorDescription().toUtf8().constData());
}

// Revokes a session nobody keeps; the client stays alive until the request ends.
QCoro::Task<> revokeQuietly(std::shared_ptr<AuthClient> client, QString tvs)
{
    try {
        auto revoke = client->revokeSession(tvs);
        co_await std::move(revoke);
    } catch (...) {
        // Best effort: the session expires at the service on its own.
    }
}

} // namespace

// The Apple authorization in flight, answered by the driver or ended by a newer
// sign-in, whichever comes first.
struct TolvernAccountManager::AppleWait {
    bool done = false;
    std::optional<SignInWithAppleDriver::AppleAuthorization> value;
    std::exception_ptr error;
    std::coroutine_handle<> waiter;

    void finish(std::optional<SignInWithAppleDriver::AppleAuthorization> answer, std::exception_ptr failure)
    {
        if (done)
            return;
        done = true;
        value = std::move(answer);
        error = failure;
        if (auto handle = std::exchange(waiter, {}))
            handle.resume();
    }

    struct Awaiter {
        std::shared_ptr<AppleWait> wait;
        bool await_ready() const { return wait->done; }
        void await_suspend(std::coroutine_handle<> handle) { wait->waiter = handle; }
        SignInWithAppleDriver::AppleAuthorization await_resume()
        {
            if (wait->error)
                std::rethrow_exception(wait->error);
            return *wait->value;
        }
    };

    static QCoro::Task<> feed(std::shared_ptr<AppleWait> wait, QCoro::Task<SignInWithAppleDriver::AppleAuthorization> task)
    {
        try {
            SignInWithAppleDriver::AppleAuthorization authorization = co_await std::move(task);
            wait->finish(std::move(authorization), {});
        } catch (...) {
            wait->finish(std::nullopt, std::current_exception());
        }
    }
};

TolvernAccountManager::TolvernAccountManager(TolvernConfig config, QObject *parent)
    : TolvernAccountManager(std::move(config), Dependencies(), parent)
{
}

TolvernAccountManager::TolvernAccountManager(TolvernConfig config, Dependencies dependencies, QObject *parent)
    : QObject(parent)
    , m_config(withInstallID(std::move(config)))
    , m_dependencies(std::move(dependencies))
    , m_logger(m_config.logger())
    , m_self(std::make_shared<TolvernAccountManager *>(this))
{
    m_storage = m_dependencies.storage
                    ? m_dependencies.storage
                    : std::make_shared<KeychainStorage>(m_config.appSlug(), m_config.keychainAccessGroup());
    try {
        m_dpopSigner = std::make_shared<DPoPSigner>(
            m_dependencies.dpopKeySource.value_or(DPoPSigner::KeySource::keyringOrMemory));
    } catch (...) {
        // Requests then go without proofs; the host's proofs answer nothing.
        m_dpopSigner.reset();
    }
    m_authClient = std::make_shared<AuthClient>(m_config, m_dpopSigner);
    m_oauthDriver = std::make_unique<OAuthDriver>(m_config);

    const std::weak_ptr<TolvernAccountManager *> self = m_self;
    m_authClient->onDeprecationNotice = [self](const QList<TolvernDeprecationNotice> &notices) {
        if (const auto manager = self.lock())
            (*manager)->handleDeprecationNotices(notices);
    };
    m_authClient->currentSessionProvider = [self]() -> std::optional<StoredSession> {
        if (const auto manager = self.lock())
            return (*manager)->readSession();
        return std::nullopt;
    };
    m_authClient->onSessionRefreshed = [self](const QString &used, const TvsResponse &response) {
        if (const auto manager = self.lock())
            (*manager)->keepRotatedSession(used, response);
    };
}

TolvernAccountManager::~TolvernAccountManager()
{
    // Flows still waiting end as cancelled and touch nothing of this object.
    m_self.reset();
    ++m_signInGeneration;
    if (const auto wait = std::exchange(m_appleWait, {}))
        wait->finish(std::nullopt, std::make_exception_ptr(TolvernError::authorizationCancelled()));
    m_oauthDriver.reset();
}

QDateTime TolvernAccountManager::now() const
{
    return m_dependencies.clock ? m_dependencies.clock() : QDateTime::currentDateTimeUtc();
}

// Observables and the handler registry

void TolvernAccountManager::transition(const State &state)
{
    const bool changed = !(m_state == state);
    m_state = state;
    if (changed)
        Q_EMIT stateChanged();
    QList<StateHandler> handlers;
    {
        const std::lock_guard<std::mutex> guard(m_handlersMutex);
        handlers = m_stateChangeHandlers.values();
    }
    // Outside the lock: a handler may subscribe or unsubscribe.
    for (const StateHandler &handler : std::as_const(handlers))
        handler(state);
}

void TolvernAccountManager::setOffline(bool offline)
{
    if (m_isOffline == offline)
        return;
    m_isOffline = offline;
    Q_EMIT isOfflineChanged();
}

void TolvernAccountManager::setLastAppleSignInIsNewUser(std::optional<bool> value)
{
    if (m_lastAppleSignInIsNewUser == value)
        return;
    m_lastAppleSignInIsNewUser = value;
    Q_EMIT lastAppleSignInIsNewUserChanged();
}

void TolvernAccountManager::handleDeprecationNotices(const QList<TolvernDeprecationNotice> &notices)
{
    for (const TolvernDeprecationNotice &notice : notices) {
        // Queued per notice, so the last of a list is the one that stays.
        QMetaObject::invokeMethod(
            this,
            [this, notice] {
                if (m_lastDeprecationNotice != notice) {
                    m_lastDeprecationNotice = notice;
                    Q_EMIT lastDeprecationNoticeChanged();
                }
                if (notice.kind != TolvernDeprecationNotice::Case::client)
                    return;
                LibVersionPolicy policy;
                policy.minVersion = notice.minVersion;
                policy.currentVersion = notice.currentVersion;
                policy.reason = notice.reason;
                if (m_libVersionPolicy != policy) {
                    m_libVersionPolicy = policy;
                    Q_EMIT libVersionPolicyChanged();
                }
            },
            Qt::QueuedConnection);
    }
}

std::unique_ptr<TolvernAccountManager::StateSubscription> TolvernAccountManager::onStateChange(StateHandler handler)
{
    const QUuid id = QUuid::createUuid();
    {
        const std::lock_guard<std::mutex> guard(m_handlersMutex);
        m_stateChangeHandlers.insert(id, handler);
    }
    handler(m_state);
    const std::weak_ptr<TolvernAccountManager *> self = m_self;
    return std::make_unique<StateSubscription>([self, id] {
        if (const auto manager = self.lock()) {
            const std::lock_guard<std::mutex> guard((*manager)->m_handlersMutex);
            (*manager)->m_stateChangeHandlers.remove(id);
        }
    });
}

// Sign-in

quint64 TolvernAccountManager::beginSignIn()
{
    const quint64 generation = ++m_signInGeneration;
    // The flow before ends as cancelled: its browser attempt and its Apple wait.
    m_oauthDriver->cancelInFlight();
    if (const auto wait = std::exchange(m_appleWait, {}))
        wait->finish(std::nullopt, std::make_exception_ptr(TolvernError::authorizationCancelled()));
    transition(State::signingIn(true));
    return generation;
}

bool TolvernAccountManager::isCurrent(quint64 generation, quint64 signOutEpoch) const
{
    return generation == m_signInGeneration && signOutEpoch == m_signOutEpoch;
}

void TolvernAccountManager::ensureCurrent(quint64 generation, quint64 signOutEpoch) const
{
    if (!isCurrent(generation, signOutEpoch))
        throw TolvernError::authorizationCancelled();
}

TolvernError TolvernAccountManager::failSignIn(std::exception_ptr error, quint64 generation, quint64 signOutEpoch)
{
    // A flow overtaken by a newer sign-in or by a sign-out leaves the state to them.
    if (!isCurrent(generation, signOutEpoch))
        return TolvernError::authorizationCancelled();
    TolvernError mapped = TolvernError::authorizationFailed(QString());
    try {
        std::rethrow_exception(error);
    } catch (const TolvernError &failure) {
        mapped = failure;
    } catch (const std::exception &failure) {
        mapped = TolvernError::authorizationFailed(QString::fromLocal8Bit(failure.what()));
    } catch (...) {
        mapped = TolvernError::authorizationFailed(QStringLiteral("unknown"));
    }
    transition(State::failed(mapped));
    return mapped;
}

QCoro::Task<TolvernAccount> TolvernAccountManager::signIn(QObject *window,
                                                         std::optional<OAuthDriver::ProviderHint> provider,
                                                         std::optional<QString> installID)
{
    if (m_config.preferredScheme() == AuthScheme::systemBrowser)
        return signInViaSystemBrowser(provider, std::move(installID));
    return webSignIn(window, provider, std::move(installID), false);
}

QCoro::Task<TolvernAccount> TolvernAccountManager::signInViaSystemBrowser(std::optional<OAuthDriver::ProviderHint> provider,
                                                                         std::optional<QString> installID)
{
    return webSignIn(nullptr, provider, std::move(installID), true);
}

QCoro::Task<TolvernAccount> TolvernAccountManager::webSignIn(QObject *window,
                                                            std::optional<OAuthDriver::ProviderHint> provider,
                                                            std::optional<QString> installID, bool viaSystemBrowser)
{
    const quint64 generation = beginSignIn();
    const quint64 epoch = m_signOutEpoch;
    std::exception_ptr error;
    try {
        auto authorize = viaSystemBrowser ? m_oauthDriver->authorizeViaSystemBrowser(provider)
                                          : m_oauthDriver->authorize(window, provider);
        const OAuthDriver::AuthorizationResult authorization = co_await std::move(authorize);
        ensureCurrent(generation, epoch);

        auto exchange = m_authClient->exchangeCode(authorization.authorizationCode, authorization.codeVerifier,
                                                   installID);
        const TvsResponse response = co_await std::move(exchange);
        if (!isCurrent(generation, epoch)) {
            discardOrphan(response.tvs);
            throw TolvernError::authorizationCancelled();
        }
        const TolvernAccount account = complete(response);
        co_return account;
    } catch (...) {
        error = std::current_exception();
    }
    throw failSignIn(error, generation, epoch);
}

QCoro::Task<SignInWithAppleDriver::AppleAuthorization> TolvernAccountManager::awaitAppleAuthorization(QObject *window)
{
    auto wait = std::make_shared<AppleWait>();
    m_appleWait = wait;
    QCoro::Task<SignInWithAppleDriver::AppleAuthorization> task =
        m_dependencies.appleAuthorize ? m_dependencies.appleAuthorize(window)
                                      : SignInWithAppleDriver(m_config).authorize(window);
    // Runs on its own; a newer sign-in may end the wait before it answers.
    AppleWait::feed(wait, std::move(task));
    AppleWait::Awaiter awaiter{wait};
    SignInWithAppleDriver::AppleAuthorization authorization = co_await awaiter;
    co_return authorization;
}

QCoro::Task<TolvernAccount> TolvernAccountManager::signInWithApple(QObject *window, std::optional<QString> installID)
{
    const quint64 generation = beginSignIn();
    const quint64 epoch = m_signOutEpoch;
    setLastAppleSignInIsNewUser(std::nullopt);
    std::exception_ptr error;
    try {
        auto authorize = awaitAppleAuthorization(window);
        const SignInWithAppleDriver::AppleAuthorization authorization = co_await std::move(authorize);
        ensureCurrent(generation, epoch);

        auto exchange = m_authClient->exchangeAppleAuthCode(authorization.authorizationCode,
                                                            authorization.identityToken, installID);
        const AppleAuthcodeResponse reply = co_await std::move(exchange);
        if (!isCurrent(generation, epoch)) {
            if (reply.tvs)
                discardOrphan(*reply.tvs);
            throw TolvernError::authorizationCancelled();
        }
        if (!reply.tvs || !reply.tolvernAccountId || !reply.email || !reply.expiresAt)
            throw TolvernError::authorizationFailed(QStringLiteral("apple_authcode_unavailable"));

        const TolvernAccount account{TolvernAccountID{*reply.tolvernAccountId}, *reply.email, std::nullopt};
        const StoredSession session{*reply.tvs, reply.refreshToken, *reply.expiresAt, account, m_config.appSlug(),
                                    now()};
        m_storage->setJSON(session, sessionKey);
        m_unsavedSession.reset();
        setOffline(false);
        setLastAppleSignInIsNewUser(reply.isNewUser);
        transition(State::signedIn(account));
        co_return account;
    } catch (...) {
        error = std::current_exception();
    }
    throw failSignIn(error, generation, epoch);
}

bool TolvernAccountManager::resume(const QUrl &url)
{
    return m_oauthDriver->resume(url);
}

bool TolvernAccountManager::cancelSignIn()
{
    return m_oauthDriver->cancelInFlight();
}

void TolvernAccountManager::activateForAuthReturn(QWindow *bringing)
{
    QWindow *window = bringing ? bringing : QGuiApplication::focusWindow();
    if (!window) {
        const QWindowList windows = QGuiApplication::topLevelWindows();
        for (QWindow *candidate : windows) {
            if (candidate->isVisible()) {
                window = candidate;
                break;
            }
        }
    }
    if (!window)
        return;
    window->raise();
    window->requestActivate();
}

// Sessions

StoredSession TolvernAccountManager::sessionFrom(const TvsResponse &response) const
{
    const TolvernAccount account{response.tolvernAccountId, response.email, std::nullopt};
    return StoredSession{response.tvs, response.refreshToken, response.expiresAt, account, response.appSlug, now()};
}

TolvernAccount TolvernAccountManager::complete(const TvsResponse &response)
{
    const StoredSession session = sessionFrom(response);
    m_storage->setJSON(session, sessionKey);
    m_unsavedSession.reset();
    transition(State::signedIn(session.account));
    return session.account;
}

TolvernAccount TolvernAccountManager::adoptRefreshed(const TvsResponse &response)
{
    const StoredSession session = sessionFrom(response);
    try {
        m_storage->setJSON(session, sessionKey);
        m_unsavedSession.reset();
    } catch (const TolvernError &error) {
        // The old refresh token is spent: keeping the old item as "offline" would lose
        // the account at the next refresh. The new session stays in memory instead.
        if (!m_unsavedSession || m_unsavedSession->tvs != session.tvs)
            logPersistFailure(error);
        m_unsavedSession = session;
    }
    transition(State::signedIn(session.account));
    setOffline(false);
    return session.account;
}

std::optional<StoredSession> TolvernAccountManager::currentStoredSession() const
{
    if (m_unsavedSession)
        return m_unsavedSession;
    return m_storage->getJSON<StoredSession>(sessionKey);
}

std::optional<StoredSession> TolvernAccountManager::replacedSession(const StoredSession &refreshedFrom,
                                                                   const TvsResponse &response) const
{
    const std::optional<StoredSession> current = currentStoredSession();
    if (!current || current->tvs == response.tvs || current->refreshToken == refreshedFrom.refreshToken)
        return std::nullopt;
    return current;
}

std::optional<StoredSession> TolvernAccountManager::readSession()
{
    if (m_unsavedSession) {
        try {
            m_storage->setJSON(*m_unsavedSession, sessionKey);
            return std::exchange(m_unsavedSession, std::nullopt);
        } catch (const TolvernError &) {
            return m_unsavedSession;
        }
    }
    return m_storage->getJSON<StoredSession>(sessionKey);
}

void TolvernAccountManager::deleteSession()
{
    m_unsavedSession.reset();
    m_storage->deleteData(sessionKey);
}

void TolvernAccountManager::keepRotatedSession(const QString &usedRefreshToken, const TvsResponse &response)
{
    // A sign-out is under way: nobody keeps what this refresh opened.
    if (m_signOutsInFlight > 0) {
        discardOrphan(response.tvs);
        return;
    }
    const std::optional<StoredSession> current = currentStoredSession();
    // Another session took the place of the one refreshed: it is left alone.
    if (!current || !current->refreshToken || *current->refreshToken != usedRefreshToken)
        return;
    const StoredSession session = sessionFrom(response);
    try {
        m_storage->setJSON(session, sessionKey);
        m_unsavedSession.reset();
    } catch (const TolvernError &error) {
        logPersistFailure(error);
        m_unsavedSession = session;
    }
}

void TolvernAccountManager::discardOrphan(const QString &tvs)
{
    if (tvs.isEmpty() || m_discardedTokens.contains(tvs))
        return;
    m_discardedTokens.insert(tvs);
    revokeQuietly(m_authClient, tvs);
}

bool TolvernAccountManager::isDefinitiveAuthFailure(const TolvernError &error)
{
    if (error.kind() == TolvernError::Case::sessionExpired)
        return true;
    return error.kind() == TolvernError::Case::serverError && error.code() == QStringLiteral("invalid_grant");
}

QCoro::Task<TolvernAccountManager::Renewal> TolvernAccountManager::renew(StoredSession stored)
{
    const quint64 epoch = m_signOutEpoch;
    std::optional<TvsResponse> refreshed;
    std::optional<TolvernError> failure;
    try {
        auto refresh = m_authClient->refreshSerialized(stored.refreshToken.value_or(QString()));
        refreshed = co_await std::move(refresh);
    } catch (const TolvernError &error) {
        failure = error;
    } catch (...) {
        failure = TolvernError::networkUnavailable();
    }
    if (epoch != m_signOutEpoch) {
        // Signed out meanwhile: what the refresh opened is not kept.
        if (refreshed)
            discardOrphan(refreshed->tvs);
        co_return Renewal{Renewal::Outcome::overtaken, std::nullopt};
    }
    if (!refreshed)
        co_return Renewal{isDefinitiveAuthFailure(*failure) ? Renewal::Outcome::definitive : Renewal::Outcome::noVerdict,
                          std::nullopt};
    if (const std::optional<StoredSession> other = replacedSession(stored, *refreshed)) {
        discardOrphan(refreshed->tvs);
        co_return Renewal{Renewal::Outcome::renewed, other->account};
    }
    const TolvernAccount account = adoptRefreshed(*refreshed);
    co_return Renewal{Renewal::Outcome::renewed, account};
}

QCoro::Task<std::optional<TolvernAccount>> TolvernAccountManager::restore(bool forceRefresh)
{
    const std::optional<StoredSession> stored = readSession();
    if (!stored)
        co_return std::nullopt;

    if (!stored->isExpired(now())) {
        transition(State::signedIn(stored->account));
        if (!forceRefresh || !stored->refreshToken)
            co_return stored->account;
        // Confirms the session with the service; one revoked there drops here.
        auto recover = recoverRejectedSession();
        const bool kept = co_await std::move(recover);
        if (!kept)
            co_return std::nullopt;
        co_return m_state.account() ? *m_state.account() : stored->account;
    }

    if (!stored->refreshToken) {
        deleteSession();
        co_return std::nullopt;
    }
    auto renewing = renew(*stored);
    const Renewal renewal = co_await std::move(renewing);
    switch (renewal.outcome) {
    case Renewal::Outcome::renewed:
        co_return renewal.account;
    case Renewal::Outcome::definitive:
        deleteSession();
        co_return std::nullopt;
    case Renewal::Outcome::noVerdict:
        // The user stays signed in on the stored session until the next try.
        transition(State::signedIn(stored->account));
        setOffline(true);
        co_return stored->account;
    case Renewal::Outcome::overtaken:
        break;
    }
    co_return std::nullopt;
}

QCoro::Task<bool> TolvernAccountManager::recoverRejectedSession()
{
    const std::optional<StoredSession> stored = readSession();
    if (!stored || !stored->refreshToken) {
        deleteSession();
        transition(State::signedOut());
        co_return false;
    }
    auto renewing = renew(*stored);
    const Renewal renewal = co_await std::move(renewing);
    switch (renewal.outcome) {
    case Renewal::Outcome::renewed:
        co_return true;
    case Renewal::Outcome::definitive:
        deleteSession();
        transition(State::signedOut());
        co_return false;
    case Renewal::Outcome::noVerdict:
        setOffline(true);
        co_return true;
    case Renewal::Outcome::overtaken:
        break;
    }
    co_return false;
}

QCoro::Task<std::optional<TolvernError>> TolvernAccountManager::signOut()
{
    // From here on, no flow that began earlier writes a session or changes the state.
    ++m_signOutEpoch;
    ++m_signOutsInFlight;
    const std::optional<StoredSession> stored = currentStoredSession();
    std::optional<TolvernError> revokeError;
    if (stored) {
        try {
            auto revoke = m_authClient->revokeSession(stored->tvs);
            co_await std::move(revoke);
        } catch (const TolvernError &error) {
            revokeError = error;
        } catch (...) {
            revokeError = TolvernError::networkUnavailable();
        }
    }
    deleteSession();
    --m_signOutsInFlight;
    transition(State::signedOut());
    co_return revokeError;
}

QCoro::Task<QString> TolvernAccountManager::getAppDataToken()
{
    const std::optional<StoredSession> stored = readSession();
    if (!stored)
        throw TolvernError::notSignedIn();
    auto token = m_authClient->getAppDataToken(stored->tvs);
    co_return co_await std::move(token);
}

std::optional<QString> TolvernAccountManager::dpopThumbprint() const
{
    if (!m_dpopSigner)
        return std::nullopt;
    return m_dpopSigner->jktThumbprint();
}

std::optional<QString> TolvernAccountManager::generateDPoPProof(const QUrl &htu, const QString &htm,
                                                                std::optional<QString> accessToken) const
{
    if (!m_dpopSigner)
        return std::nullopt;
    return m_dpopSigner->generateProof(htu, htm, accessToken);
}
