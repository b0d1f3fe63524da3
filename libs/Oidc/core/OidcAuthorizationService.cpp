#include "OidcAuthorizationService.h"

#include "OidcErrorUtilities.h"
#include "OidcURLSessionProvider.h"

#include <QCoreApplication>
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
