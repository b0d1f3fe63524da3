#include "NetworkReachabilityService.h"

#include "platform/NetworkPathMonitor.h"

#include <QCoreApplication>
#include <QThread>

NetworkReachabilityService::NetworkReachabilityService(std::unique_ptr<NetworkPathSource> source,
                                                       QObject *parent)
    : QObject(parent)
{
    NetworkPathSource *const path = source.release();
    path->setParent(this);
    connect(path, &NetworkPathSource::pathUpdated, this, &NetworkReachabilityService::setOnline);
    path->start();
}

NetworkReachabilityService::~NetworkReachabilityService() = default;

NetworkReachabilityService &NetworkReachabilityService::shared()
{
    // Never destroyed: the monitor is never stopped while the process runs.
    static NetworkReachabilityService *const instance = [] {
        auto *service = new NetworkReachabilityService(std::make_unique<NetworkPathMonitor>());
        // Views read it on the application's thread; its reports must arrive there too.
        if (QCoreApplication *app = QCoreApplication::instance(); app && app->thread() != service->thread())
            service->moveToThread(app->thread());
        return service;
    }();
    return *instance;
}

void NetworkReachabilityService::setOnline(bool online)
{
    if (online == m_isOnline)
        return;
    m_isOnline = online;
    Q_EMIT isOnlineChanged(online);
}
