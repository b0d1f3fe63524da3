#pragma once

#include <QString>

// Scrubs personal data and credentials from diagnostic texts before anything keeps
// them: bearer and header credentials, e-mail addresses, home folders, IP addresses,
// session tokens and JWTs, keyed secrets and long opaque strings.
namespace DiagnosticRedaction {

QString redact(const QString &text);

} // namespace DiagnosticRedaction
