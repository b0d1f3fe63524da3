#include "Constants.h"

namespace Constants {

QString version()
{
#ifdef SORVANE_VERSION
    const QString built = QStringLiteral(SORVANE_VERSION);
    if (!built.isEmpty())
        return built;
#endif
    return QStringLiteral("1.1.18");
}

} // namespace Constants
