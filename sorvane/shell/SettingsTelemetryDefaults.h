#pragma once

#include "ErrorTelemetryDefaults.h"

class Settings;

// The account library's consent flags kept in the app's settings, so the Help &
// Diagnostics switch and the library read one entry.
class SettingsTelemetryDefaults : public ErrorTelemetryDefaults
{
public:
    explicit SettingsTelemetryDefaults(Settings &settings);

    bool contains(const QString &key) const override;
    QVariant value(const QString &key) const override;
    void setValue(const QString &key, const QVariant &value) override;

private:
    Settings &m_settings;
};
