#include "OidcAuthorizationSession.h"
#include "OidcRedirectHTTPHandler.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QTest>

namespace {
// The browser's side: raw bytes in, everything the server sends collected.
class RawClient
{
public:
    explicit RawClient(quint16 port, const QHostAddress &address = QHostAddress::LocalHost)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { received += socket.readAll(); });
        QObject::connect(&socket, &QTcpSocket::disconnected, [this] { closed = true; });
        socket.connectToHost(address, port);
    }
    void send(const QByteArray &bytes) { socket.write(bytes); }
    QTcpSocket socket;
    QByteArray received;
    bool closed = false;
};

class StubAgent : public OidcExternalUserAgent
{
public:
    bool presentExternalUserAgentRequest(const OidcExternalUserAgentRequest &, OidcExternalUserAgentSession *) override
    {
        return true;
    }
    void dismissExternalUserAgent(bool, std::function<void()> completion) override { completion(); }
};

QByteArray get(const QByteArray &target, const QByteArray &extraHeaders = {})
{
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + extraHeaders + "\r\n";
}
} // namespace

class tst_OidcRedirectHTTPHandler : public QObject
{
    Q_OBJECT
private:
    // A flow waiting for "http://127.0.0.1:<port>/callback".
    // Callbacks count into members: a flow cancelled by a handler going out of scope
    // calls back after the test function has returned.
    std::shared_ptr<OidcAuthorizationSession> flow(const QUrl &base)
    {
        const OidcServiceConfiguration configuration(QUrl(QStringLiteral("https://auth.example/authorize")),
                                                     QUrl(QStringLiteral("https://auth.example/token")));
        const auto request = OidcAuthorizationRequest::create(
            configuration, QStringLiteral("sorvane"), std::nullopt, QStringLiteral("openid"),
            base.resolved(QUrl(QStringLiteral("callback"))), QStringLiteral("code"), QStringLiteral("st"),
            std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt);
        auto session = std::make_shared<OidcAuthorizationSession>(*request);
        session->presentAuthorization(std::make_shared<StubAgent>(), [this](auto, auto failure) {
            ++m_calls;
            m_error = failure;
        });
        return session;
    }

    int m_calls = 0;
    std::optional<OidcError> m_error;

private Q_SLOTS:
    void init()
    {
        m_calls = 0;
        m_error.reset();
    }
    void cleanup() { QCoreApplication::processEvents(); }

    void listensOnBothLoopbackAddressesWithOnePort()
    {
        OidcRedirectHTTPHandler handler;
        const std::optional<QUrl> base = handler.startHTTPListener();
        QVERIFY(base);
        QCOMPARE(base->host(), QStringLiteral("127.0.0.1"));
        QVERIFY(base->port() > 0);
        QCOMPARE(base->path(), QStringLiteral("/"));
        RawClient v6(quint16(base->port()), QHostAddress::LocalHostIPv6);
        if (!v6.socket.waitForConnected(5000))
            QSKIP("no IPv6 loopback here");
        v6.send(get("/callback"));
        QTRY_VERIFY(v6.received.startsWith("HTTP/1.1 400"));
    }

    void redirects()
    {
        OidcRedirectHTTPHandler handler(QUrl(QStringLiteral("https://tolvern.dev/signed-in")));
        const QUrl base = *handler.startHTTPListener();
        RawClient early(quint16(base.port()));
        early.send(get("/callback?code=c&state=st"));
        QTRY_VERIFY(early.received.contains("No <code>currentAuthorizationFlow</code>"));
        QVERIFY(early.received.startsWith("HTTP/1.1 400 "));

        handler.setCurrentAuthorizationFlow(flow(base));
        // Two requests back to back on one connection: the foreign one first.
        RawClient browser(quint16(base.port()));
        browser.send(get("/elsewhere?code=c") + get("/callback?code=c&state=st"));
        QTRY_VERIFY(browser.closed);
        const qsizetype notFound = browser.received.indexOf("HTTP/1.1 404 ");
        const qsizetype found = browser.received.indexOf("HTTP/1.1 302 ");
        QVERIFY(notFound == 0 && found > notFound);
        QVERIFY(browser.received.contains("Location: https://tolvern.dev/signed-in\r\n"));
        // The page arrives whole, though the listener stopped before it was written.
        QVERIFY(browser.received.endsWith("<html><body>Authorization complete.<br> Return to the app.</body></html>"));
        QTRY_COMPARE(m_calls, 1);
        QVERIFY(!handler.isListening());
        RawClient late(quint16(base.port()));
        QTRY_VERIFY(late.socket.state() == QAbstractSocket::UnconnectedState);
    }

