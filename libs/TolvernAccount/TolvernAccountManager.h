#pragma once

#include "DPoPSigner.h"
#include "LibVersionPolicy.h"
#include "OAuthDriver.h"
#include "SignInWithAppleDriver.h"
#include "StoredSession.h"
#include "TolvernAccount.h"
#include "TolvernConfig.h"
#include "TolvernDeprecationNotice.h"
#include "TolvernError.h"
#include "TvsResponse.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class AuthClient;
class DPoPSigner;
class QWindow;
class TolvernAccountDataStorage;

// The one object a host talks to for its session: it owns the keyring store, the
// identity-service client, the web sign-in driver and the DPoP signer, runs the
// sign-in flows, restores and recovers the stored session, signs out, and reports
// every state change.
//
// Lives on the GUI thread (where the configuration's network access manager lives);
// every flow is a coroutine there, and every state change and handler call happens
// there. Only the handler registry is shared across threads, under its own mutex.
//
// Overlaps are ordered: a sign-out wins over every flow that began before it (what
// their refresh or exchange opened is revoked, not stored), and the newest sign-in
// wins over older ones (they end as authorizationCancelled and leave the state alone).
// A flow waiting in the browser or for the Apple sheet ends as cancelled when the
// manager goes; one waiting on the network must end before.
class TolvernAccountManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isOffline READ isOffline NOTIFY isOfflineChanged)
public:
    class State
    {
    public:
        enum class Kind { signingIn, signedIn, failed, signedOut };

        static State signingIn(bool pending) { return State(Kind::signingIn, pending, {}, {}); }
        static State signedIn(TolvernAccount account) { return State(Kind::signedIn, false, std::move(account), {}); }
        static State failed(TolvernError error) { return State(Kind::failed, false, {}, std::move(error)); }
        static State signedOut() { return State(Kind::signedOut, false, {}, {}); }

        Kind kind() const { return m_kind; }
        // Meaningful for signingIn only.
        bool pending() const { return m_pending; }
        // Present for signedIn only.
        const std::optional<TolvernAccount> &account() const { return m_account; }
        // Present for failed only.
        const std::optional<TolvernError> &error() const { return m_error; }

        bool operator==(const State &other) const = default;

    private:
        State(Kind kind, bool pending, std::optional<TolvernAccount> account, std::optional<TolvernError> error)
            : m_kind(kind), m_pending(pending), m_account(std::move(account)), m_error(std::move(error))
        {
        }
        Kind m_kind;
        bool m_pending;
        std::optional<TolvernAccount> m_account;
        std::optional<TolvernError> m_error;
    };

    // Unsubscribes when destroyed; holds the manager weakly.
    class StateSubscription
    {
    public:
        explicit StateSubscription(std::function<void()> cancel) : m_cancel(std::move(cancel)) {}
        ~StateSubscription()
        {
            if (m_cancel)
                m_cancel();
        }
        StateSubscription(const StateSubscription &) = delete;
        StateSubscription &operator=(const StateSubscription &) = delete;

    private:
        std::function<void()> m_cancel;
    };

    using StateHandler = std::function<void(const State &state)>;
    using Clock = std::function<QDateTime()>;
    // Stands in for the platform's Apple sheet; tests give a fixed authorization.
    using AppleAuthorize = std::function<QCoro::Task<SignInWithAppleDriver::AppleAuthorization>(QObject *window)>;

    // What tests replace; each left empty takes the production part.
    struct Dependencies {
        // Default: KeychainStorage(appSlug, keychainAccessGroup).
        std::shared_ptr<TolvernAccountDataStorage> storage;
        // Default: the current UTC time.
        Clock clock;
        // Default: SignInWithAppleDriver(config).authorize, unavailable on Linux.
        AppleAuthorize appleAuthorize;
        // Default: keyringOrMemory.
        std::optional<DPoPSigner::KeySource> dpopKeySource;
    };

    explicit TolvernAccountManager(TolvernConfig config, QObject *parent = nullptr);
    TolvernAccountManager(TolvernConfig config, Dependencies dependencies, QObject *parent = nullptr);
    ~TolvernAccountManager() override;

    // Observables; each signals only when its value changes.
    const State &state() const { return m_state; }
    const std::optional<LibVersionPolicy> &libVersionPolicy() const { return m_libVersionPolicy; }
    const std::optional<TolvernDeprecationNotice> &lastDeprecationNotice() const { return m_lastDeprecationNotice; }
    bool isOffline() const { return m_isOffline; }
    const std::optional<bool> &lastAppleSignInIsNewUser() const { return m_lastAppleSignInIsNewUser; }
    // Always with an install identifier.
    const TolvernConfig &config() const { return m_config; }

    // Web sign-in; hands over to the browser flow when the configuration prefers it.
    // `window` is only brought back on return. Throws TolvernError.
    QCoro::Task<TolvernAccount> signIn(QObject *window, std::optional<OAuthDriver::ProviderHint> provider,
                                       std::optional<QString> installID = std::nullopt);
    QCoro::Task<TolvernAccount> signInViaSystemBrowser(std::optional<OAuthDriver::ProviderHint> provider,
                                                       std::optional<QString> installID = std::nullopt);
    // Native Apple sign-in: fails with "siwa_unavailable" here unless a test driver is set.
    QCoro::Task<TolvernAccount> signInWithApple(QObject *window, std::optional<QString> installID = std::nullopt);

    // Hands the browser's redirect to the sign-in in flight; false without one.
    bool resume(const QUrl &url);
    // Cancels the sign-in in flight (its caller gets authorizationCancelled); false without one.
    bool cancelSignIn();

    // Brings the application forward after the browser returned: the given window,
    // else the focused one, else the first visible top-level window.
    static void activateForAuthReturn(QWindow *bringing);

    // Calls `handler` at once with the current state, then after every transition
    // (also to an equal state) until the subscription is destroyed.
    std::unique_ptr<StateSubscription> onStateChange(StateHandler handler);

    std::optional<QString> dpopThumbprint() const;
    // Nullopt without a signer; throws what the signer throws.
    std::optional<QString> generateDPoPProof(const QUrl &htu, const QString &htm,
                                             std::optional<QString> accessToken = std::nullopt) const;

    // Brings back the stored session at launch. With `forceRefresh`, a still-valid
    // session with a refresh token is checked by running the recovery once signed in.
    // Never throws.
    QCoro::Task<std::optional<TolvernAccount>> restore(bool forceRefresh);
    // Renews a session the service rejected: true when a session remains (renewed or
    // held offline), false when it was dropped (state signedOut).
    QCoro::Task<bool> recoverRejectedSession();
    static bool isDefinitiveAuthFailure(const TolvernError &error);
    // Ends the session locally and, best effort, at the service. Never throws; answers
    // the revoke's error, if any, so the host can log it.
    QCoro::Task<std::optional<TolvernError>> signOut();
    // Throws notSignedIn without a stored session, else what the client throws.
    QCoro::Task<QString> getAppDataToken();

    // The session the client's requests carry: the one held in memory after a failed
    // keyring write, else the stored one.
    std::optional<StoredSession> currentStoredSession() const;

    // For tests and the host's own requests.
    AuthClient &authClient() const { return *m_authClient; }
    OAuthDriver &oauthDriver() const { return *m_oauthDriver; }
    TolvernAccountDataStorage &storage() const { return *m_storage; }

