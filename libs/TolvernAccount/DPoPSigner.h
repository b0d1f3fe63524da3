#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QUrl>

#include <memory>
#include <mutex>
#include <optional>

// The device-bound P-256 key and the DPoP proofs (RFC 9449) made with it. The account
// manager makes one and hands it to the identity-service client, which puts a fresh
// proof on every request that carries a session token.
//
// The key is kept as PKCS#8 DER in one Secret Service item, so every launch signs with
// the same key and has the same thumbprint. Linux has no hardware key store, so the
// key is either that keyring key or, when the keyring cannot hold one, an in-memory
// key that ends with the signer. Proofs may be made from any thread at once. After
// discardKeyringKey() every signer of the process moves to one new key at its next use.
class DPoPSigner
{
public:
    enum class Backend {
        // The key lives in the Secret Service and outlives the process.
        keyring,
        // A key of this signer only; a new one, with a new thumbprint, each launch.
        inMemory,
    };
    enum class KeySource {
        // Load the keyring key or make and store one; in memory when that fails.
        keyringOrMemory,
        // Never touch the keyring.
        memoryOnly,
    };

    // Secret Service attributes of the key item.
    static constexpr const char *kApplicationTag = "dev.tolvern.account.dpop.privatekey";
    static constexpr const char *kKeyClass = "private";
    static constexpr const char *kService = "com.tolvern.account";

    // Finds or makes the key. Throws TolvernError only when the thumbprint cannot be
    // computed; keyring failures fall back to an in-memory key.
    explicit DPoPSigner(KeySource source = KeySource::keyringOrMemory);
    ~DPoPSigner();
    DPoPSigner(const DPoPSigner &) = delete;
    DPoPSigner &operator=(const DPoPSigner &) = delete;

    // One compact JWS for a request to `htu` with method `htm`; with an access token its
    // "ath" claim binds the proof to it. Throws TolvernError::dpopUnavailable.
    QString generateProof(const QUrl &htu, const QString &htm,
                          const std::optional<QString> &accessToken = std::nullopt) const;

    // "kty", "crv", "x", "y".
    QMap<QString, QString> publicJWK() const;
    // RFC 7638 SHA-256 thumbprint of publicJWK(), unpadded base64url.
    QString jktThumbprint() const;
    Backend backend() const;

    // Removes the keyring key (a local-data reset). Every signer then takes a new key
    // at its next use, the keyring ones all the same one, which the next launch finds.
    static void discardKeyringKey();

    // The pieces below are public for their own tests.
    // RFC 7638 thumbprint of the members "crv", "kty", "x", "y" that the map has.
    static QString jwkThumbprint(const QMap<QString, QString> &jwk);
    // The JWK of a 65-byte uncompressed X9.63 point; throws "public_key_format".
    static QMap<QString, QString> publicJWK(const QByteArray &uncompressedPoint);
    // An ASN.1 DER ECDSA signature as the JOSE r || s of 2 * componentLength bytes;
    // throws "der_not_sequence", "der_not_integer" or, for DER that ends early,
    // "sign_failed".
    static QByteArray derToJoseECDSA(const QByteArray &der, int componentLength);

private:
    struct Key;
    static std::shared_ptr<const Key> makeKey(KeySource source);
    static QByteArray sign(const Key &key, const QByteArray &data);
    // The key to use now: a new one when the keyring key was discarded since.
    std::shared_ptr<const Key> currentKey() const;

    KeySource m_source;
    mutable std::mutex m_mutex;
    mutable std::shared_ptr<const Key> m_key;
    mutable quint64 m_generation = 0;
};