    void boundedInput_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("statusLine");
        QTest::newRow("head over 16 KiB") << get("/callback", "X-Pad: " + QByteArray(17000, 'a') + "\r\n")
                                          << QByteArray("HTTP/1.1 413 ");
        QTest::newRow("endless head") << QByteArray("GET /callback HTTP/1.1\r\nX-Pad: ") + QByteArray(17000, 'a')
                                      << QByteArray("HTTP/1.1 413 ");
        QTest::newRow("body over 64 KiB") << get("/callback", "Content-Length: 70000\r\n")
                                          << QByteArray("HTTP/1.1 413 ");
        QTest::newRow("signed length") << get("/callback", "Content-Length: +5\r\n") << QByteArray("HTTP/1.1 400 ");
        QTest::newRow("negative length") << get("/callback", "Content-Length: -1\r\n") << QByteArray("HTTP/1.1 400 ");
        QTest::newRow("hex length") << get("/callback", "Content-Length: 0x10\r\n") << QByteArray("HTTP/1.1 400 ");
        QTest::newRow("chunked") << get("/callback", "Transfer-Encoding: chunked\r\n") << QByteArray("HTTP/1.1 400 ");
        QTest::newRow("garbage line") << QByteArray("HELLO\r\n\r\n") << QByteArray("HTTP/1.1 400 ");
    }
    void boundedInput()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, statusLine);
        OidcRedirectHTTPHandler handler;
        const QUrl base = *handler.startHTTPListener();
        handler.setCurrentAuthorizationFlow(flow(base));
        RawClient client(quint16(base.port()));
        client.send(request);
        QTRY_VERIFY(client.closed);
        QVERIFY2(client.received.startsWith(statusLine), client.received.left(40).constData());
        QVERIFY(handler.isListening());
        QCOMPARE(m_calls, 0);
    }

    void aStalledRequestIsClosed()
    {
        OidcRedirectHTTPHandler handler;
        handler.setStallTimeout(100);
        const QUrl base = *handler.startHTTPListener();
        RawClient client(quint16(base.port()));
        client.send("GET /callback HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        QTRY_VERIFY(client.closed);
        QVERIFY(client.received.isEmpty());
        // A short body that never completes is not held for ever either.
        RawClient partial(quint16(base.port()));
        partial.send(get("/callback", "Content-Length: 10\r\n") + "abc");
        QTRY_VERIFY(partial.closed);
    }

    void aFinishedFlowCountsAsNone()
    {
        OidcRedirectHTTPHandler handler;
        const QUrl base = *handler.startHTTPListener();
        const auto cancelled = flow(base);
        handler.setCurrentAuthorizationFlow(cancelled);
        cancelled->cancel();
        QTRY_COMPARE(m_calls, 1);
        RawClient client(quint16(base.port()));
        client.send(get("/callback?code=c&state=st"));
        QTRY_VERIFY(client.received.startsWith("HTTP/1.1 400 "));
        QCOMPARE(m_calls, 1);
    }

    void cancellingFailsAWaitingFlow()
    {
        OidcRedirectHTTPHandler handler;
        const QUrl base = *handler.startHTTPListener();
        handler.setCurrentAuthorizationFlow(flow(base));
        handler.cancelHTTPListener();
        QTRY_COMPARE(m_calls, 1);
        QCOMPARE(m_error->code, -4);
        QCOMPARE(m_error->description(), QStringLiteral("The HTTP listener was cancelled programmatically."));
        QVERIFY(!handler.isListening());
    }
};

QTEST_GUILESS_MAIN(tst_OidcRedirectHTTPHandler)
#include "tst_OidcRedirectHTTPHandler.moc"
