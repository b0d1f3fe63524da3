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

    // The Account tab over the application's account objects (the shared bridge,
    // session holder and sign-in state); null while the sign-in state does not exist.
    QWidget *createAccountTab(QWidget *parent) override;
    // Shows the sign-in window at its sign-in step; the tab calls it after a reset.
    void setPresentSignIn(std::function<void()> presentSignIn) { m_presentSignIn = std::move(presentSignIn); }

private:
    LaunchSeams m_seams;
    UpdaterService &m_updater;
    std::function<void()> m_presentSignIn;
};
