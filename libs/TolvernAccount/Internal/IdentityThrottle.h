#pragma once

#include "CancelToken.h"
#include "HTTPResponse.h"
#include "IdentityThrottleOptions.h"
#include "TolvernLogLevel.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <functional>
#include <optional>

// Guards the identity service: a per-minute request budget, a circuit breaker after
// consecutive failures, and retries with backoff for GET requests. A refused request
// is answered with a made-up 429 or 503 reply, never an error, so callers map it
// like any server reply.
//
// Lives on the thread of the client that owns it and takes no lock; its state holds
// across every wait, while other requests run their checks and sends.
class IdentityThrottle
{
public:
    struct SendResult
    {
        QByteArray data;
        HTTPResponse response;
    };
    // Sends the request once per call.
    using Send = std::function<QCoro::Task<SendResult>()>;
    using Clock = std::function<QDateTime()>;
    // Waits the given seconds; throws CancellationError when the token is cancelled
    // meanwhile.
    using Sleep = std::function<QCoro::Task<void>(double seconds, CancelToken cancel)>;

    explicit IdentityThrottle(IdentityThrottleOptions options = {}, TolvernLogger logger = {}, Clock clock = {},
                              Sleep sleep = {});

    // The reply to hand on, real or made up. Throws what `send` threw after retries,
    // or CancellationError when `cancel` fires before a send or during a wait.
    QCoro::Task<SendResult> run(QUrl url, QString method, Send send, CancelToken cancel = {});

    static QDateTime defaultClock();
    // Returns at once for 0 or less, else waits on a timer.
    static QCoro::Task<void> defaultSleep(double seconds, CancelToken cancel);

    // The refusal reply: the status, "Content-Type" and "Retry-After" (at least 1, in
    // whole seconds rounded up), and {"error":"client_throttled","reason":...}.
    static SendResult shortCircuitResponse(const QUrl &url, int status, const QString &reason, double retryAfter);

private:
    bool tryConsumeBudget();
    void recordFailure();
    std::optional<double> circuitOpenRemaining();
    double backoff(int attempt) const;
    std::optional<double> retryAfter(const HTTPResponse &response) const;
    void log(TolvernLogLevel level, const QString &event, const TolvernLogFields &fields) const;

    IdentityThrottleOptions m_options;
    TolvernLogger m_logger;
    Clock m_clock;
    Sleep m_sleep;
    QList<QDateTime> m_recentRequestTimes;
    int m_consecutiveFailures = 0;
    std::optional<QDateTime> m_circuitOpenUntil;
};
