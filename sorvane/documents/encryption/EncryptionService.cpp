#include "EncryptionService.h"

#include <QStringDecoder>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <memory>

namespace {
constexpr char magic[4] = {'s', 'r', 'v', 'n'};
constexpr int writtenVersion = 2;
constexpr int saltLength = 16;
constexpr int nonceLength = 12;
constexpr int tagLength = 16;
constexpr int keyLength = 32;
constexpr const char *hkdfInfo = "sorvane-v1";

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX *ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

struct KdfContextFree {
    void operator()(EVP_KDF_CTX *ctx) const { EVP_KDF_CTX_free(ctx); }
};

// Key material and passphrase bytes are wiped when they go out of scope.
struct Wiped {
    QByteArray bytes;
    ~Wiped()
    {
        if (!bytes.isEmpty())
            OPENSSL_cleanse(bytes.data(), static_cast<size_t>(bytes.size()));
    }
};

QString openSslText(const char *fallback)
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return QString::fromLatin1(fallback);
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    return QString::fromLatin1(buffer);
}

void setError(EncryptionError *error, const EncryptionError &value)
{
    if (error)
        *error = value;
}

std::optional<QByteArray> runKdf(const char *name, OSSL_PARAM *params)
{
    EVP_KDF *kdf = EVP_KDF_fetch(nullptr, name, nullptr);
    if (!kdf)
        return std::nullopt;
    std::unique_ptr<EVP_KDF_CTX, KdfContextFree> ctx(EVP_KDF_CTX_new(kdf));
    EVP_KDF_free(kdf);
    if (!ctx)
        return std::nullopt;
    QByteArray key(keyLength, '\0');
    if (EVP_KDF_derive(ctx.get(), reinterpret_cast<unsigned char *>(key.data()), keyLength, params) != 1) {
        ERR_clear_error();
        return std::nullopt;
    }
    return key;
}

// OSSL_PARAM wants non-const buffers; a zero-length field still needs a valid pointer.
void *paramBuffer(const QByteArray &bytes)
{
    static char empty = 0;
    return bytes.isEmpty() ? static_cast<void *>(&empty) : const_cast<char *>(bytes.constData());
}

const unsigned char *bytesOf(const QByteArray &bytes)
{
    return reinterpret_cast<const unsigned char *>(bytes.constData());
}
} // namespace

std::optional<QByteArray> EncryptionService::deriveKeyPBKDF2(const QByteArray &passphrase, const QByteArray &salt)
{
    unsigned int rounds = pbkdf2Rounds;
    char digest[] = "SHA256";
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_PASSWORD, paramBuffer(passphrase),
                                          static_cast<size_t>(passphrase.size())),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, paramBuffer(salt), static_cast<size_t>(salt.size())),
        OSSL_PARAM_construct_uint(OSSL_KDF_PARAM_ITER, &rounds),
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_end(),
    };
    return runKdf("PBKDF2", params);
}

std::optional<QByteArray> EncryptionService::deriveKeyHKDF(const QByteArray &passphrase, const QByteArray &salt)
{
    char digest[] = "SHA256";
    QByteArray info(hkdfInfo);
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_KEY, paramBuffer(passphrase),
                                          static_cast<size_t>(passphrase.size())),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_SALT, paramBuffer(salt), static_cast<size_t>(salt.size())),
        OSSL_PARAM_construct_octet_string(OSSL_KDF_PARAM_INFO, info.data(), static_cast<size_t>(info.size())),
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_end(),
    };
    return runKdf("HKDF", params);
}

bool EncryptionService::isEncrypted(const QByteArray &data)
{
    return data.size() >= 4 && data.startsWith(QByteArray::fromRawData(magic, 4));
}

std::optional<QByteArray> EncryptionService::encrypt(const QString &plaintext, const QString &passphrase,
                                                     EncryptionError *error)
{
    QByteArray salt(saltLength, '\0');
    QByteArray nonce(nonceLength, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char *>(salt.data()), saltLength) != 1
        || RAND_bytes(reinterpret_cast<unsigned char *>(nonce.data()), nonceLength) != 1) {
        setError(error, EncryptionError::cipher(openSslText("The system could not provide random bytes.")));
        return std::nullopt;
    }

    const Wiped secret{passphrase.toUtf8()};
    const auto derived = deriveKeyPBKDF2(secret.bytes, salt);
    if (!derived) {
        setError(error, EncryptionError(EncryptionError::keyDerivationFailed));
        return std::nullopt;
    }
    const Wiped key{*derived};

    const QByteArray input = plaintext.toUtf8();
    QByteArray ciphertext(input.size(), '\0');
    unsigned char tag[tagLength];
    CipherContext ctx(EVP_CIPHER_CTX_new());
    int written = 0;
    int finalWritten = 0;
    const bool sealed = ctx
        && EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1
        && EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, nonceLength, nullptr) == 1
        && EVP_EncryptInit_ex(ctx.get(), nullptr, nullptr, bytesOf(key.bytes), bytesOf(nonce)) == 1
        && (input.isEmpty()
            || EVP_EncryptUpdate(ctx.get(), reinterpret_cast<unsigned char *>(ciphertext.data()), &written,
                                 bytesOf(input), static_cast<int>(input.size())) == 1)
        && EVP_EncryptFinal_ex(ctx.get(), reinterpret_cast<unsigned char *>(ciphertext.data()) + written,
                               &finalWritten) == 1
        && EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, tagLength, tag) == 1;
    if (!sealed || written + finalWritten != input.size()) {
        setError(error, EncryptionError::cipher(openSslText("The document could not be encrypted.")));
        return std::nullopt;
    }

    QByteArray out;
    out.reserve(headerLength + ciphertext.size());
    out.append(magic, 4);
    out.append(char(writtenVersion));
    out.append(char(saltLength)).append(salt);
    out.append(char(nonceLength)).append(nonce);
    out.append(char(tagLength)).append(reinterpret_cast<const char *>(tag), tagLength);
    out.append(ciphertext);
    return out;
}

