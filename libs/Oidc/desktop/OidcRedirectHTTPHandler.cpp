#include "OidcRedirectHTTPHandler.h"

#include "OidcErrorUtilities.h"

#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

const QString OidcRedirectHTTPHandler::serverErrorDomain = QStringLiteral("TCPServerErrorDomain");

namespace {
const QByteArray completePage = "<html><body>Authorization complete.<br> Return to the app.</body></html>";
const QByteArray notValidPage = "<html><body>Sign-in Error: Not a valid redirect.</body></html>";
const QByteArray noFlowPage = "<html><body>Sign-in Error: No <code>currentAuthorizationFlow</code> is set on the "
                              "<code>OidcRedirectHTTPHandler</code>. Cannot process redirect.</body></html>";
} // namespace

OidcRedirectHTTPHandler::OidcRedirectHTTPHandler(const std::optional<QUrl> &successURL, QObject *parent)
    : QObject(parent)
    , m_successURL(successURL)
{
}

OidcRedirectHTTPHandler::~OidcRedirectHTTPHandler()
{
    cancelHTTPListener();
}

std::optional<QUrl> OidcRedirectHTTPHandler::startHTTPListener(quint16 port, OidcError *error)
{
    cancelHTTPListener();
    m_ipv4 = new QTcpServer(this);
    if (!m_ipv4->listen(QHostAddress::LocalHost, port)) {
        delete m_ipv4;
        m_ipv4 = nullptr;
    } else {
        port = m_ipv4->serverPort();
    }
    // IPv6 may be off on this machine; the IPv4 listener is enough then.
    m_ipv6 = new QTcpServer(this);
    if (!m_ipv6->listen(QHostAddress::LocalHostIPv6, port)) {
        delete m_ipv6;
        m_ipv6 = nullptr;
    } else if (port == 0) {
        port = m_ipv6->serverPort();
    }
    if (!m_ipv4 && !m_ipv6) {
        if (error) {
            *error = OidcError();
            error->domain = serverErrorDomain;
            error->code = 1;
        }
        return std::nullopt;
    }
    for (QTcpServer *server : {m_ipv4, m_ipv6}) {
        if (server)
            connect(server, &QTcpServer::newConnection, this, [this, server] { accept(server); });
    }
    m_baseURL = QUrl(m_ipv4 ? QStringLiteral("http://127.0.0.1:%1/").arg(port)
                            : QStringLiteral("http://[::1]:%1/").arg(port));
    return m_baseURL;
}

bool OidcRedirectHTTPHandler::isListening() const
{
    return m_ipv4 || m_ipv6;
}

void OidcRedirectHTTPHandler::stopHTTPListener()
{
    for (QTcpServer *server : {m_ipv4, m_ipv6}) {
        if (server) {
            server->close();
            server->deleteLater();
        }
    }
    m_ipv4 = nullptr;
    m_ipv6 = nullptr;
}

void OidcRedirectHTTPHandler::cancelHTTPListener()
{
    stopHTTPListener();
    const std::shared_ptr<OidcExternalUserAgentSession> flow = std::move(m_flow);
    m_flow.reset();
    if (flow && !flow->isFinished())
        flow->failExternalUserAgentFlowWithError(OidcErrorUtilities::errorWithCode(
            OidcErrorCode::programCanceledAuthorizationFlow, nullptr,
            QStringLiteral("The HTTP listener was cancelled programmatically.")));
}

void OidcRedirectHTTPHandler::accept(QTcpServer *server)
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        // Parented to the handler, not the server: a stopped server must not take an
        // answered connection down before its page is written.
        socket->setParent(this);
        m_buffers.insert(socket, QByteArray());
        auto *stall = new QTimer(socket);
        stall->setSingleShot(true);
        stall->setObjectName(QStringLiteral("stall"));
        connect(stall, &QTimer::timeout, socket, [socket] { socket->abort(); });
        stall->start(m_stallTimeoutMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void OidcRedirectHTTPHandler::readFrom(QTcpSocket *socket)
{
    if (!m_buffers.contains(socket))
        return;
    m_buffers[socket] += socket->readAll();
    processBuffer(socket);
}

bool OidcRedirectHTTPHandler::processBuffer(QTcpSocket *socket)
{
    while (m_buffers.contains(socket)) {
        QByteArray &buffer = m_buffers[socket];
        const qsizetype headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            if (buffer.size() > maxHeadBytes)
                reject(socket, 413, "Payload Too Large");
            return m_buffers.contains(socket);
        }
        if (headEnd > maxHeadBytes) {
            reject(socket, 413, "Payload Too Large");
            return false;
        }
        const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
        if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/")) {
            reject(socket, 400, "Bad Request");
            return false;
        }
        qint64 contentLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0) {
                reject(socket, 400, "Bad Request");
                return false;
            }
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "transfer-encoding") {
                reject(socket, 400, "Bad Request");
                return false;
            }
            if (name == "content-length") {
                static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
                if (!digits.match(QString::fromLatin1(value)).hasMatch()) {
                    reject(socket, 400, "Bad Request");
                    return false;
                }
                contentLength = value.toLongLong();
                if (contentLength > maxBodyBytes) {
                    reject(socket, 413, "Payload Too Large");
                    return false;
                }
            }
        }
        if (buffer.size() - headEnd - 4 < contentLength)
            return true; // the body is still on its way
        const QByteArray target = requestLine[1];
        buffer.remove(0, headEnd + 4 + contentLength);
        if (QTimer *stall = socket->findChild<QTimer *>(QStringLiteral("stall")))
            stall->start(m_stallTimeoutMs);
        handleRequest(socket, target);
    }
    return false;
}

void OidcRedirectHTTPHandler::handleRequest(QTcpSocket *socket, const QByteArray &target)
{
    // A finished flow is no flow: resuming it would be a caller error.
    if (!m_flow || m_flow->isFinished()) {
        answer(socket, 400, "Bad Request", noFlowPage);
        return;
    }
    const QUrl url = m_baseURL.resolved(QUrl::fromEncoded(target));
    bool accepted = false;
    try {
        accepted = m_flow->resumeExternalUserAgentFlowWithURL(url);
    } catch (const OidcException &) {
        accepted = false;
    }
    if (!accepted) {
        answer(socket, 404, "Not Found", notValidPage);
        return;
    }
    m_flow.reset();
    // Stop taking connections first; this one lives until its page is written.
    stopHTTPListener();
    if (m_successURL)
        answer(socket, 302, "Found", completePage, {{"Location", m_successURL->toEncoded()}}, true);
    else
        answer(socket, 200, "OK", completePage, {}, true);
}

void OidcRedirectHTTPHandler::answer(QTcpSocket *socket, int status, const QByteArray &reason, const QByteArray &body,
                                     const QList<QPair<QByteArray, QByteArray>> &headers, bool close)
{
    QByteArray message = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    for (const auto &[name, value] : headers)
        message += name + ": " + value + "\r\n";
    message += "Content-Type: text/html; charset=utf-8\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (close)
        message += "Connection: close\r\n";
    message += "\r\n" + body;
    socket->write(message);
    if (close) {
        m_buffers.remove(socket);
        socket->disconnectFromHost(); // after the pending bytes are written
    }
}

void OidcRedirectHTTPHandler::reject(QTcpSocket *socket, int status, const QByteArray &reason)
{
    answer(socket, status, reason, QByteArray(), {}, true);
}
