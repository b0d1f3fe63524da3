#include "OidcServiceDiscovery.h"

#include "OidcErrorUtilities.h"

#include <QJsonDocument>
#include <QJsonParseError>

namespace {
void fail(OidcError *error, const OidcError &value)
{
    if (error)
        *error = value;
}

bool parsesAsURL(const QJsonValue &value)
{
    if (!value.isString())
        return false;
    const QUrl url(value.toString(), QUrl::StrictMode);
    return url.isValid() && !url.isEmpty();
}
} // namespace

OidcServiceDiscovery::OidcServiceDiscovery(const QJsonObject &dictionary)
    : m_dictionary(dictionary)
{
}

std::optional<OidcServiceDiscovery> OidcServiceDiscovery::fromJSON(const QString &json, OidcError *error)
{
    return fromJSONData(json.toUtf8(), error);
}

std::optional<OidcServiceDiscovery> OidcServiceDiscovery::fromJSONData(const QByteArray &data, OidcError *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        auto underlying = std::make_shared<OidcError>();
        underlying->domain = QStringLiteral("QJsonParseError");
        underlying->code = parseError.error;
        underlying->localizedDescription = parseError.errorString();
        fail(error, OidcErrorUtilities::errorWithCode(OidcErrorCode::JSONDeserializationError, underlying,
                                                      parseError.errorString()));
        return std::nullopt;
    }
    if (!document.isObject()) {
        fail(error, OidcErrorUtilities::errorWithCode(OidcErrorCode::invalidDiscoveryDocument, nullptr,
                                                      QStringLiteral("Discovery document isn't a dictionary")));
        return std::nullopt;
    }
    return fromDictionary(document.object(), error);
}

std::optional<OidcServiceDiscovery> OidcServiceDiscovery::fromDictionary(const QJsonObject &dictionary,
                                                                         OidcError *error)
{
    if (!dictionaryHasRequiredFields(dictionary, error))
        return std::nullopt;
    return OidcServiceDiscovery(dictionary);
}

bool OidcServiceDiscovery::dictionaryHasRequiredFields(const QJsonObject &dictionary, OidcError *error)
{
    static const char *const required[] = {"issuer",
                                           "authorization_endpoint",
                                           "token_endpoint",
                                           "jwks_uri",
                                           "response_types_supported",
                                           "subject_types_supported",
                                           "id_token_signing_alg_values_supported"};
    for (const char *key : required) {
        if (!dictionary.contains(QLatin1String(key))) {
            fail(error, OidcErrorUtilities::errorWithCode(OidcErrorCode::invalidDiscoveryDocument, nullptr,
                                                          QStringLiteral("Missing field: %1").arg(QLatin1String(key))));
            return false;
        }
    }
    // The authorization endpoint is not checked: a bad one leaves the configuration's empty.
    for (const char *key : {"issuer", "token_endpoint", "jwks_uri"}) {
        if (!parsesAsURL(dictionary.value(QLatin1String(key)))) {
            fail(error, OidcErrorUtilities::errorWithCode(OidcErrorCode::invalidDiscoveryDocument, nullptr,
                                                          QStringLiteral("Invalid URL: %1").arg(QLatin1String(key))));
            return false;
        }
    }
    return true;
}

QUrl OidcServiceDiscovery::url(const char *key) const
{
    const QJsonValue value = m_dictionary.value(QLatin1String(key));
    if (!parsesAsURL(value))
        return QUrl();
    return QUrl(value.toString(), QUrl::StrictMode);
}

bool OidcServiceDiscovery::flag(const char *key, bool absent) const
{
    const QJsonValue value = m_dictionary.value(QLatin1String(key));
    if (value.isBool())
        return value.toBool();
    if (value.isDouble())
        return value.toDouble() != 0;
    return absent;
}

QJsonObject OidcServiceDiscovery::archive() const
{
    QJsonObject archive = m_dictionary;
    archive.insert(QStringLiteral("discoveryDictionary"), m_dictionary);
    return archive;
}

std::optional<OidcServiceDiscovery> OidcServiceDiscovery::fromArchive(const QJsonObject &archive)
{
    const QJsonValue kept = archive.value(QStringLiteral("discoveryDictionary"));
    if (kept.isObject())
        return fromDictionary(kept.toObject());
    if (!kept.isUndefined())
        return std::nullopt;
    return fromDictionary(archive);
}
