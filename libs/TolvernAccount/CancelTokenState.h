#pragma once

#include <QObject>

#include <atomic>

// The state that copies of one CancelToken share.
class CancelTokenState : public QObject
{
    Q_OBJECT
public:
    std::atomic<bool> cancelled{false};
Q_SIGNALS:
    // Emitted once, on the thread that cancels.
    void wasCancelled();
};
