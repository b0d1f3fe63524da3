#pragma once

#include <QObject>
#include <QString>

class DiagnosticsSeam;

// The one updater of the application. Offers update checks only when the build
// carries a usable feed and key; publishes whether a check can start now and the
// text of the last failed check.
class UpdaterService : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
public:
    explicit UpdaterService(DiagnosticsSeam *analytics = nullptr, QObject *parent = nullptr);
    ~UpdaterService() override;

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    // "Update check failed: …" after a failed cycle; empty otherwise.
    QString statusMessage() const { return m_statusMessage; }
    // False when the build has no usable update configuration: then nothing checks.
    bool hasController() const;
    // A user-initiated check with the updater's own windows; nothing without a controller.
    void checkForUpdates();

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
    void statusMessageChanged(const QString &message);

private:
    DiagnosticsSeam *m_analytics = nullptr;
    bool m_canCheckForUpdates = false;
    QString m_statusMessage;
};
