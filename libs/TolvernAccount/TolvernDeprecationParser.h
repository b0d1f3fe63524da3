#pragma once

#include "TolvernDeprecationNotice.h"

#include <QList>
#include <QString>

struct HTTPResponse;

// Reads the identity service's "Tolvern-Deprecation" header:
//   notice ("," notice)*, notice = kind (";" name "=" value)*
// Kinds and names ignore case; values are kept as written (quotes too). Notices that
// cannot be read are skipped.
namespace TolvernDeprecationParser {
QList<TolvernDeprecationNotice> parse(const QString &headerValue);
// The notices of a reply; none without the header.
QList<TolvernDeprecationNotice> notices(const HTTPResponse &response);
} // namespace TolvernDeprecationParser
