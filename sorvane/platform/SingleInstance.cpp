#include "SingleInstance.h"

#include "SorvaneScheme.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QUrl>

#include <unistd.h>

namespace {
// A request is one line of JSON; anything longer than this is not ours.
constexpr qint64 maxRequestBytes = 4 * 1024 * 1024;
const QByteArray reply = QByteArrayLiteral("ok\n");
} // namespace

SingleInstance::SingleInstance(QString serverName, QObject *parent)
    : QObject(parent)
    , m_serverName(std::move(serverName))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultServerName()
{
    // Qt creates a private runtime folder when XDG_RUNTIME_DIR is not set.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::homePath();
    return folder + QStringLiteral("/sorvane-%1.socket").arg(::getuid());
}

QStringList SingleInstance::absoluteArguments(const QStringList &arguments, const QString &workingDirectory)
{
    const QDir base(workingDirectory);
    QStringList result;
    result.reserve(arguments.size());
    for (const QString &argument : arguments) {
        if (argument.isEmpty())
            continue;
        result.append(SorvaneScheme::isURLArgument(argument) ? argument : QDir::cleanPath(base.absoluteFilePath(argument)));
    }
    return result;
}

bool SingleInstance::handOff(const QStringList &arguments, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    QByteArray request = QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact);
    request.append('\n');
    socket.write(request);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
        answer.append(socket.readAll());
    }
    return answer == reply;
}

bool SingleInstance::listen()
{
    if (m_server && m_server->isListening())
        return true;
    delete m_server;
    m_server = new QLocalServer(this);
    // No socket options: with them Qt binds elsewhere and renames the socket into
    // place, silently taking it from a live instance. The runtime folder is private.
    if (!m_server->listen(m_serverName)) {
        if (m_server->serverError() != QAbstractSocket::AddressInUseError)
            return false;
        // Someone answering means a live instance; silence means a crashed one left
        // its socket file behind.
        QLocalSocket probe;
        probe.connectToServer(m_serverName);
        if (probe.waitForConnected(500))
            return false;
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName))
            return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
    return true;
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

void SingleInstance::acceptConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        if (socket->bytesAvailable() > 0)
            readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > maxRequestBytes)
            socket->abort();
        return;
    }
    const QByteArray line = socket->readLine(maxRequestBytes);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        socket->abort();
        return;
    }
    QStringList arguments;
    const QJsonArray array = document.array();
    for (const QJsonValue &value : array) {
        if (value.isString())
            arguments.append(value.toString());
    }
    // Confirm first: the sender may exit while we open files (and ask about them).
    socket->write(reply);
    socket->flush();
    // Opening may run a modal alert with its own event loop; the sender's socket can
    // go away inside it, so the files are opened after this read handler returned.
    QMetaObject::invokeMethod(
        this, [this, arguments] { Q_EMIT argumentsReceived(arguments); }, Qt::QueuedConnection);
}
