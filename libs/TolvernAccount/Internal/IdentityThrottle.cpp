#include "IdentityThrottle.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTimeZone>
#include <QTimer>

#include <QCoro/QCoroTimer>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <locale.h>

IdentityThrottle::IdentityThrottle(IdentityThrottleOptions options, TolvernLogger logger, Clock clock, Sleep sleep)
    : m_options(options)
    , m_logger(std::move(logger))
    , m_clock(clock ? std::move(clock) : Clock(&IdentityThrottle::defaultClock))
    , m_sleep(sleep ? std::move(sleep) : Sleep(&IdentityThrottle::defaultSleep))
{
}

QDateTime IdentityThrottle::defaultClock()
{
    return QDateTime::currentDateTimeUtc();
}

QCoro::Task<void> IdentityThrottle::defaultSleep(double seconds, CancelToken cancel)
{
    if (!(seconds > 0))
        co_return;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    // Cancelling cuts the wait short; the flag then decides.
    if (CancelTokenState *state = cancel.state())
        QObject::connect(state, &CancelTokenState::wasCancelled, &timer, [&timer] { timer.start(0); });
    // Checked after connecting, so a cancel in between is not missed.
    cancel.throwIfCancelled();
    timer.start(std::chrono::milliseconds(qint64(std::ceil(seconds * 1000.0))));
    // Named awaiters: GCC 12 destroys temporaries inside a co_await expression twice.
    auto timedOut = qCoro(&timer).waitForTimeout();
    co_await std::move(timedOut);
    cancel.throwIfCancelled();
}

