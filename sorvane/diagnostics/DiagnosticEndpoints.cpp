#include "DiagnosticEndpoints.h"

namespace DiagnosticEndpoints {

QUrl identityOrigin()
{
    const QUrl configured(qEnvironmentVariable(identityOriginVariable), QUrl::StrictMode);
    const bool usable = configured.isValid() && !configured.host().isEmpty()
        && (configured.scheme() == QLatin1String("https") || configured.scheme() == QLatin1String("http"));
    QUrl origin = usable ? configured : QUrl(QString::fromLatin1(defaultIdentityOrigin));
    QString path = origin.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    origin.setPath(path);
    return origin;
}

QUrl identityURL(const QString &path)
{
    QUrl url = identityOrigin();
    url.setPath(url.path() + path);
    return url;
}

} // namespace DiagnosticEndpoints
