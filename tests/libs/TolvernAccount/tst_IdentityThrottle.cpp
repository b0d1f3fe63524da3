#include "AwaitTask.h"
#include "Internal/IdentityThrottle.h"

#include <QCoro/QCoroTask>
#include <QTest>
#include <QTimeZone>
#include <QTimer>

#include <stdexcept>

namespace {
using SendResult = IdentityThrottle::SendResult;

// What one send does: answer a status with headers, or throw.
struct Outcome
{
    int status = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool throws = false;
    bool cancels = false;
};

// A throttle on a clock the test moves; its sleep records each wait and moves the
// clock by it. Sends answer from a script (the last outcome repeats).
struct Fixture
{
    QDateTime now{QDate(2026, 5, 1), QTime(12, 0), QTimeZone::utc()};
    QList<double> waits;
    QList<Outcome> script;
    int sends = 0;
    QList<QPair<QString, TolvernLogFields>> events;
    IdentityThrottle throttle;

    explicit Fixture(IdentityThrottleOptions options = {})
        : throttle(
            options,
            [this](TolvernLogLevel, const QString &event, const TolvernLogFields &fields) {
                events.append({event, fields});
            },
            [this] { return now; },
            [this](double seconds, CancelToken) -> QCoro::Task<void> {
                waits.append(seconds);
                now = now.addMSecs(qint64(seconds * 1000));
                co_return;
            })
    {
    }

    void advance(double seconds) { now = now.addMSecs(qint64(seconds * 1000)); }

    SendResult request(const QString &method = QStringLiteral("POST"))
    {
        const QUrl url(QStringLiteral("https://id.example.test/api/x"));
        return awaitTask(throttle.run(url, method, [this, url]() -> QCoro::Task<SendResult> {
            const Outcome outcome = script.isEmpty() ? Outcome{} : script.value(std::min<qsizetype>(sends, script.size() - 1));
            ++sends;
            if (outcome.cancels)
                throw CancellationError();
            if (outcome.throws)
                throw std::runtime_error("connection reset");
            SendResult result;
            result.response.url = url;
            result.response.statusCode = outcome.status;
            result.response.headerFields = outcome.headers;
            result.data = "{}";
            co_return result;
        }));
    }

    int requestStatus(const QString &method = QStringLiteral("POST")) { return request(method).response.statusCode; }
};

void checkRefusal(const SendResult &result, int status, const QByteArray &reason, const QByteArray &retryAfter)
{
    QCOMPARE(result.response.statusCode, status);
    QCOMPARE(result.response.headerFields,
             (QList<QPair<QByteArray, QByteArray>>{{"Content-Type", "application/json"}, {"Retry-After", retryAfter}}));
    QCOMPARE(result.data, "{\"error\":\"client_throttled\",\"reason\":\"" + reason + "\"}");
}
} // namespace

