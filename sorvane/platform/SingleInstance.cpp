#include "SingleInstance.h"

#include "SorvaneScheme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QUrl>

#include <cerrno>
#include <sys/stat.h>
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
    const QString folder = privateFolder();
    if (folder.isEmpty())
        return {};
    return folder + QStringLiteral("/sorvane-%1.socket").arg(::getuid());
}

namespace {
// lstat, so a symbolic link is seen as itself and never followed.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat status {};
    return ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) && status.st_uid == ::getuid()
        && (status.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}
} // namespace

QString SingleInstance::privateFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(QFile::encodeName(runtime)))
        return runtime;
    // The name is predictable, so one that someone else made first is refused, not used.
    const QString fallback = QDir::tempPath() + QStringLiteral("/sorvane-%1").arg(::getuid());
    const QByteArray native = QFile::encodeName(fallback);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return {};
    return isPrivateFolder(native) ? fallback : QString();
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

SingleInstance::HandOff SingleInstance::handOff(const QStringList &arguments, int timeoutMs)
{
    if (m_serverName.isEmpty())
        return HandOff::noneRunning;
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(timeoutMs)) {
        // Refused or missing: no process behind the name. Anything else (a full
        // backlog, a timeout) means one is there and stuck.
        const auto error = socket.error();
        const bool nobody = error == QLocalSocket::ServerNotFoundError || error == QLocalSocket::ConnectionRefusedError;
        return nobody ? HandOff::noneRunning : HandOff::noAnswer;
    }
    QByteArray request = QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact);
    request.append('\n');
    socket.write(request);
    if (!socket.waitForBytesWritten(timeoutMs))
        return HandOff::noAnswer;
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!socket.waitForReadyRead(timeoutMs))
            return HandOff::noAnswer;
        answer.append(socket.readAll());
    }
    return answer == reply ? HandOff::delivered : HandOff::noAnswer;
}

SingleInstance::Listen SingleInstance::listen()
{
    if (m_server && m_server->isListening())
        return Listen::listening;
    if (m_serverName.isEmpty())
        return Listen::unavailable;
    delete m_server;
    m_server = new QLocalServer(this);
    // No socket options: with them Qt binds elsewhere and renames the socket into
    // place, silently taking it from a live instance. The folder is private.
    if (!m_server->listen(m_serverName)) {
        if (m_server->serverError() != QAbstractSocket::AddressInUseError)
            return Listen::unavailable;
        // Someone answering means a live instance; silence means a crashed one left
        // its socket file behind.
        QLocalSocket probe;
        probe.connectToServer(m_serverName);
        if (probe.waitForConnected(500))
            return Listen::taken;
        QLocalServer::removeServer(m_serverName);
        if (!m_server->listen(m_serverName))
            return Listen::unavailable;
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnection);
    return Listen::listening;
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