IdentityThrottle::SendResult IdentityThrottle::shortCircuitResponse(const QUrl &url, int status,
                                                                    const QString &reason, double retryAfter)
{
    const qint64 retry = std::max<qint64>(1, qint64(std::ceil(retryAfter)));
    SendResult result;
    result.response.url = url;
    result.response.statusCode = status;
    result.response.httpVersion = QByteArrayLiteral("HTTP/1.1");
    result.response.headerFields = {{QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/json")},
                                    {QByteArrayLiteral("Retry-After"), QByteArray::number(retry)}};
    result.data = QByteArrayLiteral("{\"error\":\"client_throttled\",\"reason\":\"") + reason.toUtf8()
        + QByteArrayLiteral("\"}");
    return result;
}

void IdentityThrottle::log(TolvernLogLevel level, const QString &event, const TolvernLogFields &fields) const
{
    if (m_logger)
        m_logger(level, event, fields);
}

QCoro::Task<IdentityThrottle::SendResult> IdentityThrottle::run(QUrl url, QString method, Send send,
                                                                CancelToken cancel)
{
    const bool isIdempotent = method.toUpper() == QLatin1String("GET");

    if (const auto remaining = circuitOpenRemaining(); remaining && *remaining > 0) {
        log(TolvernLogLevel::warning, QStringLiteral("identity_throttle_circuit_open"),
            {{QStringLiteral("retry_after_s"), QString::number(qint64(*remaining))}});
        co_return shortCircuitResponse(url, 503, QStringLiteral("circuit_open"), *remaining);
    }
    if (!tryConsumeBudget()) {
        log(TolvernLogLevel::warning, QStringLiteral("identity_throttle_budget_exhausted"),
            {{QStringLiteral("limit_per_min"), QString::number(m_options.maxRequestsPerMinute)}});
        co_return shortCircuitResponse(url, 429, QStringLiteral("budget_exhausted"), 5.0);
    }

    for (int attempt = 0;; ++attempt) {
        cancel.throwIfCancelled();

        std::optional<SendResult> result;
        std::exception_ptr failure;
        bool cancelled = false;
        try {
            auto sending = send();
            result = co_await std::move(sending);
        } catch (const CancellationError &) {
            cancelled = true;
        } catch (...) {
            failure = std::current_exception();
        }
        if (cancelled)
            throw CancellationError();

        if (failure) {
            recordFailure();
            if (!isIdempotent || attempt >= m_options.maxRetries)
                std::rethrow_exception(failure);
            // A retry after a thrown error spends no budget.
            auto sleeping = m_sleep(backoff(attempt), cancel);
            co_await std::move(sleeping);
            cancel.throwIfCancelled();
            continue;
        }

        const int status = result->response.statusCode;
        if (status >= 200 && status <= 299) {
            m_consecutiveFailures = 0;
            m_circuitOpenUntil.reset();
            co_return std::move(*result);
        }
        if (status != 429 && status < 500)
            co_return std::move(*result);

        recordFailure();
        if (!isIdempotent || attempt >= m_options.maxRetries)
            co_return std::move(*result);
        const std::optional<double> serverDelay = retryAfter(result->response);
        const double delay = serverDelay ? *serverDelay : backoff(attempt);
        log(status == 429 ? TolvernLogLevel::warning : TolvernLogLevel::info,
            QStringLiteral("identity_throttle_server_backoff"),
            {{QStringLiteral("status"), QString::number(status)}, {QStringLiteral("attempt"), QString::number(attempt)}});
        auto sleeping = m_sleep(delay, cancel);
        co_await std::move(sleeping);
        if (!tryConsumeBudget())
            co_return std::move(*result);
        cancel.throwIfCancelled();
    }
}

bool IdentityThrottle::tryConsumeBudget()
{
    const QDateTime now = m_clock();
    const QDateTime cutoff = now.addSecs(-60);
    qsizetype keepFrom = 0;
    while (keepFrom < m_recentRequestTimes.size() && m_recentRequestTimes.at(keepFrom) < cutoff)
        ++keepFrom;
    m_recentRequestTimes.remove(0, keepFrom);
    if (m_recentRequestTimes.size() >= m_options.maxRequestsPerMinute)
        return false;
    m_recentRequestTimes.append(now);
    return true;
}

void IdentityThrottle::recordFailure()
{
    ++m_consecutiveFailures;
    if (m_consecutiveFailures >= m_options.circuitBreakerThreshold && !m_circuitOpenUntil) {
        m_circuitOpenUntil =
            m_clock().addMSecs(qint64(std::llround(m_options.circuitBreakerOpenDuration * 1000.0)));
        log(TolvernLogLevel::warning, QStringLiteral("identity_throttle_circuit_tripped"),
            {{QStringLiteral("failures"), QString::number(m_consecutiveFailures)}});
    }
}

std::optional<double> IdentityThrottle::circuitOpenRemaining()
{
    if (!m_circuitOpenUntil)
        return std::nullopt;
    const double remaining = double(m_clock().msecsTo(*m_circuitOpenUntil)) / 1000.0;
    if (remaining > 0)
        return remaining;
    // Half-open: one more failure trips it again at once, a success resets the count.
    m_circuitOpenUntil.reset();
    m_consecutiveFailures = m_options.circuitBreakerThreshold - 1;
    return 0.0;
}

double IdentityThrottle::backoff(int attempt) const
{
    const double base = m_options.backoffBase * std::pow(2.0, attempt);
    const double jitter = QRandomGenerator::global()->generateDouble() * base * 0.5;
    return std::min(m_options.maxBackoff, base + jitter);
}

namespace {
// The whole text as a number, C locale whatever the process's locale is.
std::optional<double> parseNumber(const QByteArray &text)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    if (text.isEmpty())
        return std::nullopt;
    char *end = nullptr;
    const double value = strtod_l(text.constData(), &end, cLocale);
    if (end != text.constData() + text.size())
        return std::nullopt;
    return value;
}

std::optional<QDateTime> httpDate(const QString &text)
{
    const QDateTime parsed =
        QLocale::c().toDateTime(text, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!parsed.isValid())
        return std::nullopt;
    return QDateTime(parsed.date(), parsed.time(), QTimeZone::utc());
}
} // namespace

std::optional<double> IdentityThrottle::retryAfter(const HTTPResponse &response) const
{
    const auto header = response.value(QByteArrayLiteral("Retry-After"));
    if (!header)
        return std::nullopt;
    const QByteArray text = header->trimmed();
    if (text.isEmpty())
        return std::nullopt;
    double seconds = 0;
    if (const auto number = parseNumber(text)) {
        // NaN says nothing about when to come back.
        if (std::isnan(*number))
            return std::nullopt;
        seconds = *number;
    } else if (const auto date = httpDate(QString::fromLatin1(text))) {
        seconds = double(m_clock().msecsTo(*date)) / 1000.0;
    } else {
        return std::nullopt;
    }
    return std::clamp(seconds, 0.0, m_options.maxBackoff);
}
