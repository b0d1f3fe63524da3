#pragma once

#include <QString>
#include <QVariantMap>

// What start-up needs of crash capture and usage analytics. Does nothing until
// those are built; their issue fills it in.
class DiagnosticsSeam
{
public:
    virtual ~DiagnosticsSeam() = default;
    // The terminate handler and the fatal-signal handlers; installs them once per
    // process, later calls do nothing.
    virtual void installCrashCapture() {}
    // At launch: sends the launch events unless the user opted out.
    virtual void setupAnalytics() {}
    // When the user turns analytics off: forgets the session and takes a fresh
    // anonymous id.
    virtual void resetAnalytics() {}
    // True once setupAnalytics ran with analytics on in this process.
    virtual bool analyticsSetUpThisLaunch() const { return false; }
    // One usage event; dropped when analytics is off. Never waits.
    virtual void track(const QString &event, const QVariantMap &properties = {})
    {
        (void)event;
        (void)properties;
    }
};
