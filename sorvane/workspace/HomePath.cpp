#include "HomePath.h"

#include <QDir>

namespace HomePath {

QString abbreviated(const QString &path, const QString &home)
{
    QStringView prefix(home);
    while (prefix.size() > 1 && prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    if (prefix.isEmpty())
        return path;
    if (path == prefix)
        return QStringLiteral("~");
    // The root as home: every absolute path lies below it.
    if (prefix == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/')) ? QLatin1Char('~') + path : path;
    if (path.startsWith(prefix) && path.size() > prefix.size() && path.at(prefix.size()) == QLatin1Char('/'))
        return QLatin1Char('~') + path.mid(prefix.size());
    return path;
}

QString abbreviated(const QString &path)
{
    return abbreviated(path, QDir::homePath());
}

} // namespace HomePath
