#include "TolvernProvider.h"

#include "TolvernJSONValue.h"

namespace TolvernProviders {

QString rawValue(TolvernProvider provider)
{
    switch (provider) {
    case TolvernProvider::password: return QStringLiteral("password");
    case TolvernProvider::emailLink: return QStringLiteral("email-link");
    case TolvernProvider::google: return QStringLiteral("google.com");
    case TolvernProvider::apple: return QStringLiteral("apple.com");
    case TolvernProvider::passkey: return QStringLiteral("passkey");
    }
    return QString();
}

std::optional<TolvernProvider> fromRawValue(const QString &raw)
{
    for (TolvernProvider provider : allCases()) {
        if (rawValue(provider) == raw)
            return provider;
    }
    return std::nullopt;
}

QList<TolvernProvider> allCases()
{
    return {TolvernProvider::password, TolvernProvider::emailLink, TolvernProvider::google, TolvernProvider::apple,
            TolvernProvider::passkey};
}

TolvernProvider fromJSON(const TolvernJSONValue &json)
{
    const QString raw = json.toString();
    if (auto provider = fromRawValue(raw))
        return *provider;
    json.corrupted(QStringLiteral("Cannot initialize TolvernProvider from invalid String value ") + raw);
}

} // namespace TolvernProviders
