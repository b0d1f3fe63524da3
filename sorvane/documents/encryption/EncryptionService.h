#pragma once

#include "EncryptionError.h"

#include <QByteArray>
#include <QString>

#include <optional>

// The encrypted-document envelope: "srvn", a version byte, then salt, nonce and
// tag each behind a one-byte length, then the AES-256-GCM ciphertext. Version 2
// (PBKDF2-HMAC-SHA256) is written; versions 1 (HKDF-SHA256) and 2 are read.
// Stateless; the document commands call it on the GUI thread.
class EncryptionService
{
public:
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // A fuzzer needs thousands of runs a second; the envelope code is the same.
    static constexpr int pbkdf2Rounds = 1;
#else
    static constexpr int pbkdf2Rounds = 210000;
#endif
    static constexpr int headerLength = 52;

    // Envelope bytes, or nothing with *error set.
    static std::optional<QByteArray> encrypt(const QString &plaintext, const QString &passphrase,
                                             EncryptionError *error = nullptr);
    // The whole plaintext, or nothing with *error set; never a partial text.
    static std::optional<QString> decrypt(const QByteArray &data, const QString &passphrase,
                                          EncryptionError *error = nullptr);
    // At least four bytes and they are the magic.
    static bool isEncrypted(const QByteArray &data);

    EncryptionService() = delete;

private:
    static std::optional<QByteArray> deriveKeyPBKDF2(const QByteArray &passphrase, const QByteArray &salt);
    static std::optional<QByteArray> deriveKeyHKDF(const QByteArray &passphrase, const QByteArray &salt);
};
