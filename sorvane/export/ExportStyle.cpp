#include "ExportStyle.h"

#include "platform/AppPaths.h"
#include "platform/Settings.h"

#include <QDir>
#include <QFile>

QString ExportStyle::extraCSS()
{
    if (!Settings::shared().useCustomCSS())
        return QString();
    QFile file(QDir(AppPaths::supportFolder()).filePath(QStringLiteral("custom.css")));
    const QString css = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    return QStringLiteral("\n/* user custom.css */\n") + css;
}
