#include "UpdateSignature.h"

#include <openssl/evp.h>

#include <memory>

namespace {

std::optional<QByteArray> decodeExact(const QString &base64, qsizetype size)
{
    const QByteArray text = base64.trimmed().toLatin1();
    if (text.isEmpty())
        return std::nullopt;
    auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size)
        return std::nullopt;
    return decoded.decoded;
}

struct PkeyFree {
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};

} // namespace

std::optional<QByteArray> UpdateSignature::decodePublicKey(const QString &base64)
{
    return decodeExact(base64, publicKeySize);
}

std::optional<QByteArray> UpdateSignature::decodeSignature(const QString &base64)
{
    return decodeExact(base64, signatureSize);
}

bool UpdateSignature::verify(QByteArrayView publicKey, QByteArrayView message, QByteArrayView signature)
{
    if (publicKey.size() != publicKeySize || signature.size() != signatureSize)
        return false;
    std::unique_ptr<EVP_PKEY, PkeyFree> key(EVP_PKEY_new_raw_public_key(
        EVP_PKEY_ED25519, nullptr, reinterpret_cast<const unsigned char *>(publicKey.data()),
        size_t(publicKey.size())));
    if (!key)
        return false;
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> context(EVP_MD_CTX_new());
    if (!context)
        return false;
    // Ed25519 hashes internally: no digest is named, and the message goes in whole.
    if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    // An empty message still needs a pointer.
    static const unsigned char nothing = 0;
    const auto *bytes = message.isEmpty() ? &nothing : reinterpret_cast<const unsigned char *>(message.data());
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char *>(signature.data()),
                            size_t(signature.size()), bytes, size_t(message.size()))
        == 1;
}
