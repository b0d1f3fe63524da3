#include "OidcScopeUtilities.h"

#include <QtGlobal>

namespace {
// %x21 / %x23-5B / %x5D-7E: printable ASCII without space, '"' and '\'.
bool isScopeCharacter(QChar c)
{
    const char16_t u = c.unicode();
    return u == 0x21 || (u >= 0x23 && u <= 0x5B) || (u >= 0x5D && u <= 0x7E);
}
} // namespace

std::optional<QString> OidcScopeUtilities::scopes(const QStringList &scopes)
{
    for (const QString &scope : scopes) {
        if (scope.isEmpty()) {
            qCritical("Found illegal empty scope string.");
            return std::nullopt;
        }
        for (const QChar c : scope) {
            if (!isScopeCharacter(c)) {
                qCritical("Found illegal character in scope string.");
                return std::nullopt;
            }
        }
    }
    return scopes.join(QLatin1Char(' '));
}

QStringList OidcScopeUtilities::scopesArray(const QString &scope)
{
    return scope.split(QLatin1Char(' '));
}
