#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// Random strings, Base64url, SHA-256, redaction and form encoding shared by every
// part of the OAuth client.
class OidcTokenUtilities
{
public:
    // Fills the buffer with that many cryptographically secure bytes; false when it cannot.
    using RandomSource = std::function<bool(unsigned char *buffer, int size)>;

    OidcTokenUtilities() = delete;

    // RFC 4648 Base64url without padding.
    static QString encodeBase64urlNoPadding(const QByteArray &bytes);
    // `size` random bytes, Base64url encoded; none when the random source fails.
    static std::optional<QString> randomURLSafeString(int size);
    static QByteArray sha256(const QString &text);
    // Nothing stays nothing, "" stays "", up to 8 characters "[redacted]", else the
    // first 6 characters and "...[redacted]".
    static std::optional<QString> redact(const std::optional<QString> &text);
    static QString redact(const QString &text);
    // application/x-www-form-urlencoded.
    static QString formUrlEncode(const QString &text);

    // Replaces the process-wide random source (tests); nullptr restores OpenSSL's.
    static void setRandomSource(RandomSource source);
    static bool randomBytes(unsigned char *buffer, int size);
};
