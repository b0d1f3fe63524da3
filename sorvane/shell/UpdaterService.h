#pragma once

#include "platform/AppcastUpdater.h"

#include <QList>
#include <QObject>
#include <QRect>
#include <QSet>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <functional>
#include <memory>

class DiagnosticsSeam;

// The one updater of the application. Offers update checks only when the build
// carries a usable feed and key; publishes whether a check can start now and the
// text of the last failed check. At start-up it also forgets an update alert
// position that lies on no screen and reports the first launch after an update
// ("app_updated"; analytics reports "update_installed" itself).
class UpdaterService : public QObject, public AppcastUpdater::Delegate
{
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
public:
    // What tests replace; unset members mean the real thing.
    struct Environment {
        // Available geometry of each screen, in the desktop's order.
        std::function<QList<QRect>()> screens;
        // Shows the update windows (not owned); null: the application's dialogs.
        AppcastUpdater::UserDriver *userDriver = nullptr;
        // A transfer with no progress for this long is given up.
        std::chrono::milliseconds idleTimeout{30000};
    };

    explicit UpdaterService(DiagnosticsSeam *analytics = nullptr, QObject *parent = nullptr);
    UpdaterService(DiagnosticsSeam *analytics, QObject *parent, Environment environment);
    ~UpdaterService() override;

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    // "Update check failed: …" after a failed cycle; empty otherwise.
    QString statusMessage() const { return m_statusMessage; }
    // False when the build has no usable update configuration: then nothing checks.
    bool hasController() const { return m_controller != nullptr; }
    AppcastUpdater *controller() const { return m_controller; }
    // A user-initiated check with the updater's own windows; nothing without a controller.
    void checkForUpdates();

    // {"beta"} while the beta setting is on at the moment of the call, else none
    // (the default channel only).
    QSet<QString> allowedChannels() override;
    void updateCycleFinished(const AppcastUpdater::CycleResult &result) override;

    // Feed and key present (trimmed), and the key no "REPLACE_" placeholder.
    static bool hasValidConfiguration(const QVariantMap &info);

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
    void statusMessageChanged(const QString &message);

private:
    void resetOffscreenUpdateAlertIfNeeded() const;
    void trackPostInstallIfNeeded();
    void setCanCheckForUpdates(bool canCheck);
    void setStatusMessage(const QString &message);

    DiagnosticsSeam *m_analytics = nullptr;
    Environment m_environment;
    std::unique_ptr<AppcastUpdater::UserDriver> m_ownDriver;
    AppcastUpdater *m_controller = nullptr;
    bool m_canCheckForUpdates = false;
    QString m_statusMessage;
};
