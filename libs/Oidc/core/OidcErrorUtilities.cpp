#include "OidcErrorUtilities.h"

#include "OidcTokenUtilities.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringDecoder>

namespace {
const QString errorResponseRFC = QStringLiteral("https://tools.ietf.org/html/rfc6749#section-5.2");

// How a non-string value of an error response reads in the description.
QString textOf(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::String: return value.toString();
    case QJsonValue::Bool: return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QJsonValue::Double: return value.toVariant().toString();
    case QJsonValue::Array: return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Object: return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Null: return QStringLiteral("<null>");
    case QJsonValue::Undefined: break;
    }
    return QString();
}
} // namespace

OidcError OidcErrorUtilities::errorWithCode(int code, Underlying underlying, std::optional<QString> description)
{
    OidcError error;
    error.domain = OidcErrorDomain::general;
    error.code = code;
    error.underlyingError = std::move(underlying);
    error.localizedDescription = std::move(description);
    return error;
}

bool OidcErrorUtilities::isOAuthErrorDomain(const QString &domain)
{
    return domain == OidcErrorDomain::oauthRegistration || domain == OidcErrorDomain::oauthAuthorization
        || domain == OidcErrorDomain::oauthToken;
}

OidcError OidcErrorUtilities::resourceServerAuthorizationError(int code, std::optional<QJsonObject> errorResponse,
                                                               Underlying underlying)
{
    OidcError error;
    error.domain = OidcErrorDomain::resourceServer;
    error.code = code;
    error.oauthErrorResponse = std::move(errorResponse);
    error.underlyingError = std::move(underlying);
    return error;
}

OidcError OidcErrorUtilities::OAuthError(const QString &domain, const QJsonObject &response, Underlying underlying)
{
    const QJsonValue errorValue = response.value(QStringLiteral("error"));
    if (!isOAuthErrorDomain(domain) || !errorValue.isString()) {
        const std::optional<QString> description =
            underlying ? std::optional<QString>(underlying->description()) : std::nullopt;
        return errorWithCode(OidcErrorCode::networkError, underlying, description);
    }
    QString description = errorValue.toString();
    const QJsonValue errorDescription = response.value(QStringLiteral("error_description"));
    if (!errorDescription.isUndefined())
        description += QStringLiteral(": ") + textOf(errorDescription);
    const QJsonValue errorURI = response.value(QStringLiteral("error_uri"));
    if (!errorURI.isUndefined()) {
        if (!description.isEmpty())
            description += QStringLiteral(" - ");
        description += textOf(errorURI);
    }
    if (description.isEmpty())
        description = QStringLiteral("OAuth error: %1 - %2").arg(errorValue.toString(), errorResponseRFC);

    OidcError error;
    error.domain = domain;
    error.code = OAuthErrorCode(errorValue.toString());
    error.localizedDescription = description;
    error.oauthErrorResponse = response;
    error.underlyingError = std::move(underlying);
    return error;
}

OidcError OidcErrorUtilities::HTTPError(int status, const std::optional<QByteArray> &body)
{
    OidcError error;
    error.domain = OidcErrorDomain::remoteHTTP;
    error.code = status;
    if (body) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(*body);
        if (!decoder.hasError())
            error.localizedDescription = text;
    }
    return error;
}

int OidcErrorUtilities::OAuthErrorCode(const QString &error)
{
    static const QHash<QString, int> codes = {
        {QStringLiteral("invalid_request"), OidcErrorCodeOAuth::invalidRequest},
        {QStringLiteral("unauthorized_client"), OidcErrorCodeOAuth::unauthorizedClient},
        {QStringLiteral("access_denied"), OidcErrorCodeOAuth::accessDenied},
        {QStringLiteral("unsupported_response_type"), OidcErrorCodeOAuth::unsupportedResponseType},
        {QStringLiteral("invalid_scope"), OidcErrorCodeOAuth::invalidScope},
        {QStringLiteral("server_error"), OidcErrorCodeOAuth::serverError},
        {QStringLiteral("temporarily_unavailable"), OidcErrorCodeOAuth::temporarilyUnavailable},
        {QStringLiteral("invalid_client"), OidcErrorCodeOAuth::invalidClient},
        {QStringLiteral("invalid_grant"), OidcErrorCodeOAuth::invalidGrant},
        {QStringLiteral("unsupported_grant_type"), OidcErrorCodeOAuth::unsupportedGrantType},
    };
    return codes.value(error, OidcErrorCodeOAuth::other);
}

OidcErrorUtilities::Underlying OidcErrorUtilities::networkReplyError(int networkError, const QString &text)
{
    auto error = std::make_shared<OidcError>();
    error->domain = OidcErrorDomain::networkReply;
    error->code = networkError;
    error->localizedDescription = text;
    return error;
}

OidcError OidcErrorUtilities::stateMismatch(const std::optional<QString> &expected,
                                            const std::optional<QString> &received, const QVariantMap &parameters,
                                            const QString &responseDescription)
{
    QVariantMap shown = parameters;
    for (const QString &secret : {QStringLiteral("code"), QStringLiteral("state")}) {
        if (shown.contains(secret))
            shown.insert(secret, OidcTokenUtilities::redact(shown.value(secret).toString()));
    }
    OidcError mismatch;
    mismatch.domain = OidcErrorDomain::oauthAuthorization;
    mismatch.code = OidcErrorCodeOAuth::clientError;
    mismatch.oauthErrorResponse = QJsonObject::fromVariantMap(shown);
    mismatch.localizedDescription = QStringLiteral("State mismatch, expecting %1 but got %2 in authorization response %3")
                                        .arg(OidcTokenUtilities::redact(expected).value_or(QStringLiteral("(null)")),
                                             OidcTokenUtilities::redact(received).value_or(QStringLiteral("(null)")),
                                             responseDescription);
    return mismatch;
}

void OidcErrorUtilities::raiseException(const QString &name)
{
    throw OidcException(name, name);
}

void OidcErrorUtilities::raiseException(const QString &name, const QString &message)
{
    throw OidcException(name, message);
}
