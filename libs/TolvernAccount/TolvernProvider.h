#pragma once

#include <QList>
#include <QString>

#include <optional>

class TolvernJSONValue;

// A sign-in method an account has. Coded as its raw value.
enum class TolvernProvider { password, emailLink, google, apple, passkey };

namespace TolvernProviders {
QString rawValue(TolvernProvider provider);
std::optional<TolvernProvider> fromRawValue(const QString &raw);
// Every case, in declaration order.
QList<TolvernProvider> allCases();
// An unknown raw value is a data-corrupted error.
TolvernProvider fromJSON(const TolvernJSONValue &json);
} // namespace TolvernProviders
