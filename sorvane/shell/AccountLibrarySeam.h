#pragma once

#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QString>
#include <QUrl>

// The account library's share of start-up: install id, error telemetry, the region
// probe and the return from a browser sign-in. Does nothing until the library is
// built; its issue fills it in.
class AccountLibrarySeam
{
public:
    // The context error telemetry is configured with.
    struct TelemetryContext {
        QString appSlug;
        QString platform;
        QString appVersion;
        QString osVersion;
        QString installId;
        QUrl identityURL;
    };

    virtual ~AccountLibrarySeam() = default;
    // The stored install id of this installation for `appSlug`, created on first use.
    virtual QString installID(const QString &appSlug)
    {
        (void)appSlug;
        return QString();
    }
    virtual void configureErrorTelemetry(const TelemetryContext &context) { (void)context; }
    // Starts the flush loop; later calls do nothing.
    virtual void startErrorTelemetry() {}
    // Runs the region probe once in the background; the answer is not waited for.
    virtual void startRegionProbe(const QUrl &identityURL) { (void)identityURL; }
    // Brings the application and its main window forward after a browser sign-in.
    virtual void activateForAuthReturn() {}

    // Consent to anonymous error reports. Until the library keeps it, these read and
    // write its keys directly: on unless the user said otherwise.
    virtual bool errorTelemetryEnabled() const
    {
        return Settings::shared().boolValue(SettingsKeys::errorTelemetryEnabled, true);
    }
    virtual void setErrorTelemetryEnabled(bool enabled)
    {
        Settings::shared().setValue(SettingsKeys::errorTelemetryEnabled, enabled);
    }
    virtual bool shouldShowOptOutNote() const
    {
        return !Settings::shared().boolValue(SettingsKeys::errorTelemetryOptOutShown, false);
    }
    virtual void markOptOutNoteShown()
    {
        Settings::shared().setValue(SettingsKeys::errorTelemetryOptOutShown, true);
    }
};
