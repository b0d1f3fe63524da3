#pragma once

#include "ErrorTelemetryDefaults.h"

#include <QMap>
#include <QMutex>

// A host store held in memory, so each test starts from a fresh install.
class MemoryTelemetryDefaults : public ErrorTelemetryDefaults
{
public:
    bool contains(const QString &key) const override
    {
        QMutexLocker locker(&m_lock);
        return m_values.contains(key);
    }
    QVariant value(const QString &key) const override
    {
        QMutexLocker locker(&m_lock);
        return m_values.value(key);
    }
    void setValue(const QString &key, const QVariant &value) override
    {
        QMutexLocker locker(&m_lock);
        m_values.insert(key, value);
    }

private:
    mutable QMutex m_lock;
    QMap<QString, QVariant> m_values;
};
