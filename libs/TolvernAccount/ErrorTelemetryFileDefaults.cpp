#include "ErrorTelemetryFileDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>

ErrorTelemetryFileDefaults::ErrorTelemetryFileDefaults(QString filePath)
    : m_filePath(std::move(filePath))
{
}

QString ErrorTelemetryFileDefaults::standardFilePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/tolvern/error-telemetry.json");
}

QJsonObject ErrorTelemetryFileDefaults::loadLocked() const
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

bool ErrorTelemetryFileDefaults::contains(const QString &key) const
{
    QMutexLocker locker(&m_lock);
    return loadLocked().contains(key);
}

QVariant ErrorTelemetryFileDefaults::value(const QString &key) const
{
    QMutexLocker locker(&m_lock);
    const QJsonObject object = loadLocked();
    return object.contains(key) ? object.value(key).toVariant() : QVariant();
}

void ErrorTelemetryFileDefaults::setValue(const QString &key, const QVariant &value)
{
    QMutexLocker locker(&m_lock);
    QJsonObject object = loadLocked();
    object.insert(key, QJsonValue::fromVariant(value));
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    // A crash mid-write must not cost the user's earlier choice.
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QJsonDocument(object).toJson(QJsonDocument::Compact));
    file.commit();
}
