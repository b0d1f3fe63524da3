#pragma once

#include "TolvernAccountDataStorage.h"

#include <QHash>
#include <QMutex>

// The storage kept in memory, for tests and hosts without a keyring. Every
// operation holds its one lock; writes never fail.
class InMemoryStorage : public TolvernAccountDataStorage
{
public:
    void setData(const QByteArray &data, const QString &key) override;
    std::optional<QByteArray> getData(const QString &key) override;
    void deleteData(const QString &key) override;

private:
    QMutex m_lock;
    QHash<QString, QByteArray> m_store;
};
