#include "DPoPSigner.h"

#include "Base64URL.h"
#include "Internal/SecretServiceItems.h"
#include "SecureRandom.h"
#include "TolvernError.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace {

using PKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

SecretServiceItems::Attributes keyAttributes()
{
    return {
        {QStringLiteral("service"), QLatin1String(DPoPSigner::kService)},
        {QStringLiteral("application_tag"), QLatin1String(DPoPSigner::kApplicationTag)},
        {QStringLiteral("key_class"), QLatin1String(DPoPSigner::kKeyClass)},
    };
}

// Held across load-or-create, so two signers of one process never make two keys.
QMutex &keyringLock()
{
    static QMutex lock;
    return lock;
}

bool isP256(EVP_PKEY *key)
{
    char group[64] = {};
    return EVP_PKEY_get_base_id(key) == EVP_PKEY_EC
           && EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, nullptr) == 1
           && qstrcmp(group, "prime256v1") == 0;
}

PKey fromPkcs8(const QByteArray &der)
{
    const auto *data = reinterpret_cast<const unsigned char *>(der.constData());
    PKCS8_PRIV_KEY_INFO *info = d2i_PKCS8_PRIV_KEY_INFO(nullptr, &data, der.size());
    if (!info)
        return PKey(nullptr, EVP_PKEY_free);
    PKey key(EVP_PKCS82PKEY(info), EVP_PKEY_free);
    PKCS8_PRIV_KEY_INFO_free(info);
    if (key && !isP256(key.get()))
        key.reset();
    return key;
}

QByteArray toPkcs8(EVP_PKEY *key)
{
    PKCS8_PRIV_KEY_INFO *info = EVP_PKEY2PKCS8(key);
    if (!info)
        return {};
    unsigned char *buffer = nullptr;
    const int length = i2d_PKCS8_PRIV_KEY_INFO(info, &buffer);
    PKCS8_PRIV_KEY_INFO_free(info);
    if (length <= 0)
        return {};
    QByteArray der(reinterpret_cast<const char *>(buffer), length);
    OPENSSL_clear_free(buffer, length);
    return der;
}

QByteArray uncompressedPoint(EVP_PKEY *key)
{
    QByteArray point(65, '\0');
    size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY,
                                        reinterpret_cast<unsigned char *>(point.data()), point.size(), &length)
        != 1)
        throw TolvernError::dpopUnavailable(QStringLiteral("public_key_export_failed"));
    point.truncate(static_cast<qsizetype>(length));
    return point;
}

// The keyring key, or none when there is none or the Secret Service cannot be reached.
PKey loadKeyringKey()
{
    SecretServiceItems::Lookup found = SecretServiceItems::lookup(keyAttributes());
    PKey key = found.status == SecretServiceItems::success ? fromPkcs8(found.secret) : PKey(nullptr, EVP_PKEY_free);
    OPENSSL_cleanse(found.secret.data(), found.secret.size());
    return key;
}

// A new key, stored in the keyring; none when it cannot be stored there.
PKey createKeyringKey()
{
    PKey key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!key)
        return key;
    QByteArray der = toPkcs8(key.get());
    const bool stored = !der.isEmpty()
                        && SecretServiceItems::store(keyAttributes(), QStringLiteral("Device key for signed requests"), der)
                               == SecretServiceItems::success;
    OPENSSL_cleanse(der.data(), der.size());
    if (!stored)
        key.reset();
    return key;
}

// Reads one DER length at `pos`; false when it is malformed or runs past the end.
bool readLength(const QByteArray &der, qsizetype &pos, qsizetype &length)
{
    if (pos >= der.size())
        return false;
    const auto first = static_cast<unsigned char>(der.at(pos++));
    if (!(first & 0x80)) {
        length = first;
        return true;
    }
    const int count = first & 0x7f;
    if (count == 0 || count > 4 || pos + count > der.size())
        return false;
    length = 0;
    for (int i = 0; i < count; ++i)
        length = (length << 8) | static_cast<unsigned char>(der.at(pos++));
    return true;
}