std::optional<QString> EncryptionService::decrypt(const QByteArray &data, const QString &passphrase,
                                                  EncryptionError *error)
{
    if (data.size() < headerLength || !isEncrypted(data)) {
        setError(error, EncryptionError(EncryptionError::notSorvaneEncrypted));
        return std::nullopt;
    }
    const int version = static_cast<unsigned char>(data.at(4));
    if (version != 1 && version != 2) {
        setError(error, EncryptionError(EncryptionError::unsupportedVersion));
        return std::nullopt;
    }

    // Each field is a length byte and that many bytes; a length that runs past the
    // end marks a damaged or forged file, reported like any other non-envelope.
    qsizetype offset = 5;
    const auto field = [&](QByteArray *out) {
        if (offset >= data.size())
            return false;
        const qsizetype length = static_cast<unsigned char>(data.at(offset));
        if (length > data.size() - offset - 1)
            return false;
        *out = data.mid(offset + 1, length);
        offset += 1 + length;
        return true;
    };
    QByteArray salt, nonce, tag;
    if (!field(&salt) || !field(&nonce) || !field(&tag)) {
        setError(error, EncryptionError(EncryptionError::notSorvaneEncrypted));
        return std::nullopt;
    }
    const QByteArray ciphertext = data.mid(offset);

    // GCM accepts shorter tags, but a short tag is easier to forge; only the full
    // 16 bytes authenticate. An empty nonce is refused by the cipher.
    if (tag.size() != tagLength) {
        setError(error, EncryptionError::cipher(EncryptionError::authenticationFailedText()));
        return std::nullopt;
    }
    if (nonce.isEmpty()) {
        setError(error, EncryptionError::cipher(QStringLiteral("The cipher refused a nonce of that length.")));
        return std::nullopt;
    }

    const Wiped secret{passphrase.toUtf8()};
    const auto derived = version == 2 ? deriveKeyPBKDF2(secret.bytes, salt) : deriveKeyHKDF(secret.bytes, salt);
    if (!derived) {
        setError(error, EncryptionError(EncryptionError::keyDerivationFailed));
        return std::nullopt;
    }
    const Wiped key{*derived};

    Wiped plain{QByteArray(ciphertext.size(), '\0')};
    CipherContext ctx(EVP_CIPHER_CTX_new());
    int written = 0;
    int finalWritten = 0;
    const bool prepared = ctx
        && EVP_DecryptInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1
        && EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(nonce.size()), nullptr) == 1
        && EVP_DecryptInit_ex(ctx.get(), nullptr, nullptr, bytesOf(key.bytes), bytesOf(nonce)) == 1
        && (ciphertext.isEmpty()
            || EVP_DecryptUpdate(ctx.get(), reinterpret_cast<unsigned char *>(plain.bytes.data()), &written,
                                 bytesOf(ciphertext), static_cast<int>(ciphertext.size())) == 1)
        && EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_TAG, tagLength, const_cast<char *>(tag.constData())) == 1;
    if (!prepared) {
        setError(error, EncryptionError::cipher(openSslText("The cipher refused this document's parameters.")));
        return std::nullopt;
    }
    // Nothing decrypted leaves this function until the tag has been checked.
    if (EVP_DecryptFinal_ex(ctx.get(), reinterpret_cast<unsigned char *>(plain.bytes.data()) + written,
                            &finalWritten) != 1) {
        ERR_clear_error();
        setError(error, EncryptionError::cipher(EncryptionError::authenticationFailedText()));
        return std::nullopt;
    }

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless
                                                     | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(plain.bytes);
    if (decoder.hasError()) {
        setError(error, EncryptionError(EncryptionError::invalidEncoding));
        return std::nullopt;
    }
    return text;
}
