#include "OidcAuthorizationService.h"

#include "OidcErrorUtilities.h"
#include "OidcIDToken.h"
#include "OidcURLSessionProvider.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {
// Completions always run later and on the application's thread, never inside the call.
void deliver(OidcAuthorizationService::ConfigurationCallback completion,
             std::optional<OidcServiceConfiguration> configuration, std::optional<OidcError> error)
{
    QObject *context = QCoreApplication::instance();
    auto call = [completion = std::move(completion), configuration = std::move(configuration),
                 error = std::move(error)] { completion(configuration, error); };
    if (context)
        QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
    else
        call();
}

template<typename Callback, typename... Values>
void later(Callback completion, Values... values)
{
    QObject *context = QCoreApplication::instance();
    auto call = [completion = std::move(completion), values...] { completion(values...); };
    if (context)
        QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
    else
        call();
}

OidcError idTokenInvalid(const QString &description)
{
    return OidcErrorUtilities::errorWithCode(OidcErrorCode::idTokenFailedValidationError, nullptr, description);
}

// The checks of OpenID Connect Core 3.1.3.7 that need no key; the signature is not checked.
std::optional<OidcError> checkIDToken(const QString &text, const OidcTokenRequest &request,
                                      const std::optional<OidcAuthorizationResponse> &original)
{
    const std::optional<OidcIDToken> token = OidcIDToken::parse(text);
    if (!token)
        return OidcErrorUtilities::errorWithCode(OidcErrorCode::idTokenParsingError, nullptr,
                                                 QStringLiteral("ID Token parsing failed"));
    const std::optional<QUrl> issuer = request.configuration().issuer();
    if (issuer && token->issuer() != *issuer)
        return idTokenInvalid(QStringLiteral("Issuer mismatch"));
    if (!token->audience().contains(request.clientID())
        && token->claims().value(QStringLiteral("azp")).toString() != request.clientID())
        return idTokenInvalid(QStringLiteral("Audience mismatch"));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (token->expiresAt() < now)
        return idTokenInvalid(QStringLiteral("ID Token expired"));
    if (qAbs(token->issuedAt().secsTo(now)) > OidcAuthorizationService::idTokenIssuedAtTolerance)
        return idTokenInvalid(QStringLiteral("Issued at time is more than %1 seconds before or after the current time")
                                  .arg(OidcAuthorizationService::idTokenIssuedAtTolerance));
    if (request.grantType() == QLatin1String("authorization_code") && original) {
        const std::optional<QString> nonce = original->request().nonce();
        if (nonce && token->nonce() != nonce)
            return idTokenInvalid(QStringLiteral("Nonce mismatch"));
    }
    return std::nullopt;
}

QString withoutTrailingSlash(const QString &text)
{
    return text.endsWith(QLatin1Char('/')) ? text.chopped(1) : text;
}
} // namespace

QUrl OidcAuthorizationService::discoveryURLForIssuer(const QUrl &issuer)
{
    QUrl url = issuer;
    url.setPath(withoutTrailingSlash(issuer.path()) + QStringLiteral("/.well-known/openid-configuration"));
    return url;
}

void OidcAuthorizationService::discoverServiceConfigurationForIssuer(const QUrl &issuer,
                                                                     ConfigurationCallback completion)
{
    discoverServiceConfigurationForDiscoveryURL(
        discoveryURLForIssuer(issuer),
        [issuer, completion = std::move(completion)](std::optional<OidcServiceConfiguration> configuration,
                                                     std::optional<OidcError> error) {
            if (configuration) {
                // A document naming another issuer would send the sign-in elsewhere.
                const QString asked = withoutTrailingSlash(issuer.toString(QUrl::FullyEncoded));
                const std::optional<QUrl> named = configuration->issuer();
                const QString answered = named ? withoutTrailingSlash(named->toString(QUrl::FullyEncoded)) : QString();
                if (asked != answered) {
                    completion(std::nullopt,
                               OidcErrorUtilities::errorWithCode(
                                   OidcErrorCode::invalidDiscoveryDocument, nullptr,
                                   QStringLiteral("Issuer mismatch: %1")
                                       .arg(named ? named->toString(QUrl::FullyEncoded) : QStringLiteral("(null)"))));
                    return;
                }
            }
            completion(std::move(configuration), std::move(error));
        });
}

