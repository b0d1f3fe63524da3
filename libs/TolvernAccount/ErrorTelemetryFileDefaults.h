#pragma once

#include "ErrorTelemetryDefaults.h"

#include <QJsonObject>
#include <QMutex>

// The library's own store when the host hands it none: one JSON object in
// $XDG_CONFIG_HOME/tolvern/error-telemetry.json, rewritten whole through a temporary
// file on each change. A damaged file reads as empty and is replaced by the next write.
class ErrorTelemetryFileDefaults : public ErrorTelemetryDefaults
{
public:
    explicit ErrorTelemetryFileDefaults(QString filePath = standardFilePath());
    static QString standardFilePath();

    bool contains(const QString &key) const override;
    QVariant value(const QString &key) const override;
    void setValue(const QString &key, const QVariant &value) override;

private:
    QJsonObject loadLocked() const;

    QString m_filePath;
    mutable QMutex m_lock;
};
