#include "NotificationCenter.h"

NotificationCenter &NotificationCenter::shared()
{
    static NotificationCenter *instance = new NotificationCenter;
    return *instance;
}

void NotificationCenter::post(const QString &name, const QVariant &object, const QVariantMap &userInfo)
{
    Q_EMIT posted(name, object, userInfo);
}
