#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>
#include <optional>

// Usage events. Every part of the app records events through track(); each goes, fire
// and forget, to the analytics service's batch endpoint, and the lifecycle and sign-in
// events are mirrored to the identity service. Events carry the signed-in account or
// a per-install anonymous id, honour the user's opt-out and pass the emit throttle
// first. Callable from any thread; the requests leave from the GUI thread.
//
// The service origins are built in; SORVANE_ANALYTICS_URL and SORVANE_IDENTITY_URL
// override them for the process.
class Analytics
{
public:
    Analytics() = delete;

    // The signed-in account as the account library keeps it.
    struct StoredSession {
        QString sessionToken;
        QString accountID;
    };

    // What the account library supplies. A member left empty answers none (no session,
    // no install id, no first opening) or does nothing. They may be called from any
    // thread, and must not call back into Analytics.
    struct Providers {
        // Read at every event; none when signed out.
        std::function<std::optional<StoredSession>()> storedSession;
        // Stores `installID` as the install id unless one is stored already. Runs once,
        // before the first use of the install metrics below.
        std::function<void(const QString &installID)> seedInstallID;
        std::function<std::optional<QString>()> installID;
        std::function<bool()> shouldFireFirstOpen;
        // True when the first-open marker is stored.
        std::function<bool()> markFirstOpenFired;
    };

    // Set once at start-up, before the first event.
    static void setProviders(Providers providers);
    // The install metrics' identifier, after their one-time seeding from the
    // anonymous id; none without a provider.
    static std::optional<QString> installID();

    // At launch and when the user turns analytics back on: sends the update, relaunch
    // and first-opening events, once per process. Nothing while opted out.
    static void setup();
    // True once setup() ran with analytics on in this process.
    static bool hasSetupThisLaunch();

    // An event name (lower-case snake case) and its properties. Never fails, never waits.
    static void track(const QString &name, const QVariantMap &properties = {});
    // After a sign-in: a "ta_" account id becomes the distinct id of later events.
    static void identify(const QString &accountID);
    // Forgets the identified account and takes a fresh anonymous id. Sends nothing.
    static void reset();

    // Receives every tracked event as its caller passed it, sent or not; nullptr
    // removes it. Tests use it to see what was recorded.
    static void setObserver(std::function<void(const QString &name, const QVariantMap &properties)> observer);

    // Starts over as a new process would: no identity, not set up, a fresh throttle,
    // unseeded install metrics, origins read again. Providers and observer stay.
    static void resetForTesting();
};
