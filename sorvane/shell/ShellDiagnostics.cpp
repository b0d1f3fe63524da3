#include "ShellDiagnostics.h"

#include "diagnostics/Analytics.h"
#include "diagnostics/CrashCapture.h"

void ShellDiagnostics::installCrashCapture()
{
    CrashCapture::install();
}

void ShellDiagnostics::setupAnalytics()
{
    Analytics::setup();
}

void ShellDiagnostics::resetAnalytics()
{
    Analytics::reset();
}

bool ShellDiagnostics::analyticsSetUpThisLaunch() const
{
    return Analytics::hasSetupThisLaunch();
}

void ShellDiagnostics::track(const QString &event, const QVariantMap &properties)
{
    Analytics::track(event, properties);
}
