#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

// The process-wide message channel between views and services. A poster names the
// message, optionally the object it concerns (a document id, for example) and a map
// of details; receivers connect to `posted` and filter by name and object.
class NotificationCenter : public QObject
{
    Q_OBJECT
public:
    static NotificationCenter &shared();

    void post(const QString &name, const QVariant &object = {}, const QVariantMap &userInfo = {});

Q_SIGNALS:
    void posted(const QString &name, const QVariant &object, const QVariantMap &userInfo);
};
