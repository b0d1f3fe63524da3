#include "OidcTokenResponse.h"

#include "OidcTokenUtilities.h"

#include <QJsonDocument>

namespace {
QString text(const std::optional<QString> &value)
{
    return value ? *value : QStringLiteral("(null)");
}
} // namespace

const OidcFieldMapping::Map &OidcTokenResponse::fieldMap()
{
    using T = OidcFieldMapping::Type;
    static const OidcFieldMapping::Map map = {
        {QStringLiteral("access_token"), OidcFieldMapping(QStringLiteral("accessToken"), T::String)},
        {QStringLiteral("expires_in"), OidcFieldMapping(QStringLiteral("accessTokenExpirationDate"), T::Date,
                                                        OidcFieldMapping::dateSinceNowConversion)},
        {QStringLiteral("token_type"), OidcFieldMapping(QStringLiteral("tokenType"), T::String)},
        {QStringLiteral("id_token"), OidcFieldMapping(QStringLiteral("idToken"), T::String)},
        {QStringLiteral("refresh_token"), OidcFieldMapping(QStringLiteral("refreshToken"), T::String)},
        {QStringLiteral("scope"), OidcFieldMapping(QStringLiteral("scope"), T::String)},
    };
    return map;
}

OidcTokenResponse::OidcTokenResponse(const OidcTokenRequest &request, const QVariantMap &parameters)
    : m_request(request)
{
    m_additionalParameters = OidcFieldMapping::remainingParameters(fieldMap(), parameters, m_fields);
}

std::optional<QString> OidcTokenResponse::string(const QString &field) const
{
    return OidcFieldMapping::stringField(m_fields, field);
}

std::optional<QDateTime> OidcTokenResponse::accessTokenExpirationDate() const
{
    return OidcFieldMapping::dateField(m_fields, QStringLiteral("accessTokenExpirationDate"));
}

QString OidcTokenResponse::description() const
{
    const std::optional<QDateTime> expiry = accessTokenExpirationDate();
    return QStringLiteral("<OidcTokenResponse: 0x%1, accessToken: \"%2\", accessTokenExpirationDate: %3, tokenType: "
                          "%4, idToken: \"%5\", refreshToken: \"%6\", scope: \"%7\", additionalParameters: %8, "
                          "request: %9>")
        .arg(QString::number(quintptr(this), 16), text(OidcTokenUtilities::redact(accessToken())),
             expiry ? expiry->toString(Qt::ISODate) : QStringLiteral("(null)"), text(tokenType()),
             text(OidcTokenUtilities::redact(idToken())), text(OidcTokenUtilities::redact(refreshToken())),
             text(scope()),
             OidcFieldMapping::describe(m_additionalParameters),
             m_request.description());
}

QJsonObject OidcTokenResponse::archive() const
{
    return OidcFieldMapping::archiveResponse(m_request.archive(), fieldMap(), m_fields, m_additionalParameters);
}

std::optional<OidcTokenResponse> OidcTokenResponse::fromArchive(const QJsonObject &archive)
{
    const std::optional<OidcTokenRequest> request =
        OidcTokenRequest::fromArchive(archive.value(QStringLiteral("request")).toObject());
    if (!request)
        return std::nullopt;
    OidcTokenResponse response(*request, {});
    OidcFieldMapping::restoreResponse(archive, fieldMap(), response.m_fields, response.m_additionalParameters);
    return response;
}