void OidcAuthorizationService::discoverServiceConfigurationForDiscoveryURL(const QUrl &discoveryURL,
                                                                          ConfigurationCallback completion)
{
    QNetworkAccessManager *session = OidcURLSessionProvider::session();
    QNetworkReply *reply = session->get(QNetworkRequest(discoveryURL));
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, discoveryURL, completion = std::move(completion)] {
        reply->deleteLater();
        const QString where = discoveryURL.toString(QUrl::FullyEncoded);
        const QByteArray body = reply->readAll();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid() || (reply->error() != QNetworkReply::NoError && status.toInt() == 0)) {
            const auto transport = OidcErrorUtilities::networkReplyError(reply->error(), reply->errorString());
            deliver(completion, std::nullopt,
                    OidcErrorUtilities::errorWithCode(
                        OidcErrorCode::networkError, transport,
                        QStringLiteral("Connection error fetching discovery document '%1': %2.")
                            .arg(where, transport->description())));
            return;
        }
        if (status.toInt() != 200) {
            const auto http = std::make_shared<OidcError>(OidcErrorUtilities::HTTPError(status.toInt(), body));
            deliver(completion, std::nullopt,
                    OidcErrorUtilities::errorWithCode(
                        OidcErrorCode::networkError, http,
                        QStringLiteral("Non-200 HTTP response (%1) fetching discovery document '%2'.")
                            .arg(status.toInt())
                            .arg(where)));
            return;
        }
        OidcError parseError;
        const std::optional<OidcServiceDiscovery> document = OidcServiceDiscovery::fromJSONData(body, &parseError);
        if (!document) {
            deliver(completion, std::nullopt,
                    OidcErrorUtilities::errorWithCode(
                        OidcErrorCode::networkError, std::make_shared<OidcError>(parseError),
                        QStringLiteral("JSON error parsing document at '%1': %2").arg(where, parseError.description())));
            return;
        }
        deliver(completion, OidcServiceConfiguration(*document), std::nullopt);
    });
}

void OidcAuthorizationService::performTokenRequest(const OidcTokenRequest &request, TokenCallback callback)
{
    performTokenRequest(request, std::nullopt, std::move(callback));
}

void OidcAuthorizationService::performTokenRequest(const OidcTokenRequest &request,
                                                   const std::optional<OidcAuthorizationResponse> &original,
                                                   TokenCallback callback)
{
    QNetworkReply *reply = OidcURLSessionProvider::session()->post(request.URLRequest(), request.URLRequestBody());
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, request, original, callback = std::move(callback)] {
        reply->deleteLater();
        const auto fail = [&callback](const OidcError &error) {
            later(callback, std::optional<OidcTokenResponse>(), std::optional<OidcError>(error));
        };
        const QString where = request.tokenRequestURL().toString(QUrl::FullyEncoded);
        const QByteArray body = reply->readAll();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid() || status.toInt() == 0) {
            const auto transport = OidcErrorUtilities::networkReplyError(reply->error(), reply->errorString());
            fail(OidcErrorUtilities::errorWithCode(OidcErrorCode::networkError, transport,
                                                   QStringLiteral("Connection error making token request to '%1': %2.")
                                                       .arg(where, transport->description())));
            return;
        }
        if (status.toInt() != 200) {
            const auto http = std::make_shared<OidcError>(OidcErrorUtilities::HTTPError(status.toInt(), body));
            const QJsonDocument json = QJsonDocument::fromJson(body);
            if (status.toInt() >= 400 && status.toInt() <= 499 && json.isObject()
                && json.object().contains(QStringLiteral("error"))) {
                fail(OidcErrorUtilities::OAuthError(OidcErrorDomain::oauthToken, json.object(), http));
                return;
            }
            fail(OidcErrorUtilities::errorWithCode(OidcErrorCode::serverError, http,
                                                   QStringLiteral("Non-200 HTTP response (%1) making token request to '%2'.")
                                                       .arg(status.toInt())
                                                       .arg(where)));
            return;
        }
        QJsonParseError parseError;
        const QJsonDocument json = QJsonDocument::fromJson(body, &parseError);
        if (parseError.error != QJsonParseError::NoError) {
            fail(OidcErrorUtilities::errorWithCode(OidcErrorCode::JSONDeserializationError, nullptr,
                                                   QStringLiteral("JSON error parsing token response: %1")
                                                       .arg(parseError.errorString())));
            return;
        }
        if (!json.isObject()) {
            fail(OidcErrorUtilities::errorWithCode(OidcErrorCode::tokenResponseConstructionError, nullptr,
                                                   QStringLiteral("Token response invalid.")));
            return;
        }
        const OidcTokenResponse response(request, json.object().toVariantMap());
        if (const std::optional<QString> idToken = response.idToken()) {
            if (const std::optional<OidcError> invalid = checkIDToken(*idToken, request, original)) {
                fail(*invalid);
                return;
            }
        }
        later(callback, std::optional<OidcTokenResponse>(response), std::optional<OidcError>());
    });
}

