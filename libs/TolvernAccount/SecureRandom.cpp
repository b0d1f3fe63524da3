#include "SecureRandom.h"

#include "Base64URL.h"
#include "TolvernError.h"

#include <QMutex>
#include <QMutexLocker>

#include <openssl/rand.h>

#include <stdexcept>

namespace SecureRandom {

namespace {
QMutex sourceMutex;
Source replacedSource;

bool fill(unsigned char *out, int count)
{
    Source source;
    {
        QMutexLocker lock(&sourceMutex);
        source = replacedSource;
    }
    if (source)
        return source(out, count);
    return RAND_bytes(out, count) == 1;
}
} // namespace

QByteArray bytes(int count)
{
    if (count < 0)
        throw std::invalid_argument("SecureRandom::bytes: negative count");
    QByteArray out(count, Qt::Uninitialized);
    if (count > 0 && !fill(reinterpret_cast<unsigned char *>(out.data()), count))
        throw TolvernError::dpopUnavailable(QStringLiteral("random_unavailable"));
    return out;
}

QString urlSafeString(int byteCount)
{
    return Base64URL::encode(bytes(byteCount));
}

void setSource(Source source)
{
    QMutexLocker lock(&sourceMutex);
    replacedSource = std::move(source);
}

} // namespace SecureRandom
