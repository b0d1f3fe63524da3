#pragma once

#include "TolvernAccountManager.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

// The application's one owner of the account library: builds its configuration,
// keeps the one account manager, restores the stored sign-in at launch and answers
// who is signed in. GUI thread only.
class TolvernAccountBridge : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool didJustRestore READ didJustRestore WRITE setDidJustRestore NOTIFY didJustRestoreChanged)
public:
    struct Session {
        QString tvs;
        QString accountID;
        QString email;
    };

    // The application's configuration: endpoints from SORVANE_{AUTH,IDENTITY}_URL when
    // set (https, or http to loopback), else the built-in hosts.
    static TolvernConfig makeConfig(QNetworkAccessManager *network, const QString &installID);

    explicit TolvernAccountBridge(QObject *parent = nullptr);
    // Tests hand their own configuration and library parts.
    TolvernAccountBridge(TolvernConfig config, TolvernAccountManager::Dependencies dependencies,
                         QObject *parent = nullptr);
    ~TolvernAccountBridge() override;

    static TolvernAccountBridge *sharedBridge();
    static void setSharedBridge(TolvernAccountBridge *bridge);

    TolvernAccountManager &manager() const { return *m_manager; }

    // Throws what the library throws.
    QCoro::Task<std::optional<TolvernAccount>> restore();
    // Signed in and the keyring holds the session; nothing is cached.
    std::optional<Session> currentSession() const;
    // currentSession(), after renewing a session that expires within 48 hours through
    // the manager's recovery (a definitive failure signs out).
    QCoro::Task<std::optional<Session>> freshSession();

    bool didJustRestore() const { return m_didJustRestore; }
    void setDidJustRestore(bool value);
    // Tests shorten the 5 s the restore flag stays up.
    void setRestoreFlagDuration(std::chrono::milliseconds duration) { m_restoreFlagDuration = duration; }

Q_SIGNALS:
    void didJustRestoreChanged();

private:
    std::unique_ptr<TolvernAccountManager> m_manager;
    std::unique_ptr<TolvernAccountManager::StateSubscription> m_bridgeStateSubscription;
    bool m_didJustRestore = false;
    std::chrono::milliseconds m_restoreFlagDuration = std::chrono::seconds(5);
};
