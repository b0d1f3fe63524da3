#pragma once

#include <QObject>

// Something that reports whether the machine has a usable network path: the
// desktop's monitor (NetworkPathMonitor) or a double in tests. The reachability
// service listens to one of these.
class NetworkPathSource : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~NetworkPathSource() override;

    // Begins reporting: the current path soon after, then one report per change.
    // Reports arrive on the thread this object lives in.
    virtual void start() = 0;

Q_SIGNALS:
    // The latest path; `satisfied` is false for any path that cannot reach out.
    // The same value may be reported several times in a row.
    void pathUpdated(bool satisfied);
};
