#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QUrl>

#include <optional>

class QNetworkReply;

// The head of an HTTP reply as the library hands it around: a real reply's, or one
// the request throttle made up. Header names compare without regard to case.
struct HTTPResponse
{
    QUrl url;
    int statusCode = 0;
    QByteArray httpVersion = QByteArrayLiteral("HTTP/1.1");
    QList<QPair<QByteArray, QByteArray>> headerFields;

    std::optional<QByteArray> value(const QByteArray &headerName) const;

    // The head of a finished reply; absent when the reply has no HTTP status.
    static std::optional<HTTPResponse> fromReply(QNetworkReply *reply);
};
