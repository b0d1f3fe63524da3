#include "TolvernLogLevel.h"

namespace TolvernLogLevels {

QString rawValue(TolvernLogLevel level)
{
    switch (level) {
    case TolvernLogLevel::debug: return QStringLiteral("debug");
    case TolvernLogLevel::info: return QStringLiteral("info");
    case TolvernLogLevel::warning: return QStringLiteral("warning");
    case TolvernLogLevel::error: return QStringLiteral("error");
    }
    return QString();
}

std::optional<TolvernLogLevel> fromRawValue(const QString &raw)
{
    for (TolvernLogLevel level : allCases()) {
        if (rawValue(level) == raw)
            return level;
    }
    return std::nullopt;
}

QList<TolvernLogLevel> allCases()
{
    return {TolvernLogLevel::debug, TolvernLogLevel::info, TolvernLogLevel::warning, TolvernLogLevel::error};
}

} // namespace TolvernLogLevels
