#include "TolvernInstallMetrics.h"

#include "KeychainStorage.h"

#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUuid>

namespace {
QMutex &processLock()
{
    static QMutex lock;
    return lock;
}

// The canonical form of a stored identifier, or nothing when it is no UUID.
std::optional<QString> canonicalID(const QByteArray &stored)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(stored);
    if (decoder.hasError())
        return std::nullopt;
    static const QRegularExpression uuid(QStringLiteral(
        "\\A(?:dev_)?([0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12})\\z"));
    const QRegularExpressionMatch match = uuid.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toLower();
}

void storeIgnoringFailure(TolvernAccountDataStorage &storage, const QString &id)
{
    try {
        storage.setData(id.toUtf8(), QString::fromLatin1(TolvernInstallMetrics::Keys::installID));
    } catch (const std::exception &) {
        // The identifier is still answered; the next call makes another.
    }
}
} // namespace

TolvernInstallMetrics::TolvernInstallMetrics(const QString &appSlug)
    : m_storage(std::make_shared<KeychainStorage>(appSlug))
{
}

TolvernInstallMetrics::TolvernInstallMetrics(std::shared_ptr<TolvernAccountDataStorage> storage)
    : m_storage(std::move(storage))
{
}

QString TolvernInstallMetrics::installID() const
{
    QMutexLocker lock(&processLock());
    const std::optional<QByteArray> stored = m_storage->getData(QString::fromLatin1(Keys::installID));
    if (stored) {
        if (const std::optional<QString> id = canonicalID(*stored)) {
            if (id->toUtf8() != *stored)
                storeIgnoringFailure(*m_storage, *id);
            return *id;
        }
    }
    const QString fresh = QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    storeIgnoringFailure(*m_storage, fresh);
    return fresh;
}

bool TolvernInstallMetrics::shouldFireFirstOpen() const
{
    QMutexLocker lock(&processLock());
    return !m_storage->getData(QString::fromLatin1(Keys::firstOpenFired)).has_value();
}

bool TolvernInstallMetrics::markFirstOpenFired() const
{
    QMutexLocker lock(&processLock());
    const QString key = QString::fromLatin1(Keys::firstOpenFired);
    if (m_storage->getData(key))
        return true;
    try {
        m_storage->setData(QByteArrayLiteral("1"), key);
        return true;
    } catch (const std::exception &) {
        return false;
    }
}
