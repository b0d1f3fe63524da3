#pragma once

#include <QString>

#include <optional>

// The identity provider a web sign-in should open, as the sign-in views report it.
// Raw values are the ones the OAuth driver sends as its hint.
enum class TolvernProviderHint { apple, google, email };

namespace TolvernProviderHints {
QString rawValue(TolvernProviderHint hint);
// Raw values compare exactly: any other string gives no hint.
std::optional<TolvernProviderHint> fromRawValue(const QString &raw);
} // namespace TolvernProviderHints
