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

#include <cmath>
#include <optional>

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

// A JSON number that is a whole number a qint64 holds. JSON numbers are doubles: 1e19,
// 1e300 or 2.5 are no count, and converting them would be undefined behaviour.
std::optional<qint64> wholeNumber(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    // -2^63 is exact as a double; 2^63 is the first value past the range.
    constexpr double limit = 9223372036854775808.0;
    if (!(d >= -limit && d < limit) || std::trunc(d) != d)
        return std::nullopt;
    return static_cast<qint64>(d);
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
        if (v.isDouble() && std::isfinite(v.toDouble()))
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
    // "inf" and "nan" parse as text; no reader of a setting has a use for them.
    for (const QJsonValue &v : {storedValue(key), defaultValue(key)}) {
        if (v.isDouble() && std::isfinite(v.toDouble()))
            return v.toDouble();
        if (v.isBool())
            return v.toBool() ? 1.0 : 0.0;
        if (v.isString()) {
            bool ok = false;
            const double d = v.toString().toDouble(&ok);
            if (ok && std::isfinite(d))
                return d;
        }
    }
    return fallback;
}

qint64 Settings::intValue(const QString &key, qint64 fallback) const
{
    for (const QJsonValue &v : {storedValue(key), defaultValue(key)}) {
        if (const std::optional<qint64> n = wholeNumber(v))
            return *n;
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

bool Settings::isUsableFontSize(double points)
{
    return points >= SettingsLimits::minimumFontSize && points <= SettingsLimits::maximumFontSize;
}

double Settings::fontSize() const
{
    const double size = doubleValue(SettingsKeys::fontSize, SettingsDefaults::fontSize);
    return isUsableFontSize(size) ? size : SettingsDefaults::fontSize;
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
    m_damagedInPlace = false;
    QFile file(m_filePath);
    if (!file.exists())
        return QString();
    if (!file.open(QIODevice::ReadOnly)) {
        // Unread is as good as damaged: a write would replace bytes nobody has seen.
        m_damagedInPlace = true;
        return QStringLiteral("Could not read the settings file: %1. ").arg(file.errorString())
            + keepDamagedAsideLocked();
    }
    const QByteArray data = file.readAll();
    file.close();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error == QJsonParseError::NoError && doc.isObject()) {
        m_values = doc.object();
        return QString();
    }
    m_damagedInPlace = true;
    return keepDamagedAsideLocked();
}

QString Settings::keepDamagedAsideLocked()
{
    // Renamed, never copied: the user's bytes stay exactly as they were. An earlier
    // damaged file kept in the same second already holds the plain name, hence the counter.
    const QString stem = m_filePath + QStringLiteral(".corrupt-")
        + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMddTHHmmss"));
    QString reason;
    for (int n = 1; n <= 1000; ++n) {
        const QString aside = n == 1 ? stem : stem + QLatin1Char('-') + QString::number(n);
        const QFileInfo target(aside);
        if (target.exists() || target.isSymLink())
            continue;
        QFile file(m_filePath);
        if (!file.exists()) { // gone meanwhile: nothing left to protect
            m_damagedInPlace = false;
            return QString();
        }
        if (file.rename(aside)) {
            m_damagedInPlace = false;
            return QStringLiteral("The settings file was unreadable and was kept as %1").arg(aside);
        }
        reason = file.errorString();
        if (!QFileInfo::exists(aside))
            break; // refused for a reason a new name will not cure
        // The name was taken in between: try the next one.
    }
    if (reason.isEmpty())
        reason = QStringLiteral("every name for it is taken");
    return QStringLiteral("The settings file %1 is unreadable and could not be kept aside (%2); "
                          "changes will not be saved over it")
        .arg(m_filePath, reason);
}

QString Settings::writeLocked()
{
    QString kept;
    if (m_damagedInPlace) {
        kept = keepDamagedAsideLocked();
        if (m_damagedInPlace)
            return kept;
    }
    AppPaths::ensureFolder(QFileInfo(m_filePath).absolutePath());
    QString error;
    if (!AtomicFile::write(m_filePath, QJsonDocument(m_values).toJson(QJsonDocument::Indented), &error))
        return (kept.isEmpty() ? QString() : kept + QStringLiteral("; "))
            + QStringLiteral("Could not write the settings file: %1").arg(error);
    return kept;
}
