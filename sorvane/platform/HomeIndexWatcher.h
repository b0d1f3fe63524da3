#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

// The home index's inotify instance: one watch per folder, read by the index's worker
// thread. Virtual so a test can make it refuse watches as a full watch table does.
class HomeIndexWatcher
{
public:
    struct Event
    {
        int wd = -1;
        std::uint32_t mask = 0;
    };

    HomeIndexWatcher() = default;
    HomeIndexWatcher(const HomeIndexWatcher &) = delete;
    HomeIndexWatcher &operator=(const HomeIndexWatcher &) = delete;
    virtual ~HomeIndexWatcher();

    // Opens the instance; false (errno set) when the system has none to give.
    virtual bool open();
    // Closing drops every watch at once.
    virtual void close();
    // The descriptor that turns readable when events wait; -1 when closed.
    virtual int descriptor() const { return m_fd; }
    // The watch descriptor of the folder, or -1 with errno set (ENOSPC: the watch limit).
    virtual int addWatch(const QByteArray &folder);
    virtual void removeWatch(int wd);
    // Every event waiting now; the names inside a folder do not matter to the index.
    virtual QList<Event> readEvents();

private:
    int m_fd = -1;
};
