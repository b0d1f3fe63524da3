#include "HomePath.h"

QString HomePath::abbreviated(const QString &path, const QString &home)
{
    QString prefix = home;
    while (prefix.endsWith(QLatin1Char('/')))
        prefix.chop(1);
    if (prefix.isEmpty() || !path.startsWith(prefix))
        return path;
    if (path.size() == prefix.size())
        return QStringLiteral("~");
    if (path.at(prefix.size()) != QLatin1Char('/'))
        return path;
    return QLatin1Char('~') + path.mid(prefix.size());
}
