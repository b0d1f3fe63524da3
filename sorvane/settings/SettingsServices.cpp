#include "SettingsServices.h"

#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QTimer>


bool SettingsServices::errorTelemetryEnabled() const
{
    return Settings::shared().boolValue(SettingsKeys::errorTelemetryEnabled, true);
}

void SettingsServices::setErrorTelemetryEnabled(bool enabled)
{
    Settings::shared().setValue(SettingsKeys::errorTelemetryEnabled, enabled);
}

bool SettingsServices::shouldShowOptOutNote() const
{
    return !Settings::shared().boolValue(SettingsKeys::errorTelemetryOptOutShown, false);
}

void SettingsServices::markOptOutNoteShown()
{
    Settings::shared().setValue(SettingsKeys::errorTelemetryOptOutShown, true);
}

void SettingsServices::uploadManualReport(int openDocumentCount, std::function<void(const UploadResult &)> done)
{
    (void)openDocumentCount;
    QTimer::singleShot(0, this, [done = std::move(done)] { done(DiagnosticError::of(DiagnosticError::Kind::Unavailable)); });
}
