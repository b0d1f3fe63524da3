#include "SettingsServices.h"

#include "platform/Settings.h"

#include <QTimer>

namespace {
const QString consentEnabledKey = QStringLiteral("tolvern.error_telemetry_enabled");
const QString consentNoteShownKey = QStringLiteral("tolvern.error_telemetry_opt_out_shown");
} // namespace

bool SettingsServices::errorTelemetryEnabled() const
{
    return Settings::shared().boolValue(consentEnabledKey, true);
}

void SettingsServices::setErrorTelemetryEnabled(bool enabled)
{
    Settings::shared().setValue(consentEnabledKey, enabled);
}

bool SettingsServices::shouldShowOptOutNote() const
{
    return !Settings::shared().boolValue(consentNoteShownKey, false);
}

void SettingsServices::markOptOutNoteShown()
{
    Settings::shared().setValue(consentNoteShownKey, true);
}

void SettingsServices::uploadManualReport(int openDocumentCount, std::function<void(const UploadResult &)> done)
{
    (void)openDocumentCount;
    QTimer::singleShot(0, this, [done = std::move(done)] { done(DiagnosticError::of(DiagnosticError::Kind::Unavailable)); });
}
