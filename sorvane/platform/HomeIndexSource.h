#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

// One Markdown file of the home index. An item with an empty path carries nothing a
// reader can use and is skipped by it; an invalid date means none is known.
struct HomeIndexItem
{
    QString path;
    QDateTime modified;
};

// A live list of the Markdown files under the home folder, newest change first. Quick
// Open reads it; tests hand Quick Open a scripted one.
class HomeIndexSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~HomeIndexSource() override;

    // Begins gathering; later calls do nothing.
    virtual void start() = 0;
    // Called each time the list is about to be shown: an index that cannot watch for
    // changes gathers again here.
    virtual void refresh() {}
    // A consistent copy of the first `limit` items.
    virtual QList<HomeIndexItem> snapshot(qsizetype limit) const = 0;

Q_SIGNALS:
    // Once, when the first gathering is complete.
    void gatheringFinished();
    // After a later change of the list.
    void updated();
};
