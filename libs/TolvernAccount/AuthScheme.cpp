#include "AuthScheme.h"

namespace AuthSchemes {

QString rawValue(AuthScheme scheme)
{
    switch (scheme) {
    case AuthScheme::aswas: return QStringLiteral("aswas");
    case AuthScheme::loopback: return QStringLiteral("loopback");
    case AuthScheme::systemBrowser: return QStringLiteral("systemBrowser");
    }
    return QString();
}

std::optional<AuthScheme> fromRawValue(const QString &raw)
{
    for (AuthScheme scheme : allCases()) {
        if (rawValue(scheme) == raw)
            return scheme;
    }
    return std::nullopt;
}

QList<AuthScheme> allCases()
{
    return {AuthScheme::aswas, AuthScheme::loopback, AuthScheme::systemBrowser};
}

} // namespace AuthSchemes
