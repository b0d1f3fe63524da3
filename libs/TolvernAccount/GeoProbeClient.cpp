#include "GeoProbeClient.h"

#include "ErrorTelemetryConsent.h"
#include "ErrorFirehoseURL.h"

#include <QCoro/QCoroNetworkReply>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <memory>

std::optional<bool> GeoProbeClient::cachedIsEU()
{
    return ErrorTelemetryConsent::storedBool(userDefaultsKey);
}

QCoro::Task<bool> GeoProbeClient::probe(QNetworkAccessManager *network, QUrl identityURL)
{
    QNetworkRequest request(ErrorFirehoseURL::appendingPath(identityURL, QStringLiteral("api/geo")));
    request.setTransferTimeout(60000);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(network->get(request),
                                                                    [](QNetworkReply *r) { r->deleteLater(); });
    co_await qCoro(reply.get()).waitForFinished();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // A transport error has no status; an HTTP error status still carries a body to decode.
    if (!status.isValid())
        co_return false;
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll());
    const QJsonValue eu = document.object().value(QStringLiteral("eu"));
    if (!document.isObject() || !eu.isBool())
        co_return false;
    ErrorTelemetryConsent::defaults()->setValue(userDefaultsKey, eu.toBool());
    co_return eu.toBool();
}
