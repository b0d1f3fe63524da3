#include "OidcRegistrationResponse.h"

#include "OidcTokenUtilities.h"

#include <QJsonDocument>

namespace {
QString text(const std::optional<QString> &value)
{
    return value ? *value : QStringLiteral("(null)");
}

QString text(const std::optional<QDateTime> &value)
{
    return value ? value->toString(Qt::ISODate) : QStringLiteral("(null)");
}
} // namespace

const OidcFieldMapping::Map &OidcRegistrationResponse::fieldMap()
{
    using T = OidcFieldMapping::Type;
    static const OidcFieldMapping::Map map = {
        {QStringLiteral("client_id"), OidcFieldMapping(QStringLiteral("clientID"), T::String)},
        {QStringLiteral("client_id_issued_at"), OidcFieldMapping(QStringLiteral("clientIDIssuedAt"), T::Date,
                                                                 OidcFieldMapping::dateEpochConversion)},
        {QStringLiteral("client_secret"), OidcFieldMapping(QStringLiteral("clientSecret"), T::String)},
        {QStringLiteral("client_secret_expires_at"), OidcFieldMapping(QStringLiteral("clientSecretExpiresAt"), T::Date,
                                                                      OidcFieldMapping::dateEpochConversion)},
        {QStringLiteral("registration_access_token"),
         OidcFieldMapping(QStringLiteral("registrationAccessToken"), T::String)},
        {QStringLiteral("registration_client_uri"), OidcFieldMapping(QStringLiteral("registrationClientURI"), T::URL,
                                                                     OidcFieldMapping::URLConversion)},
        {QStringLiteral("token_endpoint_auth_method"),
         OidcFieldMapping(QStringLiteral("tokenEndpointAuthenticationMethod"), T::String)},
    };
    return map;
}

OidcRegistrationResponse::OidcRegistrationResponse(const OidcRegistrationRequest &request,
                                                   const QVariantMap &parameters)
    : m_request(request)
{
    m_additionalParameters = OidcFieldMapping::remainingParameters(fieldMap(), parameters, m_fields);
}

std::optional<QString> OidcRegistrationResponse::string(const QString &field) const
{
    return OidcFieldMapping::stringField(m_fields, field);
}

std::optional<QDateTime> OidcRegistrationResponse::date(const QString &field) const
{
    return OidcFieldMapping::dateField(m_fields, field);
}

std::optional<QUrl> OidcRegistrationResponse::registrationClientURI() const
{
    const QVariant value = m_fields.value(QStringLiteral("registrationClientURI"));
    return value.isValid() ? std::optional<QUrl>(value.toUrl()) : std::nullopt;
}

QString OidcRegistrationResponse::description() const
{
    const std::optional<QUrl> uri = registrationClientURI();
    return QStringLiteral("<OidcRegistrationResponse: 0x%1, clientID: \"%2\", clientIDIssuedAt: %3, clientSecret: %4, "
                          "clientSecretExpiresAt: \"%5\", registrationAccessToken: \"%6\", registrationClientURI: "
                          "\"%7\", additionalParameters: %8, request: %9>")
        .arg(QString::number(quintptr(this), 16), text(clientID()), text(clientIDIssuedAt()),
             text(OidcTokenUtilities::redact(clientSecret())), text(clientSecretExpiresAt()),
             text(OidcTokenUtilities::redact(registrationAccessToken())),
             uri ? uri->toString(QUrl::FullyEncoded) : QStringLiteral("(null)"),
             OidcFieldMapping::describe(m_additionalParameters),
             m_request.description());
}

QJsonObject OidcRegistrationResponse::archive() const
{
    return OidcFieldMapping::archiveResponse(m_request.archive(), fieldMap(), m_fields, m_additionalParameters);
}

std::optional<OidcRegistrationResponse> OidcRegistrationResponse::fromArchive(const QJsonObject &archive)
{
    const auto request = OidcRegistrationRequest::fromArchive(archive.value(QStringLiteral("request")).toObject());
    if (!request)
        return std::nullopt;
    OidcRegistrationResponse response(*request, {});
    OidcFieldMapping::restoreResponse(archive, fieldMap(), response.m_fields, response.m_additionalParameters);
    return response;
}
