#include "HomeIndexWatcher.h"

#include <cerrno>
#include <sys/inotify.h>
#include <unistd.h>

HomeIndexWatcher::~HomeIndexWatcher()
{
    HomeIndexWatcher::close();
}

bool HomeIndexWatcher::open()
{
    if (m_fd >= 0)
        return true;
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    return m_fd >= 0;
}

void HomeIndexWatcher::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int HomeIndexWatcher::addWatch(const QByteArray &folder)
{
    if (m_fd < 0) {
        errno = EBADF;
        return -1;
    }
    // File events re-list the folder; self events tell a folder that went away or was
    // replaced. Links are never followed.
    constexpr std::uint32_t mask = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVED_FROM
        | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;
    return inotify_add_watch(m_fd, folder.constData(), mask);
}

void HomeIndexWatcher::removeWatch(int wd)
{
    if (m_fd >= 0)
        inotify_rm_watch(m_fd, wd);
}

QList<HomeIndexWatcher::Event> HomeIndexWatcher::readEvents()
{
    QList<Event> events;
    if (m_fd < 0)
        return events;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            events.append({event->wd, event->mask});
            at += ssize_t(sizeof(inotify_event)) + event->len;
        }
    }
    return events;
}
