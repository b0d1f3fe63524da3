#include "HttpPeer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>

namespace {

QByteArray routeKey(const QByteArray &method, const QByteArray &target)
{
    const qsizetype query = target.indexOf('?');
    return method + ' ' + (query < 0 ? target : target.left(query));
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 426: return "Upgrade Required";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

} // namespace

HttpPeer::HttpPeer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &HttpPeer::onNewConnection);
    if (m_server.listen(QHostAddress::LocalHost, 0))
        m_port = m_server.serverPort();
}

HttpPeer::~HttpPeer() = default;

QUrl HttpPeer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

void HttpPeer::route(const QByteArray &path, const Reply &reply, const QByteArray &method)
{
    m_routes.insert(routeKey(method, path), reply);
}

void HttpPeer::handle(const QByteArray &path, Handler handler, const QByteArray &method)
{
    m_handlers.insert(routeKey(method, path), std::move(handler));
}

void HttpPeer::refuse()
{
    m_server.close();
}

bool HttpPeer::resume()
{
    return m_server.isListening() || m_server.listen(QHostAddress::LocalHost, m_port);
}

int HttpPeer::requestCount(const QByteArray &path) const
{
    int count = 0;
    for (const Request &request : m_requests) {
        if (routeKey(request.method, request.target) == routeKey(request.method, path))
            ++count;
    }
    return count;
}

void HttpPeer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        m_buffers.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void HttpPeer::onReadyRead(QTcpSocket *socket)
{
    if (!m_buffers.contains(socket))
        return;
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    Request request;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon > 0)
            request.headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    if (buffer.size() < headEnd + 4 + length)
        return;
    request.body = buffer.mid(headEnd + 4, length);
    // One request per connection: what follows is ignored.
    m_buffers.remove(socket);
    m_requests.append(request);
    Q_EMIT requestReceived(request);
    answer(socket, request);
}

void HttpPeer::answer(QTcpSocket *socket, const Request &request)
{
    const QByteArray key = routeKey(request.method, request.target);
    const auto handler = m_handlers.constFind(key);
    if (handler != m_handlers.constEnd()) {
        QPointer<QTcpSocket> guarded(socket);
        (*handler)(request, [guarded](const Reply &reply) {
            if (guarded)
                send(guarded, reply);
        });
        return;
    }
    const auto found = m_routes.constFind(key);
    Reply reply;
    if (found != m_routes.constEnd())
        reply = *found;
    else
        reply.status = 404;
    send(socket, reply);
}

void HttpPeer::send(QTcpSocket *socket, const Reply &reply)
{
    if (reply.stall)
        return;
    if (reply.drop) {
        socket->abort();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + "\r\n";
    head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
    head += "Connection: close\r\n";
    for (const auto &header : reply.headers)
        head += header.first + ": " + header.second + "\r\n";
    head += "\r\n";
    socket->write(head);
    socket->write(reply.truncateAfter >= 0 ? reply.body.left(reply.truncateAfter) : reply.body);
    socket->disconnectFromHost();
}