class tst_IdentityThrottle : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void budgetIsASixtySecondWindow()
    {
        Fixture f;
        for (int i = 0; i < 30; ++i) {
            QCOMPARE(f.requestStatus(), 200);
            f.advance(1);
        }
        // 30 s after the first: the 31st is refused without being sent.
        const SendResult refused = f.request();
        checkRefusal(refused, 429, "budget_exhausted", "5");
        QCOMPARE(f.sends, 30);
        QCOMPARE(f.events.last().first, QStringLiteral("identity_throttle_budget_exhausted"));
        QCOMPARE(f.events.last().second.value(QStringLiteral("limit_per_min")), QStringLiteral("30"));

        f.advance(30); // exactly 60 s after the first start
        QCOMPARE(f.requestStatus(), 429);
        f.advance(0.001);
        QCOMPARE(f.requestStatus(), 200);
        QCOMPARE(f.sends, 31);
        // A refused request took no place in the window.
        QCOMPARE(f.requestStatus(), 429);
    }

    void fiveFailuresOpenTheCircuitUntilItsTimeHasPassed()
    {
        Fixture f;
        f.script = {Outcome{503}};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(f.requestStatus(), 503);
        QCOMPARE(f.sends, 5);
        QCOMPARE(f.events.last().first, QStringLiteral("identity_throttle_circuit_tripped"));
        QCOMPARE(f.events.last().second.value(QStringLiteral("failures")), QStringLiteral("5"));

        f.advance(10.5);
        checkRefusal(f.request(), 503, "circuit_open", "290"); // 289.5 s left, rounded up
        QCOMPARE(f.events.last().second.value(QStringLiteral("retry_after_s")), QStringLiteral("289"));
        QCOMPARE(f.sends, 5);

        f.advance(289.5);
        // Half-open: one request goes out; its failure opens the circuit again at once.
        QCOMPARE(f.requestStatus(), 503);
        QCOMPARE(f.sends, 6);
        checkRefusal(f.request(), 503, "circuit_open", "300");

        f.advance(300);
        f.script = {Outcome{200}};
        QCOMPARE(f.requestStatus(), 200);
        // Closed again with the count reset: four more failures do not open it.
        f.script = {Outcome{500}};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(f.requestStatus(), 500);
        QCOMPARE(f.requestStatus(), 500);
        QCOMPARE(f.sends, 12);
    }

    void successResetsAndOtherStatusesLeaveTheCount_data()
    {
        QTest::addColumn<int>("middle");
        QTest::addColumn<bool>("opensAfterFourMore");
        QTest::newRow("2xx resets") << 204 << false;
        QTest::newRow("404 leaves the count") << 404 << true;
        QTest::newRow("3xx leaves the count") << 302 << true;
    }
    void successResetsAndOtherStatusesLeaveTheCount()
    {
        QFETCH(int, middle);
        QFETCH(bool, opensAfterFourMore);
        Fixture f;
        f.script = {Outcome{500}};
        for (int i = 0; i < 4; ++i)
            f.request();
        f.script = {Outcome{middle}};
        QCOMPARE(f.requestStatus(), middle);
        QVERIFY(f.waits.isEmpty());
        f.script = {Outcome{500}};
        for (int i = 0; i < 4; ++i)
            f.request();
        // The circuit is open exactly when the count was not reset.
        f.script = {Outcome{200}};
        QCOMPARE(f.requestStatus() == 503, opensAfterFourMore);
    }

    void onlyGetIsRetried()
    {
        Fixture post;
        post.script = {Outcome{503}};
        QCOMPARE(post.requestStatus(QStringLiteral("POST")), 503);
        QCOMPARE(post.sends, 1);
        QVERIFY(post.waits.isEmpty());

        Fixture get;
        get.script = {Outcome{503}, Outcome{503}, Outcome{503}, Outcome{503, {{"X-Attempt", "4"}}}};
        const SendResult last = get.request(QStringLiteral("get"));
        QCOMPARE(get.sends, 4);
        QCOMPARE(last.response.value("X-Attempt"), std::optional<QByteArray>("4"));
        QCOMPARE(get.waits.size(), 3);
        QCOMPARE(get.events.first().first, QStringLiteral("identity_throttle_server_backoff"));
        QCOMPARE(get.events.first().second,
                 (TolvernLogFields{{QStringLiteral("status"), QStringLiteral("503")},
                                   {QStringLiteral("attempt"), QStringLiteral("0")}}));
    }

    void retryAfterDecidesTheWait_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::newRow("2 seconds") << QByteArray("2") << 2.0 << 2.0;
        QTest::newRow("fraction with spaces") << QByteArray("  0.5 ") << 0.5 << 0.5;
        QTest::newRow("exponent") << QByteArray("1e1") << 10.0 << 10.0;
        QTest::newRow("above the cap") << QByteArray("1000") << 300.0 << 300.0;
        QTest::newRow("infinity clamps") << QByteArray("inf") << 300.0 << 300.0;
        QTest::newRow("negative clamps to 0") << QByteArray("-5") << 0.0 << 0.0;
        QTest::newRow("HTTP date in the past") << QByteArray("Wed, 21 Oct 2015 07:28:00 GMT") << 0.0 << 0.0;
        // The fixture's clock stands at 2026-05-01 12:00:00 UTC.
        QTest::newRow("HTTP date ahead") << QByteArray("Fri, 01 May 2026 12:00:42 GMT") << 42.0 << 42.0;
        QTest::newRow("NaN is unreadable") << QByteArray("nan") << 1.0 << 1.5;
        QTest::newRow("words fall back") << QByteArray("soon") << 1.0 << 1.5;
        QTest::newRow("number with unit") << QByteArray("2s") << 1.0 << 1.5;
        QTest::newRow("empty") << QByteArray("   ") << 1.0 << 1.5;
    }
    void retryAfterDecidesTheWait()
    {
        QFETCH(QByteArray, header);
        QFETCH(double, low);
        QFETCH(double, high);
        Fixture f;
        f.script = {Outcome{429, {{"retry-after", header}}}, Outcome{200}};
        QCOMPARE(f.requestStatus(QStringLiteral("GET")), 200);
        QCOMPARE(f.waits.size(), 1);
        QVERIFY2(f.waits.first() >= low && f.waits.first() <= high, qPrintable(QString::number(f.waits.first())));
        QCOMPARE(f.events.first().first, QStringLiteral("identity_throttle_server_backoff"));
    }

    void thrownErrorsAreRetriedWithBackoffAndNoBudget()
    {
        IdentityThrottleOptions options;
        options.maxRequestsPerMinute = 1;
        Fixture f(options);
        f.script = {Outcome{0, {}, true}};
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, f.request(QStringLiteral("GET")));
        QCOMPARE(f.sends, 4);
        QCOMPARE(f.waits.size(), 3);
        const double bounds[3][2] = {{1, 1.5}, {2, 3}, {4, 6}};
        for (int i = 0; i < 3; ++i)
            QVERIFY2(f.waits[i] >= bounds[i][0] && f.waits[i] <= bounds[i][1], qPrintable(QString::number(f.waits[i])));

        // A POST that throws is not retried.
        Fixture post;
        post.script = {Outcome{0, {}, true}};
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, post.request(QStringLiteral("POST")));
        QCOMPARE(post.sends, 1);
    }

    void budgetRefusingARetryHandsOnTheLastReply()
    {
        IdentityThrottleOptions options;
        options.maxRequestsPerMinute = 2;
        Fixture f(options);
        f.script = {Outcome{500, {{"X-Try", "1"}}}, Outcome{500, {{"X-Try", "2"}}}, Outcome{200}};
        const SendResult result = f.request(QStringLiteral("GET"));
        QCOMPARE(f.sends, 2);
        QCOMPARE(result.response.value("X-Try"), std::optional<QByteArray>("2"));
    }

    void cancellationFromTheSendIsNoFailure()
    {
        Fixture f;
        f.script = {Outcome{0, {}, false, true}};
        for (int i = 0; i < 6; ++i)
            QVERIFY_THROWS_EXCEPTION(CancellationError, f.request(QStringLiteral("GET")));
        QCOMPARE(f.sends, 6); // never retried, and the circuit stayed closed
        QVERIFY(f.waits.isEmpty());
    }

    void cancellingDuringABackoffWaitEndsTheRequest()
    {
        // The real sleep, cut short by the token.
        IdentityThrottle throttle;
        const CancelToken cancel = CancelToken::create();
        int sends = 0;
        bool done = false;
        bool cancelled = false;
        auto task = [&]() -> QCoro::Task<void> {
            try {
                co_await throttle.run(
                    QUrl(QStringLiteral("https://id.example.test/x")), QStringLiteral("GET"),
                    [&]() -> QCoro::Task<SendResult> {
                        ++sends;
                        QTimer::singleShot(0, [cancel] { cancel.cancel(); });
                        throw std::runtime_error("reset");
                        co_return SendResult{};
                    },
                    cancel);
            } catch (const CancellationError &) {
                cancelled = true;
            }
            done = true;
        };
        auto running = task();
        QVERIFY(QTest::qWaitFor([&] { return done; }, 10000));
        QVERIFY(cancelled);
        QCOMPARE(sends, 1);
    }
};

QTEST_GUILESS_MAIN(tst_IdentityThrottle)
#include "tst_IdentityThrottle.moc"
