#pragma once

#include "HomeIndexSource.h"
#include "HomeIndexWatcher.h"

#include <QDir>

#include <memory>

class HomeIndexWorker;
class QThread;

// The Markdown files (".md", ".markdown", any case) under a home folder, newest change
// first: a worker thread walks the folder, skipping hidden entries and build, dependency
// and tool folders, following no links, and keeps the list fresh with inotify. When the
// watch limit is reached it stops watching and walks again at each refresh(). Started
// by the first Quick Open and never stopped before the process ends.
class HomeIndex : public HomeIndexSource
{
    Q_OBJECT
public:
    // The watcher is the inotify instance to use; none: the system's.
    explicit HomeIndex(const QString &root = QDir::homePath(), std::unique_ptr<HomeIndexWatcher> watcher = {},
                       QObject *parent = nullptr);
    ~HomeIndex() override;

    void start() override;
    void refresh() override;
    QList<HomeIndexItem> snapshot(qsizetype limit) const override;

    // Whether changes are watched; false once the watch limit was reached.
    bool isWatching() const;
    // Folders watched now.
    int watchCount() const;

private:
    QThread *m_thread;
    HomeIndexWorker *m_worker;
    bool m_started = false;
    bool m_gathered = false;
};
