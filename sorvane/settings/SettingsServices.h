#pragma once

#include "diagnostics/DiagnosticUploader.h"

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

class QWidget;
#include <variant>

// What the settings window needs of the services above it (updater, analytics, the
// account and its consent, diagnostic reports). The shell fills it in; every member
// has a do-nothing default so the window can be built and tested on its own.
class SettingsServices : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SettingsServices() override = default;

    // The updater. Not configured: no checks, the check button and the beta switch
    // are disabled.
    virtual bool updaterConfigured() const { return false; }
    virtual bool canCheckForUpdates() const { return false; }
    virtual QString updateStatusMessage() const { return {}; }
    virtual void checkForUpdates() {}

    // Usage analytics.
    virtual void track(const QString &event, const QVariantMap &properties = {})
    {
        (void)event;
        (void)properties;
    }
    virtual void setupAnalytics() {}
    virtual void resetAnalytics() {}
    virtual bool analyticsSetUpThisLaunch() const { return false; }

    // The signed-in account's id; empty when signed out.
    virtual QString accountID() const { return {}; }

    // Consent to anonymous error reports, as the account library keeps it. The
    // default reads and writes the library's keys ("tolvern.error_telemetry_enabled",
    // "tolvern.error_telemetry_opt_out_shown"); on unless the user said otherwise.
    virtual bool errorTelemetryEnabled() const;
    virtual void setErrorTelemetryEnabled(bool enabled);
    virtual bool shouldShowOptOutNote() const;
    virtual void markOptOutNoteShown();

    // Manual diagnostic reports. Unavailable until reports and accounts exist: then
    // the section hides its report row.
    using UploadResult = std::variant<QString, DiagnosticError>; // the report's code, or why not
    virtual bool reportsAvailable() const { return false; }
    virtual bool hasAccountSession() const { return false; }
    // Calls `done` once, later, on the calling thread.
    virtual void uploadManualReport(int openDocumentCount, std::function<void(const UploadResult &)> done);

    // The Account tab's content, built by the layer that knows the account; null
    // (the default) keeps the tab hidden.
    virtual QWidget *createAccountTab(QWidget *parent)
    {
        (void)parent;
        return nullptr;
    }

Q_SIGNALS:
    // canCheckForUpdates, updateStatusMessage or updaterConfigured changed.
    void updaterStateChanged();
    void accountIDChanged(const QString &accountID);
    void accountSessionChanged();
};
