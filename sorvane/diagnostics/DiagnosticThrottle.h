#pragma once

#include <QMutex>
#include <QString>

#include <functional>

// Keeps automatic diagnostic reports to one an hour for each reason. The time of
// each reason's last counted report lives in "diagnostic-throttle.json" of the
// support folder, so the limit holds across relaunches. Callable from any thread.
class DiagnosticThrottle
{
public:
    using Clock = std::function<double()>; // seconds since 1970

    static constexpr double minimumInterval = 3600;

    // filePath empty: the support folder's "diagnostic-throttle.json" (the folder is
    // created). clock empty: the system clock.
    explicit DiagnosticThrottle(const QString &filePath = QString(), Clock clock = {});

    static DiagnosticThrottle &shared();

    // True when no report for `reason` was counted in the last hour. A missing or
    // damaged file makes every reason eligible.
    bool shouldUpload(const QString &reason);
    // Counts a report for `reason` now. A damaged file is replaced by one holding
    // only this reason.
    void recordUpload(const QString &reason);

    QString filePath() const { return m_filePath; }

private:
    double now() const;

    QMutex m_mutex; // reads and read-modify-writes of the file never interleave
    QString m_filePath;
    Clock m_clock;
};
