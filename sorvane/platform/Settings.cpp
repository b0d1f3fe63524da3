#include "Settings.h"

#include "SettingsKeys.h"

#include "AppPaths.h"
#include "AtomicFile.h"
#include "PlatformLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QMutexLocker>

namespace {

const QHash<QString, QJsonValue> &defaults()
{
    namespace K = SettingsKeys;
    namespace D = SettingsDefaults;
    static const QHash<QString, QJsonValue> table = {
        {K::fontSize, D::fontSize},
        {K::appearanceMode, D::appearanceMode},
        {K::preferredViewMode, D::preferredViewMode},
        {K::restoreSession, D::restoreSession},
        {K::wordWrap, D::wordWrap},
        {K::spellCheck, D::spellCheck},
        {K::syntaxHighlight, D::syntaxHighlight},
        {K::previewTheme, D::previewTheme},
        {K::showOutline, D::showOutline},
        {K::vimModeEnabled, D::vimModeEnabled},
        {K::distractionFree, D::distractionFree},
        {K::showWorkspace, D::showWorkspace},
        {K::analyticsOptOut, D::analyticsOptOut},
        {K::betaUpdatesEnabled, D::betaUpdatesEnabled},
        {K::diagnosticsEnabled, D::diagnosticsEnabled},
        {K::verboseDiagnosticsEnabled, D::verboseDiagnosticsEnabled},
        {K::verboseDiagnosticsEnabledAt, D::verboseDiagnosticsEnabledAt},
        {K::recentSaveFailures, D::recentSaveFailures},
        {K::mcpWriteMode, D::mcpWriteMode},
        {K::proTheme, D::proTheme},
        {K::useCustomCSS, D::useCustomCSS},
    };
    return table;
}

} // namespace

Settings::Settings(QString filePath, QObject *parent)
    : QObject(parent)
    , m_filePath(std::move(filePath))
{
    QString problem;
    {
        QMutexLocker locker(&m_mutex);
        problem = loadLocked();
    }
    report(problem);
}

Settings &Settings::shared()
{
    static Settings *instance = new Settings(standardFilePath());
    return *instance;
}

QString Settings::standardFilePath()
{
    return AppPaths::configFolder() + QStringLiteral("/settings.json");
}

QJsonValue Settings::defaultValue(const QString &key)
{
    return defaults().value(key, QJsonValue(QJsonValue::Undefined));
}

bool Settings::contains(const QString &key) const
{
    QMutexLocker locker(&m_mutex);
    return m_values.contains(key);
}

QJsonValue Settings::storedValue(const QString &key) const
{
    QMutexLocker locker(&m_mutex);
    return m_values.value(key);
}

QJsonValue Settings::value(const QString &key) const
{
    const QJsonValue stored = storedValue(key);
    return stored.isUndefined() ? defaultValue(key) : stored;
}

bool Settings::boolValue(const QString &key, bool fallback) const
{
    for (const QJsonValue &v : {storedValue(key), defaultValue(key)}) {
        if (v.isBool())
            return v.toBool();
        if (v.isDouble())
            return v.toDouble() != 0.0;
        if (v.isString()) {
            const QString s = v.toString().trimmed().toLower();
            if (s == QLatin1String("true") || s == QLatin1String("yes") || s == QLatin1String("1"))
                return true;
            if (s == QLatin1String("false") || s == QLatin1String("no") || s == QLatin1String("0"))
                return false;
        }
    }
    return fallback;
}

double Settings::doubleValue(const QString &key, double fallback) const
{
    for (const QJsonValue &v : {storedValue(key), defaultValue(key)}) {
        if (v.isDouble())
            return v.toDouble();
        if (v.isBool())
            return v.toBool() ? 1.0 : 0.0;
        if (v.isString()) {
            bool ok = false;
            const double d = v.toString().toDouble(&ok);
            if (ok)
                return d;
        }
    }
    return fallback;
}

qint64 Settings::intValue(const QString &key, qint64 fallback) const
{
    for (const QJsonValue &v : {storedValue(key), defaultValue(key)}) {
        if (v.isDouble())
            return static_cast<qint64>(v.toDouble());
        if (v.isBool())
            return v.toBool() ? 1 : 0;
        if (v.isString()) {
            bool ok = false;
            const qint64 n = v.toString().toLongLong(&ok);
            if (ok)
                return n;
        }
    }
    return fallback;
}

