#include "EncryptionError.h"

EncryptionError::EncryptionError(Kind kind)
    : m_kind(kind)
{
}

EncryptionError EncryptionError::cipher(const QString &description)
{
    EncryptionError error(cipherFailure);
    error.m_cipherDescription = description;
    return error;
}

QString EncryptionError::localizedDescription() const
{
    switch (m_kind) {
    case notSorvaneEncrypted:
        return QStringLiteral("This file is not a sorv.ane encrypted document.");
    case unsupportedVersion:
        return QStringLiteral("This document uses a newer encryption format. Update sorv.ane to open it.");
    case invalidEncoding:
        return QStringLiteral("The decrypted content could not be read as UTF-8 text.");
    case keyDerivationFailed:
        return QStringLiteral("Could not derive an encryption key from that passphrase.");
    case cipherFailure:
        return m_cipherDescription;
    }
    return m_cipherDescription;
}

QString EncryptionError::authenticationFailedText()
{
    return QStringLiteral("The data could not be authenticated: the passphrase is wrong or the file is damaged.");
}
