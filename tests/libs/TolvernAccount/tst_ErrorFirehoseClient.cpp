#include "AwaitTask.h"
#include "ErrorFirehoseClient.h"
#include "ErrorTelemetryConsent.h"
#include "GeoProbeClient.h"
#include "HttpPeer.h"
#include "MemoryTelemetryDefaults.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {
const QByteArray eventsPath = "/api/error-events";
// Tick 0.6 s, coalescing window 0.6 s, breaker window 0.1 s, silence 3 s.
constexpr double timeScale = 0.01;

QJsonObject bodyOf(const HttpPeer::Request &request)
{
    return QJsonDocument::fromJson(request.body).object();
}

QJsonObject firstEvent(const HttpPeer::Request &request)
{
    return bodyOf(request).value(QStringLiteral("events")).toArray().first().toObject();
}

// Answers the statuses in turn on `path`; the last one stays. The peer tells of a
// request before it answers it, so each reply is scripted as its request arrives.
void scriptStatuses(HttpPeer &peer, const QByteArray &path, const QList<int> &statuses)
{
    auto remaining = std::make_shared<QList<int>>(statuses);
    QObject::connect(&peer, &HttpPeer::requestReceived, &peer, [&peer, path, remaining] {
        if (!remaining->isEmpty())
            peer.route(path, {remaining->takeFirst(), "{}"}, "POST");
    });
}
} // namespace

namespace storage {
struct DiskFullError {};
} // namespace storage

class tst_ErrorFirehoseClient : public QObject
{
    Q_OBJECT

    std::shared_ptr<MemoryTelemetryDefaults> m_defaults;
    QDateTime m_now;
    QNetworkAccessManager m_network;

    std::unique_ptr<ErrorFirehoseClient> makeClient(const QUrl &identityURL = QUrl(QStringLiteral("http://127.0.0.1:9/")))
    {
        auto client = std::make_unique<ErrorFirehoseClient>([this] { return m_now; }, timeScale);
        client->configure("sorvane", QStringLiteral("linux"), "1.1.18", QStringLiteral("6.1.0"), "install-1",
                          identityURL, &m_network);
        return client;
    }

    void advance(double seconds) { m_now = m_now.addMSecs(qint64(seconds * 1000)); }

    // Sends what is held through one flush and waits for its delivery to end.
    bool flushAndDeliver(ErrorFirehoseClient &client)
    {
        QSignalSpy ended(&client, &ErrorFirehoseClient::deliveryEnded);
        client.flushNow();
        // A dropped batch ends its delivery before flushNow() returns.
        if (ended.isEmpty() && !ended.wait(30000))
            return false;
        return ended.first().first().toBool();
    }

private Q_SLOTS:
    void init()
    {
        m_defaults = std::make_shared<MemoryTelemetryDefaults>();
        ErrorTelemetryConsent::setDefaults(m_defaults);
        // An explicit choice: consent is settled and on unless a test says otherwise.
        ErrorTelemetryConsent::setEnabled(true);
        m_now = QDateTime(QDate(2026, 5, 6), QTime(7, 8, 9, 10), Qt::UTC);
    }

    void consentOffRecordsNothing()
    {
        ErrorTelemetryConsent::setEnabled(false);
        auto client = makeClient();
        const QDateTime windowStart = client->state().windowStart;
        advance(10);
        client->observe("error", "io", "disk full");
        const ErrorFirehoseClient::State state = client->state();
        QVERIFY(state.buffer.isEmpty());
        QVERIFY(state.pendingBatches.isEmpty());
        QCOMPARE(state.circuitBreakers, 0);
        QCOMPARE(state.windowStart, windowStart);
    }

    void entryCarriesTheObservation()
    {
        auto client = makeClient();
        client->updateContext(true, false, 59);
        client->observe("error", "io", "Saving /home/jo/a.md failed", &typeid(storage::DiskFullError),
                        QStringLiteral("check-7"), QStringList{"save() -> Bool", "b", "c", "d"});
        const QList<ErrorFirehoseEntry> buffer = client->state().buffer;
        QCOMPARE(buffer.size(), 1);
        const ErrorFirehoseEntry &entry = buffer.first();
        QCOMPARE(entry.messageTemplate, QStringLiteral("saving <path> failed"));
        QCOMPARE(entry.exceptionType, std::optional<QString>(QStringLiteral("DiskFullError")));
        QCOMPARE(entry.topFrames, std::optional<QStringList>(QStringList{"save() -> Bool", "b", "c"}));
        QCOMPARE(entry.frameDigest->size(), 12);
        QCOMPARE(entry.specId, std::optional<QString>(QStringLiteral("check-7")));
        QVERIFY(entry.signedIn);
        QVERIFY(!entry.online);
        QCOMPARE(entry.sessionUptimeSeconds, std::optional<int>(30));
        QCOMPARE(entry.fingerprint.size(), 16);
    }

