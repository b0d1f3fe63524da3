#pragma once

#include <QByteArray>
#include <QString>

#include <openssl/evp.h>

#include <memory>

// A fresh Ed25519 key pair, made for one test: signs what the test serves, as the
// deployer of updates would.
class Ed25519TestKey
{
public:
    Ed25519TestKey()
    {
        std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
            EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr), EVP_PKEY_CTX_free);
        EVP_PKEY *key = nullptr;
        if (context && EVP_PKEY_keygen_init(context.get()) == 1)
            EVP_PKEY_keygen(context.get(), &key);
        m_key.reset(key);
    }

    bool isValid() const { return m_key != nullptr; }

    QByteArray publicKey() const
    {
        QByteArray raw(32, '\0');
        size_t size = size_t(raw.size());
        if (!m_key || EVP_PKEY_get_raw_public_key(m_key.get(), reinterpret_cast<unsigned char *>(raw.data()), &size) != 1)
            return {};
        raw.resize(qsizetype(size));
        return raw;
    }
    QString publicKeyBase64() const { return QString::fromLatin1(publicKey().toBase64()); }

    QByteArray sign(const QByteArray &message) const
    {
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
        QByteArray signature(64, '\0');
        size_t size = size_t(signature.size());
        static const unsigned char nothing = 0;
        const auto *bytes = message.isEmpty() ? &nothing : reinterpret_cast<const unsigned char *>(message.constData());
        if (!m_key || !context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, m_key.get()) != 1
            || EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()), &size, bytes,
                              size_t(message.size()))
                != 1)
            return {};
        return signature;
    }
    QString signBase64(const QByteArray &message) const { return QString::fromLatin1(sign(message).toBase64()); }

private:
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> m_key{nullptr, EVP_PKEY_free};
};
