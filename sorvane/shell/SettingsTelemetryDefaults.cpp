#include "SettingsTelemetryDefaults.h"

#include "platform/Settings.h"

SettingsTelemetryDefaults::SettingsTelemetryDefaults(Settings &settings)
    : m_settings(settings)
{
}

bool SettingsTelemetryDefaults::contains(const QString &key) const
{
    return m_settings.contains(key);
}

QVariant SettingsTelemetryDefaults::value(const QString &key) const
{
    // Only what the user or the probe stored: a documented default is no choice.
    const QJsonValue stored = m_settings.storedValue(key);
    return stored.isUndefined() ? QVariant() : stored.toVariant();
}

void SettingsTelemetryDefaults::setValue(const QString &key, const QVariant &value)
{
    m_settings.setValue(key, QJsonValue::fromVariant(value));
}
