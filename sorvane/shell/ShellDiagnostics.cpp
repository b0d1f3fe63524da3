#include "ShellDiagnostics.h"

#include "diagnostics/Analytics.h"
#include "diagnostics/CrashCapture.h"

void ShellDiagnostics::installCrashCapture()
{
    CrashCapture::install();
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
