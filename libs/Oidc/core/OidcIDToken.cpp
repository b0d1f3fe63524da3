#include "OidcIDToken.h"

#include "OidcFieldMapping.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {
QVariant audienceConversion(const QVariant &value)
{
    if (value.typeId() == QMetaType::QVariantList)
        return value;
    if (value.typeId() == QMetaType::QString)
        return QVariantList{value};
    return QVariant();
}

const OidcFieldMapping::Map &fieldMap()
{
    using T = OidcFieldMapping::Type;
    static const OidcFieldMapping::Map map = {
        {QStringLiteral("iss"), OidcFieldMapping(QStringLiteral("issuer"), T::URL, OidcFieldMapping::URLConversion)},
        {QStringLiteral("sub"), OidcFieldMapping(QStringLiteral("subject"), T::String)},
        {QStringLiteral("aud"), OidcFieldMapping(QStringLiteral("audience"), T::Array, audienceConversion)},
        {QStringLiteral("exp"), OidcFieldMapping(QStringLiteral("expiresAt"), T::Date, OidcFieldMapping::dateEpochConversion)},
        {QStringLiteral("iat"), OidcFieldMapping(QStringLiteral("issuedAt"), T::Date, OidcFieldMapping::dateEpochConversion)},
        {QStringLiteral("nonce"), OidcFieldMapping(QStringLiteral("nonce"), T::String)},
    };
    return map;
}
} // namespace

QByteArray OidcIDToken::base64urlNoPaddingDecode(const QString &text)
{
    QByteArray standard = text.toLatin1();
    standard.replace('-', '+').replace('_', '/');
    while (standard.size() % 4 != 0)
        standard.append('=');
    return QByteArray::fromBase64(standard);
}

std::optional<QJsonObject> OidcIDToken::parseJWTSection(const QString &section)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(base64urlNoPaddingDecode(section), &error);
    if (error.error != QJsonParseError::NoError) {
        // The payload itself stays out of the log: it names the user.
        qWarning("Error %s parsing token payload", qPrintable(error.errorString()));
        return std::nullopt;
    }
    if (!document.isObject())
        return std::nullopt;
    return document.object();
}

std::optional<OidcIDToken> OidcIDToken::parse(const QString &idToken)
{
    const QStringList sections = idToken.split(QLatin1Char('.'));
    if (sections.size() < 2)
        return std::nullopt;
    const std::optional<QJsonObject> header = parseJWTSection(sections[0]);
    const std::optional<QJsonObject> claims = parseJWTSection(sections[1]);
    if (!header || !claims)
        return std::nullopt;
    QVariantMap fields;
    OidcFieldMapping::remainingParameters(fieldMap(), claims->toVariantMap(), fields);
    const QStringList required{QStringLiteral("issuer"), QStringLiteral("audience"), QStringLiteral("subject"),
                               QStringLiteral("expiresAt"), QStringLiteral("issuedAt")};
    for (const QString &field : required) {
        if (!fields.contains(field))
            return std::nullopt;
    }
    OidcIDToken token;
    token.m_header = *header;
    token.m_claims = *claims;
    token.m_issuer = fields.value(QStringLiteral("issuer")).toUrl();
    token.m_subject = fields.value(QStringLiteral("subject")).toString();
    for (const QVariant &entry : fields.value(QStringLiteral("audience")).toList())
        token.m_audience.append(entry.toString());
    token.m_expiresAt = fields.value(QStringLiteral("expiresAt")).toDateTime();
    token.m_issuedAt = fields.value(QStringLiteral("issuedAt")).toDateTime();
    if (fields.contains(QStringLiteral("nonce")))
        token.m_nonce = fields.value(QStringLiteral("nonce")).toString();
    return token;
}
