#include "AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString xdgFolder(const char *variable, const QString &fallbackUnderHome)
{
    const QString value = qEnvironmentVariable(variable);
    // The XDG rules ignore relative paths.
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + QLatin1Char('/') + fallbackUnderHome);
}

} // namespace

namespace AppPaths {

QString supportFolder()
{
    return xdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share")) + QLatin1Char('/')
        + QLatin1String(bundleIdentifier);
}

QString logsFolder()
{
    return xdgFolder("XDG_STATE_HOME", QStringLiteral(".local/state")) + QStringLiteral("/Sorvane");
}

QString configFolder()
{
    return xdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config")) + QStringLiteral("/sorvane");
}

QString privateTempFolder()
{
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QDir::isAbsolutePath(base) || !QFileInfo(base).isWritable())
        base = xdgFolder("XDG_CACHE_HOME", QStringLiteral(".cache"));
    const QString folder = base + QStringLiteral("/sorvane-tmp");
    ensureFolder(folder);
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return folder;
}

bool ensureFolder(const QString &path)
{
    return QDir().mkpath(path);
}

} // namespace AppPaths
