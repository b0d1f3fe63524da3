#pragma once

#include "OidcAuthorizationRequest.h"
#include "OidcFieldMapping.h"
#include "OidcTokenRequest.h"

#include <QDateTime>
#include <QJsonObject>
#include <QVariantMap>

#include <optional>

// The authorization server's answer read from the redirect: the code and state (and,
// for hybrid flows, tokens), with every other parameter kept aside.
class OidcAuthorizationResponse
{
public:
    OidcAuthorizationResponse(const OidcAuthorizationRequest &request, const QVariantMap &parameters);

    OidcAuthorizationRequest request() const { return m_request; }
    std::optional<QString> authorizationCode() const { return string(QStringLiteral("authorizationCode")); }
    std::optional<QString> state() const { return string(QStringLiteral("state")); }
    std::optional<QString> accessToken() const { return string(QStringLiteral("accessToken")); }
    std::optional<QDateTime> accessTokenExpirationDate() const;
    std::optional<QString> tokenType() const { return string(QStringLiteral("tokenType")); }
    std::optional<QString> idToken() const { return string(QStringLiteral("idToken")); }
    std::optional<QString> scope() const { return string(QStringLiteral("scope")); }
    QVariantMap additionalParameters() const { return m_additionalParameters; }

    // The request that trades this response's code for tokens; throws OidcException
    // when there is no code.
    OidcTokenRequest tokenExchangeRequest() const;
    OidcTokenRequest tokenExchangeRequest(const std::optional<OidcTokenRequest::Parameters> &additionalParameters,
                                          const std::optional<OidcTokenRequest::Parameters> &additionalHeaders
                                          = std::nullopt) const;

    // Code, state and tokens redacted.
    QString description() const;
    QJsonObject archive() const;
    static std::optional<OidcAuthorizationResponse> fromArchive(const QJsonObject &archive);

    static const OidcFieldMapping::Map &fieldMap();

private:
    explicit OidcAuthorizationResponse(const OidcAuthorizationRequest &request);
    std::optional<QString> string(const QString &field) const;

    OidcAuthorizationRequest m_request;
    QVariantMap m_fields;
    QVariantMap m_additionalParameters;
};
