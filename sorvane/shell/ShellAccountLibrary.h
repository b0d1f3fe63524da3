#pragma once

#include "AccountLibrarySeam.h"

class Settings;

// The account library behind the start-up seam: the install identifier, error
// telemetry fed by the diagnostic log, the region probe and the consent flags kept
// in the app's settings. main() owns one for the process; destroying it unhooks
// the diagnostic log.
class ShellAccountLibrary : public AccountLibrarySeam
{
public:
    explicit ShellAccountLibrary(Settings &settings = Settings::shared());
    ~ShellAccountLibrary() override;

    QString installID(const QString &appSlug) override;
    void configureErrorTelemetry(const TelemetryContext &context) override;
    void startErrorTelemetry() override;
    void startRegionProbe(const QUrl &identityURL) override;
    void activateForAuthReturn() override;

    bool errorTelemetryEnabled() const override;
    void setErrorTelemetryEnabled(bool enabled) override;
    bool shouldShowOptOutNote() const override;
    void markOptOutNoteShown() override;
};
