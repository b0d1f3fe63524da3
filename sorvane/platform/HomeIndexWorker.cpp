#include "HomeIndexWorker.h"

#include "HomeIndexWatcher.h"
#include "PlatformLog.h"

#include <QFile>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>

namespace {

// Build output, dependencies and tool folders: never entered, by exact name.
bool isExcludedFolder(const char *name)
{
    static const char *const excluded[] = {
        ".git", "node_modules", ".build", "build", "dist", "out", "Pods", ".next",
        ".svelte-kit", ".nuxt", ".venv", "venv", "target", ".idea", ".vscode", "DerivedData",
        ".cache", ".gradle", "bin", "obj", ".turbo", "vendor",
    };
    return std::any_of(std::begin(excluded), std::end(excluded),
                       [name](const char *folder) { return std::strcmp(name, folder) == 0; });
}

bool endsWithNoCase(const char *name, size_t length, const char *suffix)
{
    const size_t suffixLength = std::strlen(suffix);
    return length >= suffixLength && strncasecmp(name + length - suffixLength, suffix, suffixLength) == 0;
}

bool isMarkdownName(const char *name)
{
    const size_t length = std::strlen(name);
    return endsWithNoCase(name, length, ".md") || endsWithNoCase(name, length, ".markdown");
}

QByteArray joined(const QByteArray &folder, const char *name)
{
    QByteArray path = folder;
    if (!path.endsWith('/'))
        path += '/';
    return path + name;
}

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

bool newestFirst(const HomeIndexWorker::Entry &a, const HomeIndexWorker::Entry &b)
{
    if (a.modifiedNs != b.modifiedNs)
        return a.modifiedNs > b.modifiedNs;
    return a.path < b.path;
}

} // namespace

HomeIndexWorker::HomeIndexWorker(const QString &root, std::unique_ptr<HomeIndexWatcher> watcher)
    : m_root(QFile::encodeName(root))
    , m_watcher(std::move(watcher))
    , m_published(std::make_shared<const Entries>())
{
}

HomeIndexWorker::~HomeIndexWorker() = default;

std::shared_ptr<const HomeIndexWorker::Entries> HomeIndexWorker::published() const
{
    QMutexLocker lock(&m_mutex);
    return m_published;
}

void HomeIndexWorker::start()
{
    if (m_started)
        return;
    m_started = true;
    m_batch = new QTimer(this);
    m_batch->setSingleShot(true);
    m_batch->setTimerType(Qt::PreciseTimer);
    m_batch->setInterval(batchIntervalMs);
    connect(m_batch, &QTimer::timeout, this, &HomeIndexWorker::flush);
    if (!openWatcher())
        qCWarning(lcPlatform) << "home index: no inotify instance, changes are picked up at each show:"
                              << std::strerror(errno);
    walkAll();
    publish();
    Q_EMIT gatheringFinished();
}

void HomeIndexWorker::requestRewalk()
{
    if (!m_rewalkPending.exchange(true))
        QMetaObject::invokeMethod(this, &HomeIndexWorker::rewalkIfUnwatched, Qt::QueuedConnection);
}

void HomeIndexWorker::rewalkIfUnwatched()
{
    m_rewalkPending.store(false);
    if (!m_started || m_watching.load() || m_stop.load())
        return;
    walkAll();
    if (publish())
        Q_EMIT updated();
}

void HomeIndexWorker::shutdown()
{
    delete m_notifier;
    m_notifier = nullptr;
    delete m_batch;
    m_batch = nullptr;
    m_watcher->close();
    m_watching.store(false);
}

