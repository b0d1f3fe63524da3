#include "ShellDiagnostics.h"

#include "diagnostics/Analytics.h"

void ShellDiagnostics::installCrashCapture()
{
}

void ShellDiagnostics::setupAnalytics()
{
}

void ShellDiagnostics::resetAnalytics()
{
}

bool ShellDiagnostics::analyticsSetUpThisLaunch() const
{
    return false;
}

void ShellDiagnostics::track(const QString &event, const QVariantMap &properties)
{
    Analytics::track(event, properties);
}
