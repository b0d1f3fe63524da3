#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Ed25519 checks of downloaded updates. The deployer signs each update file with
// its private key; the build carries the public key as base64 of its 32 raw bytes.
class UpdateSignature
{
public:
    static constexpr qsizetype publicKeySize = 32;
    static constexpr qsizetype signatureSize = 64;

    // The 32 raw key bytes of a base64 text (surrounding white space ignored), or
    // nullopt when the text is no base64 or decodes to another length.
    static std::optional<QByteArray> decodePublicKey(const QString &base64);
    // The 64 raw signature bytes of a base64 text, or nullopt.
    static std::optional<QByteArray> decodeSignature(const QString &base64);

    // True only when `signature` is a valid Ed25519 signature of exactly `message`
    // under `publicKey`. Keys and signatures of the wrong size never verify.
    static bool verify(QByteArrayView publicKey, QByteArrayView message, QByteArrayView signature);
};
