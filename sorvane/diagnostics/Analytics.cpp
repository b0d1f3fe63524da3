#include "Analytics.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex observerMutex;
std::function<void(const QString &, const QVariantMap &)> eventObserver;

} // namespace

void Analytics::track(const QString &name, const QVariantMap &properties)
{
    std::function<void(const QString &, const QVariantMap &)> observer;
    {
        QMutexLocker locker(&observerMutex);
        observer = eventObserver;
    }
    if (observer)
        observer(name, properties);
}

void Analytics::setObserver(std::function<void(const QString &, const QVariantMap &)> observer)
{
    QMutexLocker locker(&observerMutex);
    eventObserver = std::move(observer);
}
