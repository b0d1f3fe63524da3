#pragma once

#include <QString>

class QUrl;

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

} // namespace SorvaneScheme
