#include "HTTPResponse.h"
#include "HttpPeer.h"
#include "TolvernDeprecationParser.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class tst_HTTPResponse : public QObject
{
    Q_OBJECT

    std::unique_ptr<QNetworkReply> fetch(const QUrl &url)
    {
        std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(url)));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        if (!reply->isFinished())
            [&] { QVERIFY(finished.wait(30000)); }();
        return reply;
    }

    QNetworkAccessManager m_network;

private Q_SLOTS:
    void headOfARealReply_data()
    {
        QTest::addColumn<int>("status");
        QTest::newRow("2xx") << 200;
        QTest::newRow("edge of 2xx") << 299;
        QTest::newRow("upgrade required") << 426;
        QTest::newRow("server error") << 503;
    }
    void headOfARealReply()
    {
        QFETCH(int, status);
        HttpPeer peer;
        peer.route("/api/x", {status, "{}", {{"Tolvern-Deprecation", "client; min-version=2.0, endpoint"}, {"Retry-After", "7"}}});
        const auto reply = fetch(peer.url(QStringLiteral("/api/x")));
        const std::optional<HTTPResponse> head = HTTPResponse::fromReply(reply.get());
        QVERIFY(head);
        QCOMPARE(head->statusCode, status);
        QCOMPARE(head->url, peer.url(QStringLiteral("/api/x")));
        QCOMPARE(head->value("retry-after"), std::optional<QByteArray>("7"));
        QCOMPARE(head->value("RETRY-AFTER"), std::optional<QByteArray>("7"));
        QCOMPARE(head->value("X-Missing"), std::nullopt);
        QCOMPARE(TolvernDeprecationParser::notices(*head),
                 (QList<TolvernDeprecationNotice>{TolvernDeprecationNotice::client(QStringLiteral("2.0"), {}, {}),
                                                  TolvernDeprecationNotice::endpoint({}, {}, {})}));
    }

    void noHeadWithoutAnHttpReply()
    {
        HttpPeer peer;
        const QUrl url = peer.url(QStringLiteral("/gone"));
        peer.refuse();
        const auto reply = fetch(url);
        QCOMPARE(reply->error(), QNetworkReply::ConnectionRefusedError);
        QCOMPARE(HTTPResponse::fromReply(reply.get()), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(tst_HTTPResponse)
#include "tst_HTTPResponse.moc"
