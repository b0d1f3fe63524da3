#pragma once

#include "OidcFieldMapping.h"
#include "OidcRegistrationRequest.h"

#include <QDateTime>
#include <QVariantMap>

#include <optional>

// The registration endpoint's answer: the client identifier and, maybe, a secret.
class OidcRegistrationResponse
{
public:
    OidcRegistrationResponse(const OidcRegistrationRequest &request, const QVariantMap &parameters);

    OidcRegistrationRequest request() const { return m_request; }
    std::optional<QString> clientID() const { return string(QStringLiteral("clientID")); }
    std::optional<QDateTime> clientIDIssuedAt() const { return date(QStringLiteral("clientIDIssuedAt")); }
    std::optional<QString> clientSecret() const { return string(QStringLiteral("clientSecret")); }
    std::optional<QDateTime> clientSecretExpiresAt() const { return date(QStringLiteral("clientSecretExpiresAt")); }
    std::optional<QString> registrationAccessToken() const { return string(QStringLiteral("registrationAccessToken")); }
    std::optional<QUrl> registrationClientURI() const;
    std::optional<QString> tokenEndpointAuthenticationMethod() const
    {
        return string(QStringLiteral("tokenEndpointAuthenticationMethod"));
    }
    QVariantMap additionalParameters() const { return m_additionalParameters; }

    // Secret and access token redacted.
    QString description() const;
    QJsonObject archive() const;
    static std::optional<OidcRegistrationResponse> fromArchive(const QJsonObject &archive);

    static const OidcFieldMapping::Map &fieldMap();

private:
    std::optional<QString> string(const QString &field) const;
    std::optional<QDateTime> date(const QString &field) const;

    OidcRegistrationRequest m_request;
    QVariantMap m_fields;
    QVariantMap m_additionalParameters;
};
