#include "TolvernAccountLibrary.h"

namespace TolvernAccountLibrary {
QString versionLine(const QString &host)
{
    return QStringLiteral("TolvernAccount/0.9.2 (") + host + QLatin1Char(')');
}
} // namespace TolvernAccountLibrary
