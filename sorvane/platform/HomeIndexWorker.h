#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>

#include <atomic>
#include <memory>
#include <vector>

class HomeIndexWatcher;
class QSocketNotifier;
class QTimer;

// The thread side of HomeIndex: walks the home folder, keeps one inotify watch per
// folder and re-lists the folders that changed, in batches at most every 0.3 s. Each
// batch publishes a new immutable list, so a reader's copy never changes under it.
class HomeIndexWorker : public QObject
{
    Q_OBJECT
public:
    struct Entry
    {
        QString path;
        qint64 modifiedNs = 0;
    };
    using Entries = std::vector<Entry>;

    HomeIndexWorker(const QString &root, std::unique_ptr<HomeIndexWatcher> watcher);
    ~HomeIndexWorker() override;

    // Any thread.
    std::shared_ptr<const Entries> published() const;
    bool isWatching() const { return m_watching.load(); }
    int watchCount() const { return m_watchCount.load(); }
    // Makes a running walk give up; the worker is being torn down.
    void requestStop() { m_stop.store(true); }
    // Any thread: one fresh walk when changes cannot be watched; repeated requests
    // before it runs make one walk.
    void requestRewalk();

    static constexpr int batchIntervalMs = 300;

public Q_SLOTS:
    // The first walk, watching as it goes.
    void start();
    // A fresh walk when changes cannot be watched.
    void rewalkIfUnwatched();
    // Drops the watcher and timers on the worker's own thread.
    void shutdown();

Q_SIGNALS:
    void gatheringFinished();
    void updated();

private:
    struct Folder
    {
        int wd = -1;
        QByteArrayList subfolders;
        Entries files;
    };

    void walk(const QByteArray &top);
    bool list(const QByteArray &path, Folder &folder) const;
    void watch(const QByteArray &path, Folder &folder);
    void removeSubtree(const QByteArray &path);
    void stopWatching();
    bool openWatcher();
    void walkAll();
    void readEvents();
    void flush();
    bool publish();

    const QByteArray m_root;
    std::unique_ptr<HomeIndexWatcher> m_watcher;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_batch = nullptr;
    QHash<QByteArray, Folder> m_folders;
    QHash<int, QByteArray> m_watchedPaths;
    QSet<QByteArray> m_dirty;
    QSet<QByteArray> m_gone;
    bool m_overflow = false;
    bool m_started = false;
    std::atomic<bool> m_watching{false};
    std::atomic<int> m_watchCount{0};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_rewalkPending{false};

    mutable QMutex m_mutex;
    std::shared_ptr<const Entries> m_published;
};
