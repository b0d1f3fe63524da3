// Any bytes as an encrypted document: decrypting never crashes or reads past the
// envelope, a refusal always names its kind, and any text seals and opens unchanged.
#include "documents/encryption/EncryptionService.h"

#include <cstdint>
#include <cstdlib>

namespace {
const QString passphrase = QStringLiteral("correct horse battery staple");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    EncryptionService::isEncrypted(bytes);
    EncryptionError error;
    const std::optional<QString> opened = EncryptionService::decrypt(bytes, passphrase, &error);
    if (!opened && error.localizedDescription().isEmpty())
        std::abort();

    // The same bytes as a document's text.
    const QString text = QString::fromUtf8(bytes);
    const std::optional<QByteArray> sealed = EncryptionService::encrypt(text, passphrase);
    if (!sealed || !EncryptionService::isEncrypted(*sealed))
        std::abort();
    const std::optional<QString> reopened = EncryptionService::decrypt(*sealed, passphrase);
    if (!reopened || *reopened != text)
        std::abort();
    return 0;
}
