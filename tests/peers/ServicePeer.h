#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QUrl>

// The diagnostics and analytics services' stand-in (service_peer.py) in a child
// process on 127.0.0.1. Its control calls block on a socket of their own and spin no
// event loop, so a test can script and read the peer between steps of the app.
class ServicePeer
{
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        double delaySeconds = 0;
        bool silence = false; // hold the request unanswered
        bool close = false;   // drop the connection without a reply
    };

    ServicePeer();
    ~ServicePeer();

    // Starts the script and reads its port; false with errorString() when it could not.
    bool start();
    QString errorString() const { return m_error; }
    quint16 port() const { return m_port; }
    // http://127.0.0.1:port + path.
    QUrl url(const QString &path = QString()) const;

    // Queues replies for `route` (a path), consumed in order before the route's default.
    void script(const QString &route, const QList<Reply> &replies);
    // Every request so far, oldest first (see service_peer.py for the fields).
    QJsonArray log() const;
    // The requests to `path`, oldest first.
    QList<QJsonObject> requests(const QString &path) const;
    void reset();

    static QByteArray bodyOf(const QJsonObject &request);

private:
    QByteArray control(const QByteArray &method, const QByteArray &path, const QByteArray &body = {}) const;

    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};
