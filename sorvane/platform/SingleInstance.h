#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// One running sorvane per user: the first process listens on a local socket in the
// user's runtime folder; a later `sorvane FILE…` or `sorvane sorvane:…` hands its
// arguments to it and exits. The running process opens them and raises its window.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class HandOff {
        delivered,   // the running instance confirmed the arguments
        noneRunning, // nobody listens: this process may become the running one
        noAnswer,    // someone holds the socket but did not answer in time
    };
    enum class Listen {
        listening,
        taken,       // a live instance holds the socket
        unavailable, // no private folder for the socket, or listening failed
    };

    // serverName: a socket path; the default lies in the user's private runtime
    // folder. Empty: no socket at all (no hand-over, no listening).
    explicit SingleInstance(QString serverName = defaultServerName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // "<runtime folder>/sorvane-<uid>.socket", or empty when no private folder can be had.
    static QString defaultServerName();
    // A folder only this user can enter: $XDG_RUNTIME_DIR when it is a real folder
    // (not a symbolic link) owned by the user with no access for others, else
    // "<temp>/sorvane-<uid>" made or found the same way; empty when neither is.
    // Anyone who can reach the socket can make the editor open files.
    static QString privateFolder();
    // Paths made absolute against `workingDirectory`; "sorvane:" and "file:" URLs kept.
    static QStringList absoluteArguments(const QStringList &arguments, const QString &workingDirectory);

    // Gives the arguments to the running instance and waits up to timeoutMs for each
    // step of the exchange.
    HandOff handOff(const QStringList &arguments, int timeoutMs = 5000);
    // Becomes the running instance. A socket left behind by a crashed process is replaced.
    Listen listen();
    bool isListening() const;

Q_SIGNALS:
    // Arguments another process handed over, in its order, already absolute.
    void argumentsReceived(const QStringList &arguments);

private:
    void acceptConnection();
    void readFrom(QLocalSocket *socket);

    QString m_serverName;
    QLocalServer *m_server = nullptr;
};