Q_SIGNALS:
    void stateChanged();
    void libVersionPolicyChanged();
    void lastDeprecationNoticeChanged();
    void isOfflineChanged();
    void lastAppleSignInIsNewUserChanged();

private:
    struct AppleWait;

    void transition(const State &state);
    void setOffline(bool offline);
    void setLastAppleSignInIsNewUser(std::optional<bool> value);
    void handleDeprecationNotices(const QList<TolvernDeprecationNotice> &notices);
    QDateTime now() const;

    QCoro::Task<TolvernAccount> webSignIn(QObject *window, std::optional<OAuthDriver::ProviderHint> provider,
                                          std::optional<QString> installID, bool viaSystemBrowser);
    // Starts a flow: cancels the one before and enters signingIn; answers its generation.
    quint64 beginSignIn();
    // Throws authorizationCancelled when a newer sign-in or a sign-out came since the flow began.
    void ensureCurrent(quint64 generation, quint64 signOutEpoch) const;
    bool isCurrent(quint64 generation, quint64 signOutEpoch) const;
    // The error a failed flow hands its caller; only the current flow reaches the state.
    TolvernError failSignIn(std::exception_ptr error, quint64 generation, quint64 signOutEpoch);
    QCoro::Task<SignInWithAppleDriver::AppleAuthorization> awaitAppleAuthorization(QObject *window);

    // One refresh of the stored session through the client's refresher; a renewed
    // session is adopted (signedIn, online) unless a sign-out or a sign-in overtook it.
    struct Renewal {
        enum class Outcome { renewed, definitive, noVerdict, overtaken };
        Outcome outcome;
        // The account now signed in, when renewed.
        std::optional<TolvernAccount> account;
    };
    QCoro::Task<Renewal> renew(StoredSession stored);

    // Writes the exchanged session and signs in; a keyring failure is thrown.
    TolvernAccount complete(const TvsResponse &response);
    // A refreshed session: stored, or held in memory when the keyring refuses it.
    TolvernAccount adoptRefreshed(const TvsResponse &response);
    StoredSession sessionFrom(const TvsResponse &response) const;
    // The session a sign-in stored while `refreshedFrom` was being refreshed, if any.
    std::optional<StoredSession> replacedSession(const StoredSession &refreshedFrom, const TvsResponse &response) const;
    // The session to act on; writes a held one first when the keyring takes it now.
    std::optional<StoredSession> readSession();
    void deleteSession();
    void keepRotatedSession(const QString &usedRefreshToken, const TvsResponse &response);
    // Revokes, best effort and once, a session nobody will keep.
    void discardOrphan(const QString &tvs);

    TolvernConfig m_config;
    Dependencies m_dependencies;
    std::shared_ptr<TolvernAccountDataStorage> m_storage;
    std::shared_ptr<const DPoPSigner> m_dpopSigner;
    // Shared with the best-effort revokes that may outlive a flow.
    std::shared_ptr<AuthClient> m_authClient;
    std::unique_ptr<OAuthDriver> m_oauthDriver;
    TolvernLogger m_logger;

    State m_state = State::signedOut();
    std::optional<LibVersionPolicy> m_libVersionPolicy;
    std::optional<TolvernDeprecationNotice> m_lastDeprecationNotice;
    bool m_isOffline = false;
    std::optional<bool> m_lastAppleSignInIsNewUser;

    // A refreshed session whose keyring write failed; its refresh token is spent, so
    // it is kept here and written at the next chance.
    std::optional<StoredSession> m_unsavedSession;
    // Bumped by each sign-out: a flow that started under an older value writes nothing.
    quint64 m_signOutEpoch = 0;
    int m_signOutsInFlight = 0;
    // Bumped by each sign-in: only the newest flow's failure reaches the state.
    quint64 m_signInGeneration = 0;
    // The Apple authorization being waited for, so a newer sign-in can end it.
    std::shared_ptr<AppleWait> m_appleWait;
    QSet<QString> m_discardedTokens;

    mutable std::mutex m_handlersMutex;
    QHash<QUuid, StateHandler> m_stateChangeHandlers;
    // Lets the subscriptions and hooks see that the manager is gone.
    std::shared_ptr<TolvernAccountManager *> m_self;
};