bool HomeIndexWorker::openWatcher()
{
    if (!m_watcher->open())
        return false;
    m_notifier = new QSocketNotifier(m_watcher->descriptor(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &HomeIndexWorker::readEvents);
    m_watching.store(true);
    return true;
}

void HomeIndexWorker::stopWatching()
{
    m_watching.store(false);
    delete m_notifier;
    m_notifier = nullptr;
    m_watcher->close();
    m_watchedPaths.clear();
    m_watchCount.store(0);
    for (Folder &folder : m_folders)
        folder.wd = -1;
    m_dirty.clear();
    m_gone.clear();
    if (m_batch)
        m_batch->stop();
}

void HomeIndexWorker::walkAll()
{
    m_folders.clear();
    m_watchedPaths.clear();
    m_watchCount.store(0);
    walk(m_root);
}

void HomeIndexWorker::walk(const QByteArray &top)
{
    QByteArrayList pending{top};
    while (!pending.isEmpty() && !m_stop.load()) {
        const QByteArray path = pending.takeLast();
        Folder folder;
        // Watch before listing, so a change made while the folder is read is not lost.
        watch(path, folder);
        if (!list(path, folder)) {
            if (folder.wd >= 0) {
                m_watcher->removeWatch(folder.wd);
                m_watchedPaths.remove(folder.wd);
                --m_watchCount;
            }
            continue;
        }
        for (const QByteArray &name : std::as_const(folder.subfolders))
            pending.append(joined(path, name.constData()));
        m_folders.insert(path, std::move(folder));
    }
}

void HomeIndexWorker::watch(const QByteArray &path, Folder &folder)
{
    if (!m_watching.load())
        return;
    const int wd = m_watcher->addWatch(path);
    if (wd >= 0) {
        folder.wd = wd;
        m_watchedPaths.insert(wd, path);
        ++m_watchCount;
        return;
    }
    if (errno == ENOSPC || errno == ENOMEM) {
        qCWarning(lcPlatform) << "home index: the inotify watch limit is reached after" << m_watchCount.load()
                              << "folders; changes are picked up at each show";
        stopWatching();
    }
}

bool HomeIndexWorker::list(const QByteArray &path, Folder &folder) const
{
    DIR *dir = opendir(path.constData());
    if (!dir)
        return false;
    const int fd = dirfd(dir);
    while (const dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.')
            continue;
        unsigned char type = entry->d_type;
        struct stat info;
        bool haveInfo = false;
        if (type == DT_UNKNOWN) {
            if (fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            haveInfo = true;
            type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_LNK;
        }
        if (type == DT_DIR) {
            if (!isExcludedFolder(name))
                folder.subfolders.append(QByteArray(name));
        } else if (type == DT_REG && isMarkdownName(name)) {
            if (!haveInfo && fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (!S_ISREG(info.st_mode))
                continue;
            const qint64 ns = qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
            folder.files.push_back({QFile::decodeName(joined(path, name)), ns});
        }
    }
    closedir(dir);
    return true;
}

void HomeIndexWorker::removeSubtree(const QByteArray &top)
{
    QByteArrayList pending{top};
    while (!pending.isEmpty()) {
        const QByteArray path = pending.takeLast();
        const auto found = m_folders.constFind(path);
        if (found == m_folders.constEnd())
            continue;
        const int wd = found->wd;
        // A folder moved within the home may already carry its watch under the new path.
        if (wd >= 0 && m_watchedPaths.value(wd) == path) {
            m_watcher->removeWatch(wd);
            m_watchedPaths.remove(wd);
            --m_watchCount;
        }
        for (const QByteArray &name : found->subfolders)
            pending.append(joined(path, name.constData()));
        m_folders.erase(found);
        m_dirty.remove(path);
    }
}

void HomeIndexWorker::readEvents()
{
    const QList<HomeIndexWatcher::Event> events = m_watcher->readEvents();
    for (const HomeIndexWatcher::Event &event : events) {
        if (event.mask & IN_Q_OVERFLOW) {
            m_overflow = true;
            continue;
        }
        const QByteArray path = m_watchedPaths.value(event.wd);
        if (path.isEmpty())
            continue;
        if (event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
            m_gone.insert(path);
            if (path != m_root)
                m_dirty.insert(parentOf(path));
        } else {
            m_dirty.insert(path);
        }
    }
    if ((m_overflow || !m_dirty.isEmpty() || !m_gone.isEmpty()) && m_batch && !m_batch->isActive())
        m_batch->start();
}

void HomeIndexWorker::flush()
{
    if (m_stop.load())
        return;
    if (m_overflow) {
        // Events were lost: only a fresh walk knows what the home holds now.
        m_overflow = false;
        m_dirty.clear();
        m_gone.clear();
        stopWatching();
        openWatcher();
        walkAll();
        if (publish())
            Q_EMIT updated();
        return;
    }
    const QSet<QByteArray> gone = std::exchange(m_gone, {});
    for (const QByteArray &path : gone)
        removeSubtree(path);

    // Removals first, then new folders: a folder moved inside the home keeps its watch
    // descriptor, which must not be dropped after the new path took it.
    QByteArrayList toWalk;
    const QSet<QByteArray> dirty = std::exchange(m_dirty, {});
    for (const QByteArray &path : dirty) {
        const auto found = m_folders.find(path);
        if (found == m_folders.end())
            continue;
        Folder fresh;
        if (!list(path, fresh)) {
            removeSubtree(path);
            continue;
        }
        fresh.wd = found->wd;
        const QByteArrayList old = std::exchange(found->subfolders, fresh.subfolders);
        found->files = std::move(fresh.files);
        for (const QByteArray &name : old) {
            if (!fresh.subfolders.contains(name))
                removeSubtree(joined(path, name.constData()));
        }
        for (const QByteArray &name : std::as_const(fresh.subfolders)) {
            const QByteArray child = joined(path, name.constData());
            if (!m_folders.contains(child))
                toWalk.append(child);
        }
    }
    for (const QByteArray &path : std::as_const(toWalk)) {
        if (!m_folders.contains(path))
            walk(path);
    }
    if (publish())
        Q_EMIT updated();
}

bool HomeIndexWorker::publish()
{
    auto entries = std::make_shared<Entries>();
    for (const Folder &folder : std::as_const(m_folders))
        entries->insert(entries->end(), folder.files.begin(), folder.files.end());
    std::sort(entries->begin(), entries->end(), newestFirst);
    const std::shared_ptr<const Entries> current = published();
    const bool same = std::equal(entries->begin(), entries->end(), current->begin(), current->end(),
                                 [](const Entry &a, const Entry &b) {
                                     return a.modifiedNs == b.modifiedNs && a.path == b.path;
                                 });
    if (same)
        return false;
    QMutexLocker lock(&m_mutex);
    m_published = std::move(entries);
    return true;
}
