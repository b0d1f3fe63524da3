#pragma once

#include "OidcFieldMapping.h"
#include "OidcTokenRequest.h"

#include <QDateTime>
#include <QJsonObject>
#include <QVariantMap>

#include <optional>

// The token endpoint's answer to one request.
class OidcTokenResponse
{
public:
    OidcTokenResponse(const OidcTokenRequest &request, const QVariantMap &parameters);

    OidcTokenRequest request() const { return m_request; }
    std::optional<QString> accessToken() const { return string(QStringLiteral("accessToken")); }
    std::optional<QDateTime> accessTokenExpirationDate() const;
    std::optional<QString> tokenType() const { return string(QStringLiteral("tokenType")); }
    std::optional<QString> idToken() const { return string(QStringLiteral("idToken")); }
    std::optional<QString> refreshToken() const { return string(QStringLiteral("refreshToken")); }
    std::optional<QString> scope() const { return string(QStringLiteral("scope")); }
    QVariantMap additionalParameters() const { return m_additionalParameters; }

    // The three tokens redacted.
    QString description() const;
    QJsonObject archive() const;
    static std::optional<OidcTokenResponse> fromArchive(const QJsonObject &archive);

    static const OidcFieldMapping::Map &fieldMap();

private:
    std::optional<QString> string(const QString &field) const;

    OidcTokenRequest m_request;
    QVariantMap m_fields;
    QVariantMap m_additionalParameters;
};
