#pragma once

#include "OidcError.h"

#include <QByteArray>
#include <QJsonObject>
#include <QVariantMap>

#include <memory>
#include <optional>

// Builds the client's error records. Every part of the OAuth client reports through
// these, so one vocabulary of domains and codes reaches the callers.
class OidcErrorUtilities
{
public:
    using Underlying = std::shared_ptr<const OidcError>;

    OidcErrorUtilities() = delete;

    // A general-domain error; underlying error and description only when given.
    static OidcError errorWithCode(int code, Underlying underlying = nullptr,
                                   std::optional<QString> description = std::nullopt);
    // The registration, authorization and token domains.
    static bool isOAuthErrorDomain(const QString &domain);
    static OidcError resourceServerAuthorizationError(int code, std::optional<QJsonObject> errorResponse,
                                                      Underlying underlying = nullptr);
    // An OAuth error response in one of the OAuth domains; anything else becomes a
    // general network error carrying the underlying error's description.
    static OidcError OAuthError(const QString &domain, const QJsonObject &response, Underlying underlying = nullptr);
    // A plain HTTP failure: code = status, description = the body when it is UTF-8.
    static OidcError HTTPError(int status, const std::optional<QByteArray> &body);
    static int OAuthErrorCode(const QString &error);
    // A transport failure of Qt's network stack, as an underlying error.
    static Underlying networkReplyError(int networkError, const QString &text);

    // The authorization-domain -61439 of a redirect whose state is not the request's.
    // The text and the kept parameters show code and states redacted: both end up in logs.
    static OidcError stateMismatch(const std::optional<QString> &expected, const std::optional<QString> &received,
                                   const QVariantMap &parameters, const QString &responseDescription);

    [[noreturn]] static void raiseException(const QString &name);
    [[noreturn]] static void raiseException(const QString &name, const QString &message);
};
