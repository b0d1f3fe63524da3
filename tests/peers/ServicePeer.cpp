#include "ServicePeer.h"

#include <QJsonDocument>
#include <QTcpSocket>

namespace {
constexpr int controlTimeoutMs = 10000;
}

ServicePeer::ServicePeer() = default;

ServicePeer::~ServicePeer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

bool ServicePeer::start()
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral("python3"), {QStringLiteral(SERVICE_PEER_SCRIPT)});
    if (!m_process.waitForStarted(controlTimeoutMs)) {
        m_error = QStringLiteral("python3 did not start: ") + m_process.errorString();
        return false;
    }
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(controlTimeoutMs)) {
            m_error = QStringLiteral("the peer printed no port");
            return false;
        }
    }
    const QByteArray line = m_process.readLine().trimmed();
    if (!line.startsWith("port ")) {
        m_error = QStringLiteral("unexpected first line: ") + QString::fromUtf8(line);
        return false;
    }
    m_port = line.mid(5).toUShort();
    return m_port != 0;
}

QUrl ServicePeer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

QByteArray ServicePeer::control(const QByteArray &method, const QByteArray &path, const QByteArray &body) const
{
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), m_port);
    if (!socket.waitForConnected(controlTimeoutMs))
        qFatal("service peer: cannot connect for %s", path.constData());
    socket.write(method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    socket.waitForBytesWritten(controlTimeoutMs);
    QByteArray response;
    while (socket.state() == QAbstractSocket::ConnectedState || socket.bytesAvailable() > 0) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(controlTimeoutMs))
            break;
        response += socket.readAll();
        // The peer keeps HTTP/1.1 connections open: stop once the announced body is in.
        const qsizetype split = response.indexOf("\r\n\r\n");
        if (split < 0)
            continue;
        const QByteArray head = response.left(split).toLower();
        const qsizetype at = head.indexOf("content-length:");
        if (at < 0)
            continue;
        const qsizetype end = head.indexOf("\r\n", at);
        const qsizetype length = head.mid(at + 15, end < 0 ? -1 : end - at - 15).trimmed().toLongLong();
        if (response.size() - split - 4 >= length)
            return response.mid(split + 4, length);
    }
    qFatal("service peer: no whole reply to %s", path.constData());
    return {};
}

void ServicePeer::script(const QString &route, const QList<Reply> &replies)
{
    QJsonArray list;
    for (const Reply &reply : replies) {
        QJsonObject headers;
        for (const auto &[name, value] : reply.headers)
            headers.insert(QString::fromLatin1(name), QString::fromLatin1(value));
        list.append(QJsonObject{{QStringLiteral("status"), reply.status},
                                {QStringLiteral("body"), QString::fromUtf8(reply.body)},
                                {QStringLiteral("headers"), headers},
                                {QStringLiteral("delay"), reply.delaySeconds},
                                {QStringLiteral("silence"), reply.silence},
                                {QStringLiteral("close"), reply.close}});
    }
    control("POST", "/_peer/script",
            QJsonDocument(QJsonObject{{QStringLiteral("route"), route}, {QStringLiteral("replies"), list}})
                .toJson(QJsonDocument::Compact));
}

QJsonArray ServicePeer::log() const
{
    return QJsonDocument::fromJson(control("GET", "/_peer/log")).array();
}

QList<QJsonObject> ServicePeer::requests(const QString &path) const
{
    QList<QJsonObject> matching;
    for (const QJsonValue &value : log()) {
        if (value.toObject().value(QStringLiteral("path")).toString() == path)
            matching.append(value.toObject());
    }
    return matching;
}

void ServicePeer::reset()
{
    control("POST", "/_peer/reset");
}

QByteArray ServicePeer::bodyOf(const QJsonObject &request)
{
    return QByteArray::fromBase64(request.value(QStringLiteral("body_b64")).toString().toLatin1());
}
