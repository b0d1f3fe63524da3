#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

#include <functional>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 standing in for a remote service: replies are
// scripted per method and path, every request is logged. One request per connection;
// the server closes it after answering. Unscripted paths get 404.
class HttpPeer : public QObject
{
    Q_OBJECT
public:
    struct Reply {
        int status = 200;
        QByteArray body;
        // Extra header lines; Content-Length and Connection are always sent.
        QList<QPair<QByteArray, QByteArray>> headers;
        // When >= 0: announces the whole body but sends only this many bytes of it,
        // then closes the connection.
        qint64 truncateAfter = -1;
        // Reads the request and never answers.
        bool stall = false;
        // Reads the request and closes the connection without a word.
        bool drop = false;
    };

    struct Request {
        QByteArray method;
        // Path with its query, as sent.
        QByteArray target;
        // Header names in lower case.
        QMap<QByteArray, QByteArray> headers;
        QByteArray body;
    };

    // Listens at once on an ephemeral port of 127.0.0.1.
    explicit HttpPeer(QObject *parent = nullptr);
    ~HttpPeer() override;

    quint16 port() const { return m_port; }
    // http://127.0.0.1:port + path (path starts with "/").
    QUrl url(const QString &path) const;

    // Scripts the reply to `method` on `path` (query ignored), replacing an earlier one.
    void route(const QByteArray &path, const Reply &reply, const QByteArray &method = "GET");
    // Answers `method` on `path` through `handler`, which may call `respond` at once or
    // later (a held request); a connection closed meanwhile makes `respond` do nothing.
    using Respond = std::function<void(const Reply &reply)>;
    using Handler = std::function<void(const Request &request, const Respond &respond)>;
    void handle(const QByteArray &path, Handler handler, const QByteArray &method = "GET");
    // Stops listening: connections are refused until resume().
    void refuse();
    // Listens again on the same port.
    bool resume();

    QList<Request> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }
    // How many requests asked for `path` (query ignored).
    int requestCount(const QByteArray &path) const;

Q_SIGNALS:
    void requestReceived(const HttpPeer::Request &request);

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Request &request);
    static void send(QTcpSocket *socket, const Reply &reply);

    QTcpServer m_server;
    quint16 m_port = 0;
    QHash<QByteArray, Reply> m_routes;
    QHash<QByteArray, Handler> m_handlers;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QList<Request> m_requests;
};