QString Settings::stringValue(const QString &key, const QString &fallback) const
{
    for (const QJsonValue &v : {storedValue(key), defaultValue(key)}) {
        if (v.isString())
            return v.toString();
        if (v.isDouble())
            return QString::number(v.toDouble());
    }
    return fallback;
}

void Settings::setValue(const QString &key, const QJsonValue &value)
{
    if (value.isUndefined()) {
        remove(key);
        return;
    }
    QString problem;
    {
        QMutexLocker locker(&m_mutex);
        if (m_values.value(key) == value)
            return;
        m_values.insert(key, value);
        problem = writeLocked();
    }
    report(problem);
    emitChanged(key);
}

void Settings::remove(const QString &key)
{
    QString problem;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_values.contains(key))
            return;
        m_values.remove(key);
        problem = writeLocked();
    }
    report(problem);
    emitChanged(key);
}

void Settings::emitChanged(const QString &key)
{
    Q_EMIT valueChanged(key);
    if (key == SettingsKeys::showWorkspace)
        Q_EMIT showWorkspaceChanged(showWorkspace());
}

double Settings::fontSize() const
{
    return doubleValue(SettingsKeys::fontSize, SettingsDefaults::fontSize);
}

void Settings::setFontSize(double size)
{
    setValue(SettingsKeys::fontSize, size);
}

QString Settings::appearanceMode() const
{
    return stringValue(SettingsKeys::appearanceMode, SettingsDefaults::appearanceMode);
}

void Settings::setAppearanceMode(const QString &rawValue)
{
    setValue(SettingsKeys::appearanceMode, rawValue);
}

QString Settings::preferredViewMode() const
{
    return stringValue(SettingsKeys::preferredViewMode, SettingsDefaults::preferredViewMode);
}

void Settings::setPreferredViewMode(const QString &rawValue)
{
    setValue(SettingsKeys::preferredViewMode, rawValue);
}

bool Settings::showOutline() const
{
    return boolValue(SettingsKeys::showOutline, SettingsDefaults::showOutline);
}

void Settings::setShowOutline(bool on)
{
    setValue(SettingsKeys::showOutline, on);
}

bool Settings::distractionFree() const
{
    return boolValue(SettingsKeys::distractionFree, SettingsDefaults::distractionFree);
}

void Settings::setDistractionFree(bool on)
{
    setValue(SettingsKeys::distractionFree, on);
}

bool Settings::showWorkspace() const
{
    return boolValue(SettingsKeys::showWorkspace, SettingsDefaults::showWorkspace);
}

bool Settings::useCustomCSS() const
{
    return boolValue(SettingsKeys::useCustomCSS, SettingsDefaults::useCustomCSS);
}

void Settings::setUseCustomCSS(bool on)
{
    setValue(SettingsKeys::useCustomCSS, on);
}

void Settings::report(const QString &problem)
{
    if (!problem.isEmpty())
        qCCritical(lcPlatform).noquote() << problem;
}

QString Settings::loadLocked()
{
    m_values = QJsonObject();
    QFile file(m_filePath);
    if (!file.exists())
        return QString();
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Could not read the settings file: %1").arg(file.errorString());
    const QByteArray data = file.readAll();
    file.close();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error == QJsonParseError::NoError && doc.isObject()) {
        m_values = doc.object();
        return QString();
    }
    // Keep the damaged file for the user instead of overwriting it with defaults.
    const QString aside = m_filePath + QStringLiteral(".corrupt-")
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddTHHmmss"));
    QFile::rename(m_filePath, aside);
    return QStringLiteral("The settings file was unreadable and was kept as %1").arg(aside);
}

QString Settings::writeLocked()
{
    AppPaths::ensureFolder(QFileInfo(m_filePath).absolutePath());
    QString error;
    if (!AtomicFile::write(m_filePath, QJsonDocument(m_values).toJson(QJsonDocument::Indented), &error))
        return QStringLiteral("Could not write the settings file: %1").arg(error);
    return QString();
}
