#pragma once

#include "TolvernAccountManager.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class QNetworkAccessManager;

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

    static constexpr const char *defaultAuthorityURL = "https://auth.tolvern.dev";
    static constexpr const char *authorityVariable = "SORVANE_AUTH_URL";
    static constexpr const char *identityVariable = "SORVANE_IDENTITY_URL";
    // Sessions expiring sooner than this are renewed before they are handed out.
    static constexpr qint64 renewalWindowSeconds = 172800;

    // The application's configuration: endpoints from SORVANE_{AUTH,IDENTITY}_URL when
    // set (https, or http to loopback), else the built-in hosts.
    static TolvernConfig makeConfig(QNetworkAccessManager *network, std::optional<QString> installID);
    // The override when it is https, or http to this computer, else (with a warning
    // for a refused one) the built-in URL.
    static QUrl endpoint(const QString &override, const QUrl &builtIn, const char *variable);

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
    // A renewal of freshSession() ended; callers that found it running wait for it.
    void renewalFinished();

private:
    void subscribe();

    QNetworkAccessManager *m_network = nullptr;
    std::unique_ptr<TolvernAccountManager> m_manager;
    bool m_renewing = false;
    std::unique_ptr<TolvernAccountManager::StateSubscription> m_bridgeStateSubscription;
    bool m_didJustRestore = false;
    std::chrono::milliseconds m_restoreFlagDuration = std::chrono::seconds(5);
};