void OidcAuthorizationService::performRegistrationRequest(const OidcRegistrationRequest &request,
                                                          RegistrationCallback completion)
{
    const auto fail = [](const RegistrationCallback &callback, const OidcError &error) {
        later(callback, std::optional<OidcRegistrationResponse>(), std::optional<OidcError>(error));
    };
    const std::optional<QNetworkRequest> httpRequest = request.URLRequest();
    const std::optional<QByteArray> body = request.JSONString();
    if (!httpRequest || !body) {
        fail(completion, OidcErrorUtilities::errorWithCode(
                             OidcErrorCode::JSONSerializationError, nullptr,
                             QStringLiteral("The registration request could not be serialized as JSON.")));
        return;
    }
    QNetworkReply *reply = OidcURLSessionProvider::session()->post(*httpRequest, *body);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, request, fail, completion = std::move(completion)] {
        reply->deleteLater();
        const QString where = reply->url().toString(QUrl::FullyEncoded);
        const QByteArray answer = reply->readAll();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid() || status.toInt() == 0) {
            const auto transport = OidcErrorUtilities::networkReplyError(reply->error(), reply->errorString());
            fail(completion, OidcErrorUtilities::errorWithCode(
                                 OidcErrorCode::networkError, transport,
                                 QStringLiteral("Connection error making registration request to '%1': %2.")
                                     .arg(where, transport->description())));
            return;
        }
        if (status.toInt() != 201 && status.toInt() != 200) {
            const auto http = std::make_shared<OidcError>(OidcErrorUtilities::HTTPError(status.toInt(), answer));
            const QJsonDocument json = QJsonDocument::fromJson(answer);
            if (status.toInt() == 400 && json.isObject() && json.object().contains(QStringLiteral("error"))) {
                fail(completion, OidcErrorUtilities::OAuthError(OidcErrorDomain::oauthRegistration, json.object(), http));
                return;
            }
            fail(completion,
                 OidcErrorUtilities::errorWithCode(
                     OidcErrorCode::serverError, http,
                     QStringLiteral("Non-200/201 HTTP response (%1) making registration request to '%2'.")
                         .arg(status.toInt())
                         .arg(where)));
            return;
        }
        QJsonParseError parseError;
        const QJsonDocument json = QJsonDocument::fromJson(answer, &parseError);
        if (parseError.error != QJsonParseError::NoError) {
            fail(completion, OidcErrorUtilities::errorWithCode(OidcErrorCode::JSONDeserializationError, nullptr,
                                                               QStringLiteral("JSON error parsing registration response: %1")
                                                                   .arg(parseError.errorString())));
            return;
        }
        if (!json.isObject()) {
            fail(completion, OidcErrorUtilities::errorWithCode(OidcErrorCode::registrationResponseConstructionError,
                                                               nullptr, QStringLiteral("Registration response invalid.")));
            return;
        }
        later(completion, std::optional<OidcRegistrationResponse>(OidcRegistrationResponse(request, json.object().toVariantMap())),
              std::optional<OidcError>());
    });
}
