#include "TolvernProviderHint.h"

namespace TolvernProviderHints {

QString rawValue(TolvernProviderHint hint)
{
    switch (hint) {
    case TolvernProviderHint::apple: return QStringLiteral("apple");
    case TolvernProviderHint::google: return QStringLiteral("google");
    case TolvernProviderHint::email: return QStringLiteral("email");
    }
    return QString();
}

std::optional<TolvernProviderHint> fromRawValue(const QString &raw)
{
    for (auto hint : {TolvernProviderHint::apple, TolvernProviderHint::google, TolvernProviderHint::email}) {
        if (rawValue(hint) == raw)
            return hint;
    }
    return std::nullopt;
}

} // namespace TolvernProviderHints
