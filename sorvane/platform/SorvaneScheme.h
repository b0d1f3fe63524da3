#pragma once

#include <QString>
#include <QUrl>

#include <optional>

// The app's own URL scheme, "sorvane:", which the desktop file registers. The
// launch path and the account side both decide with these, so the list of account
// callback hosts lives here once.
namespace SorvaneScheme {

// sorvane://auth, sorvane://auth-callback or sorvane://signed-in: a browser sign-in
// coming back. QUrl already lowers the case of the scheme and the host.
bool isAccountCallback(const QUrl &url);

// A command-line argument that is a URL rather than a path: "sorvane:…" or "file:…",
// in any case.
bool isURLArgument(const QString &argument);

// The URL as a file on this machine: a "file:" URL with no host or "localhost" (in
// any case), the host dropped; none for anything else, a file on another host included.
std::optional<QUrl> localFileURL(const QUrl &url);

// "scheme://host" and nothing more, for a log line about a URL from outside: the path,
// query and fragment may hold a sign-in code or a private file name.
QString originOf(const QUrl &url);

} // namespace SorvaneScheme
