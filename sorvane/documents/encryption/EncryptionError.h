#pragma once

#include <QString>

// Why an encrypted document could not be written or read. The four envelope and
// key cases carry fixed texts; failures of the AES-GCM layer itself (wrong
// passphrase, damaged file, a nonce or tag the cipher refuses) come through as
// `cipherFailure` with the cipher layer's own description.
class EncryptionError
{
public:
    enum Kind {
        notSorvaneEncrypted,
        unsupportedVersion,
        invalidEncoding,
        keyDerivationFailed,
        cipherFailure,
    };

    EncryptionError() = default;
    explicit EncryptionError(Kind kind);
    static EncryptionError cipher(const QString &description);

    Kind kind() const { return m_kind; }
    QString localizedDescription() const;

    // The cipher layer's text for a failed authentication (wrong key or altered bytes).
    static QString authenticationFailedText();

private:
    Kind m_kind = notSorvaneEncrypted;
    QString m_cipherDescription;
};
