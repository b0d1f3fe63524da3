#include "ErrorFirehoseURL.h"

QUrl ErrorFirehoseURL::appendingPath(const QUrl &base, const QString &path)
{
    QUrl url = base;
    QString basePath = url.path();
    if (!basePath.endsWith(u'/'))
        basePath += u'/';
    url.setPath(basePath + path);
    return url;
}
