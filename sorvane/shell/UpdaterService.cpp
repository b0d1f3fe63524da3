#include "UpdaterService.h"

UpdaterService::UpdaterService(DiagnosticsSeam *analytics, QObject *parent)
    : QObject(parent)
    , m_analytics(analytics)
{
}

UpdaterService::~UpdaterService() = default;

bool UpdaterService::hasController() const
{
    return false;
}

void UpdaterService::checkForUpdates()
{
}
