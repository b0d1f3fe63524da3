#include "NetworkPathMonitor.h"

#include "PlatformLog.h"

#include <QMetaObject>

#include <gio/gio.h>
#include <pthread.h>

#include <mutex>
#include <thread>

// What one monitor shares with the GLib thread. `target` is cleared when the
// monitor goes, under the lock, so a late report is dropped instead of posted to
// a dead object; the GLib side (monitor, handler) is touched on the GLib thread only.
struct NetworkPathMonitor::Subscription
{
    std::mutex mutex;
    NetworkPathMonitor *target = nullptr;
    GNetworkMonitor *monitor = nullptr;
    gulong handler = 0;

    void report(bool satisfied)
    {
        const std::lock_guard lock(mutex);
        if (!target)
            return;
        NetworkPathMonitor *const to = target;
        QMetaObject::invokeMethod(
            to, [to, satisfied] { Q_EMIT to->pathUpdated(satisfied); }, Qt::QueuedConnection);
    }
};

namespace {

using Subscription = NetworkPathMonitor::Subscription;

// The thread GLib's monitor lives on. GLib's default monitor is one object per
// process and delivers its signals on the main context that was current where it
// was first made; if that were a thread that later ended, no monitor made after it
// would hear of a change again. So there is one thread for the life of the process.
class GLibMonitorThread
{
public:
    static GLibMonitorThread &shared()
    {
        // Never destroyed: the thread runs until the process ends.
        static GLibMonitorThread *const instance = new GLibMonitorThread;
        return *instance;
    }

    // Runs `work` on the GLib thread, owning the subscription reference it is given.
    void run(GSourceFunc work, std::shared_ptr<Subscription> subscription)
    {
        g_main_context_invoke_full(m_context, G_PRIORITY_DEFAULT, work,
                                   new std::shared_ptr<Subscription>(std::move(subscription)),
                                   &GLibMonitorThread::release);
    }

    static void release(gpointer data) { delete static_cast<std::shared_ptr<Subscription> *>(data); }

private:
    GLibMonitorThread()
        : m_context(g_main_context_new())
    {
        std::thread([context = m_context] {
            pthread_setname_np(pthread_self(), "reachability");
            g_main_context_push_thread_default(context);
            GMainLoop *const loop = g_main_loop_new(context, FALSE);
            g_main_loop_run(loop);
        }).detach();
    }

    GMainContext *const m_context;
};

void onNetworkChanged(GNetworkMonitor *, gboolean available, gpointer data)
{
    (*static_cast<std::shared_ptr<Subscription> *>(data))->report(available);
}

void releaseClosure(gpointer data, GClosure *)
{
    GLibMonitorThread::release(data);
}

gboolean subscribe(gpointer data)
{
    const std::shared_ptr<Subscription> &subscription = *static_cast<std::shared_ptr<Subscription> *>(data);
    {
        const std::lock_guard lock(subscription->mutex);
        if (!subscription->target)
            return G_SOURCE_REMOVE; // gone before it started
    }
    // Made here on first use, so GLib binds it to this thread's context.
    GNetworkMonitor *const monitor = g_network_monitor_get_default();
    if (!monitor) {
        // Nothing to ask: the path stays as it started, online.
        qCWarning(lcPlatform) << "no network monitor available; assuming online";
        return G_SOURCE_REMOVE;
    }
    subscription->monitor = G_NETWORK_MONITOR(g_object_ref(monitor));
    subscription->handler = g_signal_connect_data(
        monitor, "network-changed", G_CALLBACK(onNetworkChanged),
        new std::shared_ptr<Subscription>(subscription), releaseClosure, GConnectFlags(0));
    // The current path first, as a change would report it.
    subscription->report(g_network_monitor_get_network_available(monitor));
    return G_SOURCE_REMOVE;
}

gboolean unsubscribe(gpointer data)
{
    Subscription &subscription = **static_cast<std::shared_ptr<Subscription> *>(data);
    if (subscription.monitor) {
        g_signal_handler_disconnect(subscription.monitor, subscription.handler);
        g_object_unref(subscription.monitor);
        subscription.monitor = nullptr;
    }
    return G_SOURCE_REMOVE;
}

} // namespace

NetworkPathMonitor::NetworkPathMonitor(QObject *parent)
    : NetworkPathSource(parent)
{
}

NetworkPathMonitor::~NetworkPathMonitor()
{
    if (!m_subscription)
        return;
    {
        const std::lock_guard lock(m_subscription->mutex);
        m_subscription->target = nullptr;
    }
    GLibMonitorThread::shared().run(unsubscribe, std::move(m_subscription));
}

void NetworkPathMonitor::start()
{
    if (m_subscription)
        return;
    m_subscription = std::make_shared<Subscription>();
    m_subscription->target = this;
    GLibMonitorThread::shared().run(subscribe, m_subscription);
}
