#include "OidcAuthorizationResponse.h"

#include "OidcErrorUtilities.h"
#include "OidcTokenUtilities.h"

#include <QJsonDocument>

namespace {
QString quoted(const std::optional<QString> &value)
{
    return value ? *value : QStringLiteral("(null)");
}
} // namespace

const OidcFieldMapping::Map &OidcAuthorizationResponse::fieldMap()
{
    using T = OidcFieldMapping::Type;
    static const OidcFieldMapping::Map map = {
        {QStringLiteral("state"), OidcFieldMapping(QStringLiteral("state"), T::String)},
        {QStringLiteral("code"), OidcFieldMapping(QStringLiteral("authorizationCode"), T::String)},
        {QStringLiteral("access_token"), OidcFieldMapping(QStringLiteral("accessToken"), T::String)},
        {QStringLiteral("expires_in"), OidcFieldMapping(QStringLiteral("accessTokenExpirationDate"), T::Date,
                                                        OidcFieldMapping::dateSinceNowConversion)},
        {QStringLiteral("token_type"), OidcFieldMapping(QStringLiteral("tokenType"), T::String)},
        {QStringLiteral("id_token"), OidcFieldMapping(QStringLiteral("idToken"), T::String)},
        {QStringLiteral("scope"), OidcFieldMapping(QStringLiteral("scope"), T::String)},
    };
    return map;
}

OidcAuthorizationResponse::OidcAuthorizationResponse(const OidcAuthorizationRequest &request)
    : m_request(request)
{
}

OidcAuthorizationResponse::OidcAuthorizationResponse(const OidcAuthorizationRequest &request,
                                                     const QVariantMap &parameters)
    : m_request(request)
{
    m_additionalParameters = OidcFieldMapping::remainingParameters(fieldMap(), parameters, m_fields);
}

std::optional<QString> OidcAuthorizationResponse::string(const QString &field) const
{
    return OidcFieldMapping::stringField(m_fields, field);
}

std::optional<QDateTime> OidcAuthorizationResponse::accessTokenExpirationDate() const
{
    return OidcFieldMapping::dateField(m_fields, QStringLiteral("accessTokenExpirationDate"));
}

QString OidcAuthorizationResponse::description() const
{
    const std::optional<QDateTime> expiry = accessTokenExpirationDate();
    return QStringLiteral("<OidcAuthorizationResponse: 0x%1, authorizationCode: %2, state: \"%3\", accessToken: "
                          "\"%4\", accessTokenExpirationDate: %5, tokenType: %6, idToken: \"%7\", scope: \"%8\", "
                          "additionalParameters: %9, request: %10>")
        .arg(QString::number(quintptr(this), 16), quoted(OidcTokenUtilities::redact(authorizationCode())),
             quoted(OidcTokenUtilities::redact(state())), quoted(OidcTokenUtilities::redact(accessToken())),
             expiry ? expiry->toString(Qt::ISODate) : QStringLiteral("(null)"), quoted(tokenType()),
             quoted(OidcTokenUtilities::redact(idToken())), quoted(scope()),
             OidcFieldMapping::describe(m_additionalParameters),
             m_request.description());
}

QJsonObject OidcAuthorizationResponse::archive() const
{
    return OidcFieldMapping::archiveResponse(m_request.archive(), fieldMap(), m_fields, m_additionalParameters);
}

std::optional<OidcAuthorizationResponse> OidcAuthorizationResponse::fromArchive(const QJsonObject &archive)
{
    const std::optional<OidcAuthorizationRequest> request =
        OidcAuthorizationRequest::fromArchive(archive.value(QStringLiteral("request")).toObject());
    if (!request)
        return std::nullopt;
    OidcAuthorizationResponse response(*request);
    OidcFieldMapping::restoreResponse(archive, fieldMap(), response.m_fields, response.m_additionalParameters);
    return response;
}

OidcTokenRequest OidcAuthorizationResponse::tokenExchangeRequest() const
{
    return tokenExchangeRequest(std::nullopt, std::nullopt);
}

OidcTokenRequest OidcAuthorizationResponse::tokenExchangeRequest(
    const std::optional<OidcTokenRequest::Parameters> &additionalParameters,
    const std::optional<OidcTokenRequest::Parameters> &additionalHeaders) const
{
    const std::optional<QString> code = authorizationCode();
    if (!code) {
        OidcErrorUtilities::raiseException(
            QStringLiteral("Attempted to create a token exchange request from an authorization response with no "
                           "authorization code."));
    }
    return OidcTokenRequest(m_request.configuration(), QStringLiteral("authorization_code"), code,
                            m_request.redirectURL(), m_request.clientID(), m_request.clientSecret(),
                            std::optional<QString>(), std::nullopt, m_request.codeVerifier(), additionalParameters,
                            additionalHeaders);
}
