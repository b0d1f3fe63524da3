#pragma once

#include "TolvernLogLevel.h"

#include <QNetworkReply>
#include <QString>

#include <exception>
#include <optional>

// Field maps of failed requests for the log hook. Endpoints never carry their query
// or fragment into a log event.
namespace TolvernRedaction {

// Values of the "class" field.
enum class Classification { transport, server, auth, decode, cancelled, timeout, clientKilled, requiresUpgrade };
QString rawValue(Classification classification);

// The text before the first "?" or "#" (whole characters, not code units).
QString endpoint(const QString &endpoint);

// "endpoint", "class" = "decode" and, when given, "field".
TolvernLogFields decodeFailure(const QString &endpoint, const std::optional<QString> &field = std::nullopt);

// A request that failed before any HTTP reply. A Qt network error is reported with
// the domain "QNetworkReply" and its NetworkError number as both "error_code" and
// "url_error".
TolvernLogFields transportFailure(const QString &endpoint, QNetworkReply::NetworkError error);
// Any other error: its type as the domain and no "url_error".
TolvernLogFields transportFailure(const QString &endpoint, const std::exception &error);

} // namespace TolvernRedaction