    void repeatsFoldIntoOneEntry_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("e-mail") << "Mail to a@b.org failed" << "Mail to zed@example.com failed";
        QTest::newRow("uuid") << "Lost 0190abcd-ef12-4a3b-9c8d-0123456789ab" << "Lost 11111111-2222-3333-4444-555555555555";
        QTest::newRow("number") << "Wrote 4096 bytes" << "Wrote 123456 bytes";
        QTest::newRow("path") << "Cannot open /a/b.md" << "Cannot open /c/d/e.md";
        QTest::newRow("case and spacing") << "Disk  FULL now" << "disk full\tnow";
    }
    void repeatsFoldIntoOneEntry()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        auto client = makeClient();
        client->observe("warn", "io", first);
        advance(0.2);
        client->observe("warn", "io", second);
        const QList<ErrorFirehoseEntry> buffer = client->state().buffer;
        QCOMPARE(buffer.size(), 1);
        QCOMPARE(buffer.first().count, 2);
        QCOMPARE(buffer.first().lastSeen, m_now);
        QCOMPARE(buffer.first().firstSeen, m_now.addMSecs(-200));
    }

    void differentCategoriesStayApart()
    {
        auto client = makeClient();
        client->observe("warn", "io", "disk full");
        client->observe("warn", "net", "disk full");
        client->observe("error", "io", "disk full");
        QCOMPARE(client->state().buffer.size(), 3);
    }

    void breadcrumbsReplacedOnlyWhenGiven()
    {
        auto client = makeClient();
        const QList<BreadcrumbEntry> first{{"t1", "info", "nav", "opened"}};
        QList<BreadcrumbEntry> eleven;
        for (int i = 0; i < 11; ++i)
            eleven.append({QStringLiteral("t%1").arg(i), "info", "nav", QStringLiteral("step %1").arg(i)});
        client->observe("warn", "io", "disk full", nullptr, std::nullopt, std::nullopt, first);
        QCOMPARE(client->state().buffer.first().breadcrumbs->first().msg, QStringLiteral("opened"));
        client->observe("warn", "io", "disk full", nullptr, std::nullopt, std::nullopt, eleven);
        QCOMPARE(client->state().buffer.first().breadcrumbs->size(), 10);
        QCOMPARE(client->state().buffer.first().breadcrumbs->last().msg, QStringLiteral("step 9"));
        client->observe("warn", "io", "disk full");
        QCOMPARE(client->state().buffer.first().breadcrumbs->size(), 10);
        QCOMPARE(client->state().buffer.first().count, 3);
    }

    void circuitBreakerSilencesARunawaySignal()
    {
        auto client = makeClient();
        for (int i = 0; i < 100; ++i)
            client->observe("error", "io", "disk full");
        QCOMPARE(client->state().buffer.size(), 1);
        QCOMPARE(client->state().buffer.first().count, 100);
        const QDateTime windowStart = client->state().windowStart;

        // The 101st trips the breaker: not counted, and the entry leaves at once.
        client->observe("error", "io", "disk full");
        ErrorFirehoseClient::State state = client->state();
        QVERIFY(state.buffer.isEmpty());
        QCOMPARE(state.pendingBatches.size(), 1);
        QCOMPARE(state.pendingBatches.first().first().count, 100);
        QCOMPARE(state.windowStart, windowStart);

        // Silenced for 300 (scaled) seconds, other signals still count.
        advance(2.9);
        client->observe("error", "io", "disk full");
        client->observe("error", "io", "other trouble");
        state = client->state();
        QCOMPARE(state.buffer.size(), 1);
        QCOMPARE(state.buffer.first().messageTemplate, QStringLiteral("other trouble"));

        advance(0.2);
        client->observe("error", "io", "disk full");
        state = client->state();
        QCOMPARE(state.buffer.size(), 2);
        QCOMPARE(state.buffer.last().count, 1);
    }

    void breakerWindowRestarts()
    {
        auto client = makeClient();
        // 150 observations spread over windows of the breaker never trip it.
        for (int i = 0; i < 150; ++i) {
            if (i == 90)
                advance(0.11);
            client->observe("error", "io", "disk full");
        }
        QCOMPARE(client->state().buffer.first().count, 150);
    }

    void fiftiethSignalDrainsAtOnce()
    {
        auto client = makeClient();
        for (int i = 0; i < 49; ++i)
            client->observe("warn", "io", QStringLiteral("signal %1").arg(QChar(u'a' + i % 26)) + QString(i / 26 + 1, u'x'));
        QCOMPARE(client->state().buffer.size(), 49);
        advance(0.1);
        client->observe("warn", "io", "the fiftieth");
        const ErrorFirehoseClient::State state = client->state();
        QVERIFY(state.buffer.isEmpty());
        QCOMPARE(state.pendingBatches.size(), 1);
        QCOMPARE(state.pendingBatches.first().size(), 50);
        QCOMPARE(state.pendingBatches.first().first().messageTemplate, QStringLiteral("signal ax"));
        QCOMPARE(state.windowStart, m_now);
    }

    void oldWindowRollsOverFirst()
    {
        auto client = makeClient();
        client->observe("warn", "io", "disk full");
        advance(0.6);
        client->observe("warn", "io", "disk full");
        QCOMPARE(client->state().buffer.first().count, 2);
        advance(0.01);
        client->observe("warn", "io", "disk full");
        const ErrorFirehoseClient::State state = client->state();
        QCOMPARE(state.pendingBatches.size(), 1);
        QCOMPARE(state.pendingBatches.first().first().count, 2);
        QCOMPARE(state.buffer.size(), 1);
        QCOMPARE(state.buffer.first().count, 1);
        QCOMPARE(state.windowStart, m_now);
    }

    void fullQueueDropsTheOldestBatch()
    {
        auto client = makeClient();
        for (int batch = 0; batch < 11; ++batch) {
            client->observe("warn", "io", QStringLiteral("batch %1 first").arg(QChar(u'a' + batch)));
            advance(0.61);
        }
        client->observe("warn", "io", "last");
        const ErrorFirehoseClient::State state = client->state();
        QCOMPARE(state.pendingBatches.size(), 10);
        QCOMPARE(state.pendingBatches.first().first().messageTemplate, QStringLiteral("batch b first"));
        QCOMPARE(state.pendingBatches.last().first().messageTemplate, QStringLiteral("batch k first"));
    }

    void facadeEvents_data()
    {
        QTest::addColumn<TolvernLogLevel>("level");
        QTest::addColumn<TolvernLogFields>("fields");
        QTest::addColumn<QString>("severity");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("messageTemplate");
        QTest::newRow("debug") << TolvernLogLevel::debug << TolvernLogFields{} << "" << "" << "";
        QTest::newRow("info") << TolvernLogLevel::info << TolvernLogFields{{"class", "server"}} << "" << "" << "";
        QTest::newRow("warning, sorted fields")
            << TolvernLogLevel::warning << TolvernLogFields{{"status", "500"}, {"class", "server"}} << "warn" << "server"
            << "request_server_failed: class=server status=500";
        QTest::newRow("error, no fields") << TolvernLogLevel::error << TolvernLogFields{} << "error" << "auth"
                                          << "request_server_failed";
        QTest::newRow("category field") << TolvernLogLevel::warning << TolvernLogFields{{"category", "export"}} << "warn"
                                        << "export" << "request_server_failed: category=export";
        QTest::newRow("class wins over category")
            << TolvernLogLevel::warning << TolvernLogFields{{"category", "export"}, {"class", "decode"}} << "warn"
            << "decode" << "request_server_failed: category=export class=decode";
    }
    void facadeEvents()
    {
        QFETCH(QString, severity);
        QFETCH(TolvernLogLevel, level);
        QFETCH(TolvernLogFields, fields);
        auto client = makeClient();
        client->observeFromFacade(level, "request_server_failed", fields);
        const QList<ErrorFirehoseEntry> buffer = client->state().buffer;
        if (severity.isEmpty()) {
            QVERIFY(buffer.isEmpty());
            QCOMPARE(client->state().circuitBreakers, 0);
            return;
        }
        QCOMPARE(buffer.size(), 1);
        QCOMPARE(buffer.first().severity, severity);
        QTEST(buffer.first().category, "category");
        QTEST(buffer.first().messageTemplate, "messageTemplate");
        QCOMPARE(buffer.first().exceptionType, std::nullopt);
        QCOMPARE(buffer.first().topFrames, std::nullopt);
    }

    void observationsFromManyThreads()
    {
        auto client = makeClient();
        QList<QThread *> threads;
        for (int t = 0; t < 4; ++t)
            threads.append(QThread::create([&client] {
                for (int i = 0; i < 25; ++i)
                    client->observe("warn", "io", "disk full");
            }));
        for (QThread *thread : threads)
            thread->start();
        for (QThread *thread : threads) {
            thread->wait();
            delete thread;
        }
        QCOMPARE(client->state().buffer.first().count, 100);
    }

    void deliveries_data()
    {
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<bool>("finished");
        QTest::newRow("200") << QList<int>{200} << false << 1 << true;
        QTest::newRow("202") << QList<int>{202} << false << 1 << true;
        QTest::newRow("201 is accepted") << QList<int>{201} << false << 1 << true;
        QTest::newRow("204 is accepted") << QList<int>{204} << false << 1 << true;
        QTest::newRow("400 refused for good") << QList<int>{400} << false << 1 << true;
        QTest::newRow("413 refused for good") << QList<int>{413} << false << 1 << true;
        QTest::newRow("429 then 200") << QList<int>{429, 200} << false << 2 << true;
        QTest::newRow("404, 503 then 202") << QList<int>{404, 503, 202} << false << 3 << true;
        QTest::newRow("500 four times") << QList<int>{500, 500, 500, 500} << false << 4 << false;
        QTest::newRow("refused connection") << QList<int>{} << true << 4 << false;
    }
    void deliveries()
    {
        QFETCH(QList<int>, statuses);
        QFETCH(bool, refused);
        QFETCH(int, attempts);
        QFETCH(bool, finished);
        HttpPeer peer;
        if (!statuses.isEmpty())
            scriptStatuses(peer, eventsPath, statuses);
        auto client = makeClient(peer.url(QStringLiteral("/")));
        QList<double> waits;
        client->setRetryWaitObserver([&waits](double seconds) { waits.append(seconds); });
        if (refused)
            peer.refuse();
        client->observe("error", "io", "disk full");
        client->observe("warn", "net", "offline");

        QCOMPARE(flushAndDeliver(*client), finished);
        QCOMPARE(waits.size(), attempts - 1);
        const double low[] = {20, 50, 110};
        const double high[] = {40, 70, 130};
        for (int i = 0; i < waits.size(); ++i) {
            QVERIFY2(waits[i] >= low[i] && waits[i] <= high[i], qPrintable(QString::number(waits[i])));
        }
        // A batch that still failed goes back to the front of the queue.
        QCOMPARE(client->state().pendingBatches.size(), finished ? 0 : 1);

        if (refused)
            return;
        const QList<HttpPeer::Request> requests = peer.requests();
        QCOMPARE(requests.size(), attempts);
        const QJsonObject first = bodyOf(requests.first());
        QCOMPARE(first.value("events").toArray().size(), 2);
        for (const HttpPeer::Request &request : requests) {
            QCOMPARE(request.method, QByteArray("POST"));
            QCOMPARE(request.target, eventsPath);
            QCOMPARE(request.headers.value("content-type"), QByteArray("application/json"));
            QVERIFY(!request.headers.contains("authorization"));
            const QJsonObject body = bodyOf(request);
            QCOMPARE(body.value("batch_id"), first.value("batch_id"));
            QCOMPARE(body.value("events").toArray().at(0).toObject().value("client_event_id"),
                     first.value("events").toArray().at(0).toObject().value("client_event_id"));
            QCOMPARE(body.value("events").toArray().at(1).toObject().value("client_event_id"),
                     first.value("events").toArray().at(1).toObject().value("client_event_id"));
        }
        if (!finished) {
            // The next tick tries the batch again, under new identifiers.
            peer.route(eventsPath, {200, "{}"}, "POST");
            QVERIFY(flushAndDeliver(*client));
            QVERIFY(bodyOf(peer.requests().last()).value("batch_id") != first.value("batch_id"));
            QCOMPARE(bodyOf(peer.requests().last()).value("events").toArray().size(), 2);
        }
    }

    void batchOnTheWire()
    {
        HttpPeer peer;
        peer.route("/identity/api/error-events", {200, "{}"}, "POST");
        auto client = makeClient(peer.url(QStringLiteral("/identity")));
        client->observe("warn", "io", "disk full");
        client->observe("error", "io", "Saving failed", &typeid(storage::DiskFullError), QStringLiteral("check-7"),
                        QStringList{"save()"}, QList<BreadcrumbEntry>{{"t", "info", "nav", "opened"}});
        client->updateContext(false, true, 95);
        client->observe("error", "io", "Saving failed", &typeid(storage::DiskFullError), std::nullopt,
                        QStringList{"save()"});
        QVERIFY(flushAndDeliver(*client));
        QCOMPARE(peer.requests().size(), 1);
        const QJsonObject body = bodyOf(peer.requests().first());
        QCOMPARE(body.value("schema_version").toInt(), 1);
        QVERIFY(QUuid::fromString(body.value("batch_id").toString()).version() == QUuid::Random);
        QCOMPARE(body.value("batch_id").toString(), body.value("batch_id").toString().toLower());
        QCOMPARE(body.value("daily_token").toString(), client->state().dailyToken);
        QCOMPARE(body.value("daily_token").toString().size(), 16);
        QCOMPARE(body.value("app_slug").toString(), QStringLiteral("sorvane"));
        QCOMPARE(body.value("platform").toString(), QStringLiteral("linux"));
        QCOMPARE(body.value("app_version").toString(), QStringLiteral("1.1.18"));
        QCOMPARE(body.value("os_version").toString(), QStringLiteral("6.1.0"));

        const QJsonArray events = body.value("events").toArray();
        QCOMPARE(events.size(), 2);
        const QJsonObject minimal = events.at(0).toObject();
        const QStringList minimalKeys = minimal.keys();
        QCOMPARE(QSet<QString>(minimalKeys.cbegin(), minimalKeys.cend()),
                 (QSet<QString>{"client_event_id", "severity", "category", "fingerprint", "message_template", "count",
                                "first_seen", "last_seen", "signed_in", "online"}));
        QCOMPARE(minimal.value("first_seen").toString(), QStringLiteral("2026-05-06T07:08:09.010Z"));
        QCOMPARE(minimal.value("signed_in"), QJsonValue(false));
        QCOMPARE(minimal.value("online"), QJsonValue(true));

        const QJsonObject full = events.at(1).toObject();
        QCOMPARE(full.value("spec_id").toString(), QStringLiteral("check-7"));
        QCOMPARE(full.value("exception_type").toString(), QStringLiteral("DiskFullError"));
        QCOMPARE(full.value("top_frames").toArray(), QJsonArray{"save()"});
        QCOMPARE(full.value("frame_digest").toString().size(), 12);
        QCOMPARE(full.value("breadcrumbs").toArray().size(), 1);
        QCOMPARE(full.value("count").toInt(), 2);
        QCOMPARE(full.value("session_uptime_seconds").toInt(), 90);
        QVERIFY(full.value("client_event_id") != minimal.value("client_event_id"));
    }

    void breadcrumbsArriveScrubbed()
    {
        HttpPeer peer;
        peer.route(eventsPath, {200, "{}"}, "POST");
        auto client = makeClient(peer.url(QStringLiteral("/")));
        client->observe("warn", "io", "disk full", nullptr, std::nullopt, std::nullopt,
                        QList<BreadcrumbEntry>{{"2026-05-06T07:08:09Z", "info", "Mail jo@example.org",
                                                "Opened /home/jo/Secret Plans.md for Jo.Doe@mail.example.com"}});
        QVERIFY(flushAndDeliver(*client));
        const QJsonObject crumb = firstEvent(peer.requests().first()).value("breadcrumbs").toArray().first().toObject();
        QCOMPARE(crumb.value("category").toString(), QStringLiteral("Mail <email>"));
        QCOMPARE(crumb.value("msg").toString(), QStringLiteral("Opened <path> Plans.md for <email>"));
        QCOMPARE(crumb.value("ts").toString(), QStringLiteral("2026-05-06T07:08:09Z"));
        QCOMPARE(crumb.value("level").toString(), QStringLiteral("info"));
    }

    void bodySizeLimit_data()
    {
        QTest::addColumn<int>("extra");
        QTest::addColumn<bool>("sent");
        QTest::newRow("262144 bytes") << 0 << true;
        QTest::newRow("262145 bytes") << 1 << false;
    }
    void bodySizeLimit()
    {
        QFETCH(int, extra);
        QFETCH(bool, sent);
        HttpPeer peer;
        peer.route(eventsPath, {200, "{}"}, "POST");
        auto client = makeClient(peer.url(QStringLiteral("/")));
        // Measure a body once, then grow a breadcrumb to the byte ("z": no placeholder
        // rule touches it).
        const auto observeWithCrumb = [&client](qsizetype length) {
            client->observe("warn", "io", "disk full", nullptr, std::nullopt, std::nullopt,
                            QList<BreadcrumbEntry>{{"t", "info", "nav", QString(length, u'z')}});
        };
        observeWithCrumb(1000);
        QVERIFY(flushAndDeliver(*client));
        const qsizetype measured = peer.requests().first().body.size();
        observeWithCrumb(1000 + (262144 - measured) + extra);
        QVERIFY(flushAndDeliver(*client));
        QCOMPARE(peer.requests().size(), sent ? 2 : 1);
        if (sent)
            QCOMPARE(peer.requests().last().body.size(), 262144);
        QVERIFY(client->state().pendingBatches.isEmpty());
    }

    // Nothing leaves before consent is settled, and what was held is dropped when
    // consent turns out off or is switched off.
    void heldSignalsFollowConsent_data()
    {
        QTest::addColumn<QByteArray>("geoReply");
        QTest::addColumn<int>("choice"); // -1 none, 0 off, 1 on
        QTest::addColumn<bool>("sent");
        QTest::newRow("EU answer") << QByteArray(R"({"eu":true})") << -1 << false;
        QTest::newRow("outside the EU") << QByteArray(R"({"eu":false})") << -1 << true;
        QTest::newRow("EU user opts in") << QByteArray(R"({"eu":true})") << 1 << true;
        QTest::newRow("switched off") << QByteArray() << 0 << false;
        QTest::newRow("switched off outside the EU") << QByteArray(R"({"eu":false})") << 0 << false;
    }
    void heldSignalsFollowConsent()
    {
        QFETCH(QByteArray, geoReply);
        QFETCH(int, choice);
        QFETCH(bool, sent);
        m_defaults = std::make_shared<MemoryTelemetryDefaults>();
        ErrorTelemetryConsent::setDefaults(m_defaults);
        HttpPeer peer;
        peer.route(eventsPath, {200, "{}"}, "POST");
        auto client = makeClient(peer.url(QStringLiteral("/")));
        client->start();

        // Unsettled: observed, held through ticks, not sent.
        client->observe("warn", "io", "disk full");
        QSignalSpy ticks(client.get(), &ErrorFirehoseClient::flushed);
        QVERIFY(QTest::qWaitFor([&ticks] { return ticks.size() >= 2; }, 30000));
        QCOMPARE(peer.requestCount(eventsPath), 0);
        QCOMPARE(client->state().pendingBatches.size(), 1);
        client->observe("warn", "io", "disk full again");

        if (!geoReply.isEmpty()) {
            peer.route("/api/geo", {200, geoReply});
            awaitTask(GeoProbeClient::probe(&m_network, peer.url(QStringLiteral("/"))));
        }
        if (choice >= 0)
            ErrorTelemetryConsent::setEnabled(choice == 1);

        if (sent) {
            QVERIFY(QTest::qWaitFor([&peer] { return peer.requestCount(eventsPath) >= 1; }, 30000));
            QVERIFY(QTest::qWaitFor([&client] { return client->state().pendingBatches.isEmpty(); }, 30000));
        } else {
            const qsizetype seen = ticks.size();
            QVERIFY(QTest::qWaitFor([&ticks, seen] { return ticks.size() >= seen + 2; }, 30000));
            QCOMPARE(peer.requestCount(eventsPath), 0);
            QVERIFY(client->state().pendingBatches.isEmpty());
            QVERIFY(client->state().buffer.isEmpty());
        }
    }

    void secondStartLaunchesNoSecondLoop()
    {
        auto client = makeClient();
        client->start();
        client->start();
        QVERIFY(client->state().isStarted);
        QSignalSpy ticks(client.get(), &ErrorFirehoseClient::flushed);
        QElapsedTimer timer;
        QList<qint64> at;
        connect(client.get(), &ErrorFirehoseClient::flushed, this, [&] { at.append(timer.elapsed()); });
        timer.start();
        QVERIFY(QTest::qWaitFor([&ticks] { return ticks.size() >= 3; }, 30000));
        // Two loops would tick in pairs; one loop's ticks are a whole interval apart.
        QVERIFY2(at[2] - at[1] >= 500, qPrintable(QString::number(at[2] - at[1])));
    }
};

QTEST_GUILESS_MAIN(tst_ErrorFirehoseClient)
#include "tst_ErrorFirehoseClient.moc"
