#pragma once

#include <QString>
#include <QUrl>

// Where the identity service answers the application's own calls (reports, the
// health probe, the analytics mirror). The built-in origin serves unless the
// environment names another in SORVANE_IDENTITY_URL (tests, staging).
namespace DiagnosticEndpoints {

inline constexpr const char *defaultIdentityOrigin = "https://id.tolvern.dev";
inline constexpr const char *identityOriginVariable = "SORVANE_IDENTITY_URL";

// SORVANE_IDENTITY_URL when it holds an http(s) URL with a host, else the default;
// without a trailing slash.
QUrl identityOrigin();
// The origin with `path` (starting with "/") appended to its own path.
QUrl identityURL(const QString &path);

} // namespace DiagnosticEndpoints
