#pragma once

#include <QList>
#include <QString>

#include <optional>

// How web sign-in is presented. Raw values are the case names; decoding is exact
// and case-sensitive.
enum class AuthScheme { aswas, loopback, systemBrowser };

namespace AuthSchemes {
QString rawValue(AuthScheme scheme);
std::optional<AuthScheme> fromRawValue(const QString &raw);
// Every case, in declaration order.
QList<AuthScheme> allCases();
} // namespace AuthSchemes
