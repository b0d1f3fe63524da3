#include "HTTPResponse.h"

#include <QNetworkReply>

std::optional<QByteArray> HTTPResponse::value(const QByteArray &headerName) const
{
    for (const auto &field : headerFields) {
        if (field.first.compare(headerName, Qt::CaseInsensitive) == 0)
            return field.second;
    }
    return std::nullopt;
}

std::optional<HTTPResponse> HTTPResponse::fromReply(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    HTTPResponse response;
    response.url = reply->url();
    response.statusCode = status.toInt();
    if (reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool())
        response.httpVersion = QByteArrayLiteral("HTTP/2");
    response.headerFields = reply->rawHeaderPairs();
    return response;
}
