#pragma once

#include "OidcError.h"
#include "OidcExternalUserAgent.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

// A small HTTP/1.1 listener on the loopback addresses that takes one authorization
// redirect from the browser (RFC 8252's loopback redirect), hands it to the current
// flow and answers the browser with a short page or a redirect to a success page.
// Input is bounded: a stalled, oversized or malformed request is answered and closed.
class OidcRedirectHTTPHandler : public QObject
{
    Q_OBJECT
public:
    explicit OidcRedirectHTTPHandler(const std::optional<QUrl> &successURL = std::nullopt, QObject *parent = nullptr);
    // Cancels the listener (and with it a flow still waiting).
    ~OidcRedirectHTTPHandler() override;

    // Listens on 127.0.0.1 and ::1 with one port (0: any free one) and answers the
    // redirect base "http://127.0.0.1:<port>/" (or the IPv6 one when only it listens);
    // none, with the error, when neither address could be bound.
    std::optional<QUrl> startHTTPListener(quint16 port = 0, OidcError *error = nullptr);
    // Stops listening and fails a waiting flow with general -4.
    void cancelHTTPListener();
    void stopHTTPListener();
    bool isListening() const;

    void setCurrentAuthorizationFlow(std::shared_ptr<OidcExternalUserAgentSession> flow) { m_flow = std::move(flow); }
    std::shared_ptr<OidcExternalUserAgentSession> currentAuthorizationFlow() const { return m_flow; }

    // Limits on what one request may send, and how long it may take to send it.
    static constexpr int maxHeadBytes = 16 * 1024;
    static constexpr int maxBodyBytes = 64 * 1024;
    void setStallTimeout(int milliseconds) { m_stallTimeoutMs = milliseconds; }

    static const QString serverErrorDomain;

private:
    void accept(QTcpServer *server);
    void readFrom(QTcpSocket *socket);
    // Parses and answers every whole request in the buffer; false once the connection closes.
    bool processBuffer(QTcpSocket *socket);
    void handleRequest(QTcpSocket *socket, const QByteArray &target);
    void answer(QTcpSocket *socket, int status, const QByteArray &reason, const QByteArray &body,
                const QList<QPair<QByteArray, QByteArray>> &headers = {}, bool close = false);
    void reject(QTcpSocket *socket, int status, const QByteArray &reason);

    std::optional<QUrl> m_successURL;
    std::shared_ptr<OidcExternalUserAgentSession> m_flow;
    QTcpServer *m_ipv4 = nullptr;
    QTcpServer *m_ipv6 = nullptr;
    QUrl m_baseURL;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    int m_stallTimeoutMs = 10000;
};
