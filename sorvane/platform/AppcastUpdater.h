#pragma once

#include "AppcastFeed.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

#include <qcorotask.h>

class QNetworkAccessManager;

// The update controller: on request it reads the update feed, offers the newest
// release the running version may take, and on "Install" downloads it, checks its
// size and Ed25519 signature and leaves it in the user's Downloads folder, shown in
// the file manager, to be installed after quitting. It never checks on its own.
// Questions and messages go through a UserDriver; the owner learns through its
// Delegate which channels to offer and how each cycle ended.
class AppcastUpdater : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
public:
    struct CycleResult {
        // UpToDate, Declined ("Later") and Cancelled are ordinary ends; Saved means the
        // verified update sits at savedPath; Failed carries the reason as a sentence.
        enum class Outcome { UpToDate, Declined, Cancelled, Saved, Failed };
        Outcome outcome = Outcome::UpToDate;
        QString error;
        QString savedPath;
    };

    class Delegate
    {
    public:
        virtual ~Delegate();
        // Asked in every cycle before an item is chosen; the default channel is always in.
        virtual QSet<QString> allowedChannels() = 0;
        virtual void updateCycleFinished(const CycleResult &result) = 0;
    };

    // The windows of a cycle. Each call stands alone; none blocks the updater but
    // the driver may run a modal message in showUpToDate, showUpdateSaved and
    // showUpdateError.
    class UserDriver
    {
    public:
        virtual ~UserDriver();
        // A newer release: call `reply` once, true to download it now ("Install"),
        // false for "Later".
        virtual void offerUpdate(const AppcastItem &item, const QString &runningVersion,
                                 std::function<void(bool install)> reply) = 0;
        // `cancel` stops the download; the cycle then ends as Cancelled.
        virtual void showDownloadStarted(const AppcastItem &item, std::function<void()> cancel) = 0;
        // total is -1 while unknown.
        virtual void showDownloadProgress(qint64 received, qint64 total) = 0;
        virtual void showDownloadEnded() = 0;
        virtual void showUpdateSaved(const AppcastItem &item, const QString &path) = 0;
        virtual void showUpToDate(const QString &runningVersion) = 0;
        virtual void showUpdateError(const QString &message) = 0;
    };

    struct Configuration {
        QUrl feedUrl;
        // Base64 of the 32 raw bytes of the Ed25519 key that signs updates.
        QString publicKey;
        QString runningVersion;
        // A transfer with no progress for this long is given up.
        std::chrono::milliseconds idleTimeout{30000};
    };

    // A feed larger than this is refused: it is a list of releases, not a release.
    static constexpr qint64 maxFeedBytes = 1024 * 1024;
    static constexpr qint64 maxUpdateBytes = qint64(2) * 1024 * 1024 * 1024;

    // delegate and driver are not owned and must outlive the updater.
    AppcastUpdater(Configuration configuration, Delegate *delegate, UserDriver *driver,
                   QObject *parent = nullptr);
    ~AppcastUpdater() override;

    // False while a cycle runs.
    bool canCheckForUpdates() const { return !m_inCycle; }
    // A user-initiated check; nothing while a cycle runs.
    void checkForUpdates();

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);

private:
    QCoro::Task<void> runCheck(quint64 cycle);
    QCoro::Task<void> runInstall(quint64 cycle, AppcastItem item);
    void finishCycle(quint64 cycle, CycleResult result);

    Configuration m_configuration;
    Delegate *m_delegate;
    UserDriver *m_driver;
    QNetworkAccessManager *m_network;
    bool m_inCycle = false;
    // Counts cycles, so a late answer to an old cycle's question changes nothing.
    quint64 m_cycle = 0;
};
