#pragma once

#include "DiagnosticsSeam.h"

// Crash capture and usage analytics behind the start-up seam. main() owns one for
// the process.
class ShellDiagnostics : public DiagnosticsSeam
{
public:
    void installCrashCapture() override;
    void setupAnalytics() override;
    void resetAnalytics() override;
    bool analyticsSetUpThisLaunch() const override;
    void track(const QString &event, const QVariantMap &properties = {}) override;
};
