#pragma once

#include <QString>
#include <QVariant>

// The key-value store the consent flags and the cached region live in. A host
// hands the library its own settings through one (so its switch and the library
// read one entry); without one the library keeps a JSON file of its own.
// Implementations must be safe to call from any thread.
class ErrorTelemetryDefaults
{
public:
    virtual ~ErrorTelemetryDefaults() = default;
    virtual bool contains(const QString &key) const = 0;
    // Invalid when absent.
    virtual QVariant value(const QString &key) const = 0;
    virtual void setValue(const QString &key, const QVariant &value) = 0;
};
