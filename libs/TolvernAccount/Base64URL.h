#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Unpadded base64url ("+" as "-", "/" as "_", no "="), as used by PKCE, DPoP proofs
// and random identifiers.
namespace Base64URL {
QString encode(const QByteArray &bytes);
// Absent when the text is not valid base64url: a character outside the alphabet, a
// length one past a multiple of four, or misplaced padding.
std::optional<QByteArray> decode(const QString &text);
} // namespace Base64URL
