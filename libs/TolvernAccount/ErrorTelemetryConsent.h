#pragma once

#include "ErrorTelemetryDefaults.h"

#include <QString>

#include <memory>
#include <optional>

// The user's consent to anonymous error reports: opt-out by default, opt-in for
// users the region probe placed in the EU. Keeps the explicit choice and the
// "note shown" flags in the host's store. Every member may be called on any thread.
class ErrorTelemetryConsent
{
public:
    struct Keys {
        static inline const QString enabled = QStringLiteral("tolvern.error_telemetry_enabled");
        static inline const QString optOutShown = QStringLiteral("tolvern.error_telemetry_opt_out_shown");
        static inline const QString euOptInShown = QStringLiteral("tolvern.error_telemetry_eu_optin_shown");
        static inline const QString resolvedIsEU = QStringLiteral("tolvern.error_telemetry_eu_region");
    };

    static inline const QString optOutNoteTitle = QStringLiteral("Before you turn this off");
    static inline const QString optOutNoteBodyTemplate = QStringLiteral(
        "These reports are fully anonymous and help us make [AppName] better for everyone \u2014 at no cost to you.");
    static inline const QString optOutNotePrimaryLabel = QStringLiteral("Keep sending reports");
    static inline const QString optOutNoteSecondaryLabel = QStringLiteral("Turn off anyway");
    static inline const QString euOptInTitle = QStringLiteral("Help improve this app?");
    static inline const QString euOptInBodyTemplate = QStringLiteral(
        "Anonymous error reports help us fix issues faster. No personal data \u2014 just crash signals.");
    static inline const QString euOptInEnableLabel = QStringLiteral("Enable");
    static inline const QString euOptInNotNowLabel = QStringLiteral("Not now");

    // The store every member reads; nullptr goes back to the library's own file.
    static void setDefaults(std::shared_ptr<ErrorTelemetryDefaults> defaults);
    static std::shared_ptr<ErrorTelemetryDefaults> defaults();

    static bool isEnabled();
    static void setEnabled(bool enabled);
    // An explicit choice is stored, or a region is cached: until then telemetry holds
    // what it observed and sends nothing, so an EU user is never reported before
    // the probe has answered.
    static bool isSettled();
    static bool shouldShowOptOutNote();
    static void markOptOutNoteShown();
    static bool shouldShowEUOptIn();
    static void markEUOptInShown();

    // The value under `key` read as a boolean, none when absent.
    static std::optional<bool> storedBool(const QString &key);
};
