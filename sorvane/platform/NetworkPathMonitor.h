#pragma once

#include "platform/NetworkPathSource.h"

#include <memory>

// The desktop's network path, as GLib's default network monitor sees it: a path is
// satisfied while the monitor reports the network available (a default route).
// GLib runs on a thread of its own with its own main context, shared by every
// monitor of the process, so reports arrive whatever event loop Qt runs; they are
// handed to this object's thread queued.
class NetworkPathMonitor : public NetworkPathSource
{
    Q_OBJECT
public:
    explicit NetworkPathMonitor(QObject *parent = nullptr);
    ~NetworkPathMonitor() override;

    void start() override;

    // This monitor's side on the GLib thread; defined with the monitor's code.
    struct Subscription;

private:
    std::shared_ptr<Subscription> m_subscription;
};