QByteArray readInteger(const QByteArray &der, qsizetype &pos, int componentLength)
{
    if (pos >= der.size())
        throw TolvernError::dpopUnavailable(QStringLiteral("sign_failed"));
    if (static_cast<unsigned char>(der.at(pos)) != 0x02)
        throw TolvernError::dpopUnavailable(QStringLiteral("der_not_integer"));
    ++pos;
    qsizetype length = 0;
    if (!readLength(der, pos, length) || length > der.size() - pos)
        throw TolvernError::dpopUnavailable(QStringLiteral("sign_failed"));
    QByteArray value = der.mid(pos, length);
    pos += length;
    while (value.size() > componentLength && value.at(0) == '\0')
        value.remove(0, 1);
    if (value.size() > componentLength)
        throw TolvernError::dpopUnavailable(QStringLiteral("sign_failed"));
    return QByteArray(componentLength - value.size(), '\0') + value;
}

} // namespace

struct DPoPSigner::Key {
    PKey pkey{nullptr, EVP_PKEY_free};
    Backend backend = Backend::inMemory;
    QMap<QString, QString> publicJWK;
    QString thumbprint;
};

namespace {
// Bumped by each discard; a signer that saw an older value takes a new key.
std::atomic<quint64> &keyGeneration()
{
    static std::atomic<quint64> generation{0};
    return generation;
}
} // namespace

std::shared_ptr<const DPoPSigner::Key> DPoPSigner::makeKey(KeySource source)
{
    auto key = std::make_shared<Key>();
    if (source == KeySource::keyringOrMemory) {
        QMutexLocker locker(&keyringLock());
        key->pkey = loadKeyringKey();
        if (!key->pkey)
            key->pkey = createKeyringKey();
        if (key->pkey)
            key->backend = Backend::keyring;
    }
    if (!key->pkey) {
        key->pkey = PKey(EVP_EC_gen("P-256"), EVP_PKEY_free);
        key->backend = Backend::inMemory;
        if (!key->pkey)
            throw TolvernError::dpopUnavailable(QStringLiteral("key_create_failed"));
    }
    key->publicJWK = publicJWK(uncompressedPoint(key->pkey.get()));
    key->thumbprint = jwkThumbprint(key->publicJWK);
    return key;
}

DPoPSigner::DPoPSigner(KeySource source)
    : m_source(source)
    , m_generation(keyGeneration().load())
{
    m_key = makeKey(source);
}

std::shared_ptr<const DPoPSigner::Key> DPoPSigner::currentKey() const
{
    const std::lock_guard locker(m_mutex);
    const quint64 generation = keyGeneration().load();
    if (generation != m_generation) {
        try {
            m_key = makeKey(m_source);
            m_generation = generation;
        } catch (const TolvernError &) {
            // The old key signs on; the next use tries again.
        }
    }
    return m_key;
}

void DPoPSigner::discardKeyringKey()
{
    QMutexLocker locker(&keyringLock());
    SecretServiceItems::clear(keyAttributes());
    ++keyGeneration();
}

QMap<QString, QString> DPoPSigner::publicJWK() const
{
    return currentKey()->publicJWK;
}

QString DPoPSigner::jktThumbprint() const
{
    return currentKey()->thumbprint;
}

DPoPSigner::Backend DPoPSigner::backend() const
{
    return currentKey()->backend;
}

DPoPSigner::~DPoPSigner() = default;

QString DPoPSigner::jwkThumbprint(const QMap<QString, QString> &jwk)
{
    QStringList members;
    for (const char *name : {"crv", "kty", "x", "y"}) {
        const QString key = QLatin1String(name);
        if (jwk.contains(key))
            members << QLatin1Char('"') + key + QStringLiteral("\":\"") + jwk.value(key) + QLatin1Char('"');
    }
    const QByteArray canonical = (QLatin1Char('{') + members.join(QLatin1Char(',')) + QLatin1Char('}')).toUtf8();
    return Base64URL::encode(QCryptographicHash::hash(canonical, QCryptographicHash::Sha256));
}

