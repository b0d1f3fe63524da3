#pragma once

#include "OidcServiceConfiguration.h"
#include "OidcURLQueryComponent.h"

#include <QJsonObject>
#include <QMap>
#include <QNetworkRequest>
#include <QStringList>
#include <QUrl>

#include <optional>

// A request to the token endpoint: the code exchange or a refresh.
class OidcTokenRequest
{
public:
    using Parameters = QMap<QString, QString>;

    // Throws OidcException for the "authorization_code" grant without a redirect URL.
    OidcTokenRequest(const OidcServiceConfiguration &configuration, const QString &grantType,
                     const std::optional<QString> &authorizationCode, const std::optional<QUrl> &redirectURL,
                     const QString &clientID, const std::optional<QString> &clientSecret,
                     const std::optional<QString> &scope, const std::optional<QString> &refreshToken,
                     const std::optional<QString> &codeVerifier,
                     const std::optional<Parameters> &additionalParameters = std::nullopt,
                     const std::optional<Parameters> &additionalHeaders = std::nullopt);
    // The scopes are checked and joined; a malformed one leaves the scope out (logged).
    OidcTokenRequest(const OidcServiceConfiguration &configuration, const QString &grantType,
                     const std::optional<QString> &authorizationCode, const std::optional<QUrl> &redirectURL,
                     const QString &clientID, const std::optional<QString> &clientSecret, const QStringList &scopes,
                     const std::optional<QString> &refreshToken, const std::optional<QString> &codeVerifier,
                     const std::optional<Parameters> &additionalParameters = std::nullopt,
                     const std::optional<Parameters> &additionalHeaders = std::nullopt);

    OidcServiceConfiguration configuration() const { return m_configuration; }
    QString grantType() const { return m_grantType; }
    std::optional<QString> authorizationCode() const { return m_authorizationCode; }
    std::optional<QUrl> redirectURL() const { return m_redirectURL; }
    QString clientID() const { return m_clientID; }
    std::optional<QString> clientSecret() const { return m_clientSecret; }
    std::optional<QString> scope() const { return m_scope; }
    std::optional<QString> refreshToken() const { return m_refreshToken; }
    std::optional<QString> codeVerifier() const { return m_codeVerifier; }
    std::optional<Parameters> additionalParameters() const { return m_additionalParameters; }
    std::optional<Parameters> additionalHeaders() const { return m_additionalHeaders; }

    QUrl tokenRequestURL() const { return m_configuration.tokenEndpoint(); }
    OidcURLQueryComponent tokenRequestBody() const;
    // The POST with its headers; the body goes with it.
    QNetworkRequest URLRequest() const;
    QByteArray URLRequestBody() const;
    // URL and body, with code, verifier, refresh token and secret redacted.
    QString description() const;

    QJsonObject archive() const;
    static std::optional<OidcTokenRequest> fromArchive(const QJsonObject &archive);

    bool operator==(const OidcTokenRequest &other) const = default;

private:
    OidcURLQueryComponent body(bool redacted) const;
    OidcURLQueryComponent sentBody(bool redacted) const;

    OidcServiceConfiguration m_configuration;
    QString m_grantType;
    std::optional<QString> m_authorizationCode;
    std::optional<QUrl> m_redirectURL;
    QString m_clientID;
    std::optional<QString> m_clientSecret;
    std::optional<QString> m_scope;
    std::optional<QString> m_refreshToken;
    std::optional<QString> m_codeVerifier;
    std::optional<Parameters> m_additionalParameters;
    std::optional<Parameters> m_additionalHeaders;
};
