#pragma once

#include "settings/SettingsServices.h"

#include <QList>
#include <QPair>

// Settings services that record what the window asks of them; the updater, the
// analytics set-up state and the account id are set by the test.
class RecordingServices : public SettingsServices
{
    Q_OBJECT
public:
    using SettingsServices::SettingsServices;

    bool configured = false;
    bool canCheck = false;
    QString statusMessage;
    bool setUpThisLaunch = false;
    QString account;

    QList<QPair<QString, QVariantMap>> events;
    int setupCalls = 0;
    int resetCalls = 0;
    int checkCalls = 0;

    bool updaterConfigured() const override { return configured; }
    bool canCheckForUpdates() const override { return canCheck; }
    QString updateStatusMessage() const override { return statusMessage; }
    void checkForUpdates() override { ++checkCalls; }

    void track(const QString &event, const QVariantMap &properties = {}) override { events.append({event, properties}); }
    void setupAnalytics() override
    {
        ++setupCalls;
        setUpThisLaunch = true; // as Analytics does with analytics on
    }
    void resetAnalytics() override { ++resetCalls; }
    bool analyticsSetUpThisLaunch() const override { return setUpThisLaunch; }

    QString accountID() const override { return account; }
    void setAccount(const QString &id)
    {
        account = id;
        Q_EMIT accountIDChanged(id);
    }
    void setUpdater(bool isConfigured, bool canCheckNow, const QString &message = {})
    {
        configured = isConfigured;
        canCheck = canCheckNow;
        statusMessage = message;
        Q_EMIT updaterStateChanged();
    }

    int eventCount(const QString &name) const
    {
        int count = 0;
        for (const auto &event : events)
            count += event.first == name;
        return count;
    }
};
