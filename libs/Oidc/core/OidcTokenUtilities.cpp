#include "OidcTokenUtilities.h"

#include <QCryptographicHash>
#include <QMutex>

#include <openssl/rand.h>

namespace {
QMutex sourceMutex;
OidcTokenUtilities::RandomSource replacedSource;
} // namespace

QString OidcTokenUtilities::encodeBase64urlNoPadding(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

std::optional<QString> OidcTokenUtilities::randomURLSafeString(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    if (!randomBytes(reinterpret_cast<unsigned char *>(bytes.data()), size))
        return std::nullopt;
    return encodeBase64urlNoPadding(bytes);
}

QByteArray OidcTokenUtilities::sha256(const QString &text)
{
    return QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256);
}

std::optional<QString> OidcTokenUtilities::redact(const std::optional<QString> &text)
{
    if (!text)
        return std::nullopt;
    return redact(*text);
}

QString OidcTokenUtilities::redact(const QString &text)
{
    if (text.isEmpty())
        return text;
    if (text.size() <= 8)
        return QStringLiteral("[redacted]");
    return text.left(6) + QStringLiteral("...[redacted]");
}

QString OidcTokenUtilities::formUrlEncode(const QString &text)
{
    if (text.isEmpty())
        return text;
    QString encoded;
    for (const char byte : text.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        const bool literal = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' '
            || c == '*' || c == '-' || c == '.' || c == '_';
        if (literal)
            encoded += c == ' ' ? QChar(u'+') : QChar(c);
        else
            encoded += QStringLiteral("%%1").arg(c, 2, 16, QChar(u'0')).toUpper();
    }
    return encoded;
}

void OidcTokenUtilities::setRandomSource(RandomSource source)
{
    QMutexLocker lock(&sourceMutex);
    replacedSource = std::move(source);
}

bool OidcTokenUtilities::randomBytes(unsigned char *buffer, int size)
{
    RandomSource source;
    {
        QMutexLocker lock(&sourceMutex);
        source = replacedSource;
    }
    if (source)
        return source(buffer, size);
    return RAND_bytes(buffer, size) == 1;
}
