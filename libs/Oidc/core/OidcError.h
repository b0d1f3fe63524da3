#pragma once

#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>

// The error domains of the OAuth client.
namespace OidcErrorDomain {
inline const QString general = QStringLiteral("dev.tolvern.oidc.general");
inline const QString oauthAuthorization = QStringLiteral("dev.tolvern.oidc.oauth_authorization");
inline const QString oauthToken = QStringLiteral("dev.tolvern.oidc.oauth_token");
inline const QString oauthRegistration = QStringLiteral("dev.tolvern.oidc.oauth_registration");
inline const QString resourceServer = QStringLiteral("dev.tolvern.oidc.resourceserver");
inline const QString remoteHTTP = QStringLiteral("dev.tolvern.oidc.remote-http");
// Transport failures under a general error: the code is QNetworkReply::NetworkError.
inline const QString networkReply = QStringLiteral("QNetworkReply");
} // namespace OidcErrorDomain

// Codes of the general domain: failures of the client itself.
namespace OidcErrorCode {
enum : int {
    invalidDiscoveryDocument = -2,
    userCanceledAuthorizationFlow = -3,
    programCanceledAuthorizationFlow = -4,
    networkError = -5,
    serverError = -6,
    JSONDeserializationError = -7,
    tokenResponseConstructionError = -8,
    safariOpenError = -9,
    browserOpenError = -10,
    tokenRefreshError = -11,
    registrationResponseConstructionError = -12,
    JSONSerializationError = -13,
    idTokenParsingError = -14,
    idTokenFailedValidationError = -15,
};
} // namespace OidcErrorCode

// Codes of the OAuth domains, from the response's "error" value.
namespace OidcErrorCodeOAuth {
enum : int {
    invalidRequest = -2,
    unauthorizedClient = -3,
    accessDenied = -4,
    unsupportedResponseType = -5,
    invalidScope = -6,
    serverError = -7,
    temporarilyUnavailable = -8,
    invalidClient = -9,
    invalidGrant = -10,
    unsupportedGrantType = -11,
    other = -61440,
    clientError = -61439, // the state mismatch, made by the client
};
} // namespace OidcErrorCodeOAuth

// One error of the client: a domain, a code and what its user info carries.
struct OidcError {
    QString domain;
    int code = 0;
    std::optional<QString> localizedDescription;
    // The whole OAuth error response ("OidcOAuthErrorResponseErrorKey").
    std::optional<QJsonObject> oauthErrorResponse;
    std::shared_ptr<const OidcError> underlyingError;

    // The localized description, else the generic text naming domain and code.
    QString description() const;
    bool operator==(const OidcError &other) const;
};

// Misuse of the client's interfaces: the name says which rule, the reason why.
class OidcException : public std::logic_error
{
public:
    OidcException(const QString &name, const QString &reason);
    QString name() const { return m_name; }
    QString reason() const { return m_reason; }

private:
    QString m_name;
    QString m_reason;
};
