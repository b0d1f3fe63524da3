#include "InMemoryStorage.h"

#include <QMutexLocker>

void InMemoryStorage::setData(const QByteArray &data, const QString &key)
{
    QMutexLocker lock(&m_lock);
    m_store.insert(key, data);
}

std::optional<QByteArray> InMemoryStorage::getData(const QString &key)
{
    QMutexLocker lock(&m_lock);
    const auto found = m_store.constFind(key);
    if (found == m_store.constEnd())
        return std::nullopt;
    return found.value();
}

void InMemoryStorage::deleteData(const QString &key)
{
    QMutexLocker lock(&m_lock);
    m_store.remove(key);
}
