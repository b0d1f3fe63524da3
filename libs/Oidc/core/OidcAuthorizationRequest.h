#pragma once

#include "OidcServiceConfiguration.h"

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// One authorization request: what the browser carries to the authorization endpoint
// (response type, client, scopes, redirect, state, nonce, PKCE challenge, extras).
// Immutable once made.
class OidcAuthorizationRequest
{
public:
    using Parameters = QMap<QString, QString>;

    // Stores every value as given. None, with the assertion logged, for a response
    // type other than "code", "code id_token" or "id_token code".
    static std::optional<OidcAuthorizationRequest>
    create(const OidcServiceConfiguration &configuration, const QString &clientID,
           const std::optional<QString> &clientSecret, const std::optional<QString> &scope,
           const std::optional<QUrl> &redirectURL, const QString &responseType, const std::optional<QString> &state,
           const std::optional<QString> &nonce, const std::optional<QString> &codeVerifier,
           const std::optional<QString> &codeChallenge, const std::optional<QString> &codeChallengeMethod,
           const std::optional<Parameters> &additionalParameters);
    // Generates verifier, S256 challenge, state and nonce. None when the random source
    // fails (a flow without them would be unprotected) or a scope is malformed.
    static std::optional<OidcAuthorizationRequest>
    create(const OidcServiceConfiguration &configuration, const QString &clientID,
           const std::optional<QString> &clientSecret, const QStringList &scopes, const QUrl &redirectURL,
           const QString &responseType, const std::optional<Parameters> &additionalParameters);
    static std::optional<OidcAuthorizationRequest>
    create(const OidcServiceConfiguration &configuration, const QString &clientID, const QStringList &scopes,
           const QUrl &redirectURL, const QString &responseType, const std::optional<Parameters> &additionalParameters);
    // As above with the caller's nonce.
    static std::optional<OidcAuthorizationRequest>
    create(const OidcServiceConfiguration &configuration, const QString &clientID, const QStringList &scopes,
           const QUrl &redirectURL, const QString &responseType, const QString &nonce,
           const std::optional<Parameters> &additionalParameters);

    static std::optional<QString> generateCodeVerifier();
    static std::optional<QString> generateState();
    static std::optional<QString> codeChallengeS256ForVerifier(const std::optional<QString> &verifier);
    static bool isSupportedResponseType(const QString &responseType);

    OidcServiceConfiguration configuration() const { return m_configuration; }
    QString responseType() const { return m_responseType; }
    QString clientID() const { return m_clientID; }
    std::optional<QString> clientSecret() const { return m_clientSecret; }
    std::optional<QString> scope() const { return m_scope; }
    std::optional<QUrl> redirectURL() const { return m_redirectURL; }
    std::optional<QString> state() const { return m_state; }
    std::optional<QString> nonce() const { return m_nonce; }
    std::optional<QString> codeVerifier() const { return m_codeVerifier; }
    std::optional<QString> codeChallenge() const { return m_codeChallenge; }
    std::optional<QString> codeChallengeMethod() const { return m_codeChallengeMethod; }
    std::optional<Parameters> additionalParameters() const { return m_additionalParameters; }

    // The endpoint with the request as its query (an existing query is replaced).
    QUrl authorizationRequestURL() const;
    QUrl externalUserAgentRequestURL() const { return authorizationRequestURL(); }
    QString redirectScheme() const;
    // The request URL with state and nonce redacted.
    QString description() const;

    QJsonObject archive() const;
    static std::optional<OidcAuthorizationRequest> fromArchive(const QJsonObject &archive);

    bool operator==(const OidcAuthorizationRequest &other) const = default;

private:
    OidcAuthorizationRequest(const OidcServiceConfiguration &configuration);
    QUrl requestURL(bool redacted) const;

    OidcServiceConfiguration m_configuration;
    QString m_responseType;
    QString m_clientID;
    std::optional<QString> m_clientSecret;
    std::optional<QString> m_scope;
    std::optional<QUrl> m_redirectURL;
    std::optional<QString> m_state;
    std::optional<QString> m_nonce;
    std::optional<QString> m_codeVerifier;
    std::optional<QString> m_codeChallenge;
    std::optional<QString> m_codeChallengeMethod;
    std::optional<Parameters> m_additionalParameters;
};
