#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <ctime>

// A 1 ms timer on the GUI thread that keeps the longest wait between its ticks, and
// the most CPU time the GUI thread itself spent between two ticks: on a loaded
// machine the first also holds the time the thread waited for a core, the second is
// only ours.
class GuiHeartbeat
{
public:
    GuiHeartbeat()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 cpu = threadCpuNs();
            m_worstNs = std::max(m_worstNs, m_sinceTick.nsecsElapsed());
            m_worstCpuNs = std::max(m_worstCpuNs, cpu - m_cpuAtTick);
            m_sinceTick.restart();
            m_cpuAtTick = cpu;
        });
    }
    void start()
    {
        m_sinceTick.restart();
        m_cpuAtTick = threadCpuNs();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }
    double worstMs() const { return double(m_worstNs) / 1e6; }
    double worstCpuMs() const { return double(m_worstCpuNs) / 1e6; }

private:
    static qint64 threadCpuNs()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    }

    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_cpuAtTick = 0;
    qint64 m_worstNs = 0;
    qint64 m_worstCpuNs = 0;
};
