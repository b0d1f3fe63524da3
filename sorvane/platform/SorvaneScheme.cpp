#include "SorvaneScheme.h"

#include <QUrl>

#include <algorithm>
#include <array>

namespace SorvaneScheme {

bool isAccountCallback(const QUrl &url)
{
    static const std::array<QLatin1String, 3> callbackHosts{
        QLatin1String("auth"), QLatin1String("auth-callback"), QLatin1String("signed-in")};
    if (url.scheme().compare(QLatin1String("sorvane"), Qt::CaseInsensitive) != 0)
        return false;
    const QString host = url.host();
    return std::any_of(callbackHosts.begin(), callbackHosts.end(),
                       [&host](QLatin1String callback) { return host.compare(callback, Qt::CaseInsensitive) == 0; });
}

bool isURLArgument(const QString &argument)
{
    return argument.startsWith(QLatin1String("sorvane:"), Qt::CaseInsensitive)
        || argument.startsWith(QLatin1String("file:"), Qt::CaseInsensitive);
}

std::optional<QUrl> localFileURL(const QUrl &url)
{
    if (!url.isLocalFile())
        return std::nullopt;
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
        return std::nullopt;
    QUrl local = url;
    local.setHost(QString());
    return local;
}

QString originOf(const QUrl &url)
{
    return url.scheme() + QStringLiteral("://") + url.host();
}

} // namespace SorvaneScheme
