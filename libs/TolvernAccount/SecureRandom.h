#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Unguessable bytes and URL-safe strings from the system's cryptographic source.
// A failing source is never papered over with a weaker one: the call throws
// TolvernError::dpopUnavailable("random_unavailable").
namespace SecureRandom {

// Fills `count` bytes at `out`; answers false when the source could not.
using Source = std::function<bool(unsigned char *out, int count)>;

QByteArray bytes(int count);
// `byteCount` random bytes as unpadded base64url: 16 bytes give 22 characters.
QString urlSafeString(int byteCount);

// Replaces the source for the whole process (tests); an empty function restores
// OpenSSL's RAND_bytes.
void setSource(Source source);

} // namespace SecureRandom
