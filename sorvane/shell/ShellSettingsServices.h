#pragma once

#include "LaunchSeams.h"

#include "settings/SettingsServices.h"

class UpdaterService;

// The settings window's services as the shell has them: the updater, analytics
// through the diagnostics seam, the account id and the error-report consent through
// the account seams.
class ShellSettingsServices : public SettingsServices
{
    Q_OBJECT
public:
    // `seams` filled with defaults; the seams and the updater outlive this object.
    ShellSettingsServices(const LaunchSeams &seams, UpdaterService &updater, QObject *parent = nullptr);
    ~ShellSettingsServices() override;

    bool updaterConfigured() const override;
    bool canCheckForUpdates() const override;
    QString updateStatusMessage() const override;
    void checkForUpdates() override;

    void track(const QString &event, const QVariantMap &properties = {}) override;
    void setupAnalytics() override;
    void resetAnalytics() override;
    bool analyticsSetUpThisLaunch() const override;

    QString accountID() const override;

    bool errorTelemetryEnabled() const override;
    void setErrorTelemetryEnabled(bool enabled) override;
    bool shouldShowOptOutNote() const override;
    void markOptOutNoteShown() override;

    // Manual reports through the shared uploader; signed in while its session
    // provider answers a token.
    bool reportsAvailable() const override { return true; }
    bool hasAccountSession() const override;
    void uploadManualReport(int openDocumentCount, std::function<void(const UploadResult &)> done) override;

private:
    LaunchSeams m_seams;
    UpdaterService &m_updater;
};