QMap<QString, QString> DPoPSigner::publicJWK(const QByteArray &uncompressedPoint)
{
    if (uncompressedPoint.size() != 65 || uncompressedPoint.at(0) != '\x04')
        throw TolvernError::dpopUnavailable(QStringLiteral("public_key_format"));
    return {
        {QStringLiteral("kty"), QStringLiteral("EC")},
        {QStringLiteral("crv"), QStringLiteral("P-256")},
        {QStringLiteral("x"), Base64URL::encode(uncompressedPoint.mid(1, 32))},
        {QStringLiteral("y"), Base64URL::encode(uncompressedPoint.mid(33, 32))},
    };
}

QByteArray DPoPSigner::derToJoseECDSA(const QByteArray &der, int componentLength)
{
    if (der.size() < 3 || static_cast<unsigned char>(der.at(0)) != 0x30)
        throw TolvernError::dpopUnavailable(QStringLiteral("der_not_sequence"));
    qsizetype pos = 1;
    qsizetype sequenceLength = 0;
    if (!readLength(der, pos, sequenceLength))
        throw TolvernError::dpopUnavailable(QStringLiteral("sign_failed"));
    const QByteArray r = readInteger(der, pos, componentLength);
    const QByteArray s = readInteger(der, pos, componentLength);
    return r + s;
}

QByteArray DPoPSigner::sign(const Key &key, const QByteArray &data)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    size_t length = 0;
    const auto *input = reinterpret_cast<const unsigned char *>(data.constData());
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.pkey.get()) != 1
        || EVP_DigestSign(context.get(), nullptr, &length, input, data.size()) != 1)
        throw TolvernError::dpopUnavailable(QStringLiteral("sign_failed"));
    QByteArray der(static_cast<qsizetype>(length), '\0');
    if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(der.data()), &length, input, data.size()) != 1)
        throw TolvernError::dpopUnavailable(QStringLiteral("sign_failed"));
    der.truncate(static_cast<qsizetype>(length));
    return derToJoseECDSA(der, 32);
}

QString DPoPSigner::generateProof(const QUrl &htu, const QString &htm, const std::optional<QString> &accessToken) const
{
    QString htuText = htu.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment).toString(QUrl::FullyEncoded);
    if (htuText.isEmpty())
        htuText = htu.toString(QUrl::FullyEncoded);

    const std::shared_ptr<const Key> key = currentKey();
    QJsonObject jwk;
    for (auto it = key->publicJWK.cbegin(); it != key->publicJWK.cend(); ++it)
        jwk.insert(it.key(), it.value());
    const QJsonObject header{
        {QStringLiteral("typ"), QStringLiteral("dpop+jwt")},
        {QStringLiteral("alg"), QStringLiteral("ES256")},
        {QStringLiteral("jwk"), jwk},
    };
    QJsonObject claims{
        {QStringLiteral("htm"), htm.toUpper()},
        {QStringLiteral("htu"), htuText},
        {QStringLiteral("iat"), QDateTime::currentSecsSinceEpoch()},
        {QStringLiteral("jti"), SecureRandom::urlSafeString(16)},
    };
    if (accessToken) {
        claims.insert(QStringLiteral("ath"),
                      Base64URL::encode(QCryptographicHash::hash(accessToken->toUtf8(), QCryptographicHash::Sha256)));
    }
    // QJsonObject keeps its keys sorted and QJsonDocument leaves "/" unescaped: the
    // compact form is the sorted-keys serialisation proofs use.
    const QString signingInput =
        Base64URL::encode(QJsonDocument(header).toJson(QJsonDocument::Compact)) + QLatin1Char('.')
        + Base64URL::encode(QJsonDocument(claims).toJson(QJsonDocument::Compact));
    return signingInput + QLatin1Char('.') + Base64URL::encode(sign(*key, signingInput.toUtf8()));
}
