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
    // serverName: a socket path; the default lies in the user's runtime folder.
    explicit SingleInstance(QString serverName = defaultServerName(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // "<runtime folder>/sorvane-<uid>.socket".
    static QString defaultServerName();
    // Paths made absolute against `workingDirectory`; "sorvane:" and "file:" URLs kept.
    static QStringList absoluteArguments(const QStringList &arguments, const QString &workingDirectory);

    // Gives the arguments to the running instance. True once it confirmed them; false
    // when none runs (or it did not answer within the timeout).
    bool handOff(const QStringList &arguments, int timeoutMs = 5000);
    // Becomes the running instance. A socket left behind by a crashed process is
    // replaced; false when a live instance already holds it or listening failed.
    bool listen();
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
