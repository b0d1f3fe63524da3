#include "ErrorFirehoseClient.h"

#include "ErrorFirehoseBatch.h"
#include "ErrorFirehoseNormalizer.h"
#include "ErrorFirehoseURL.h"
#include "ErrorTelemetryConsent.h"

#include <QCoreApplication>
#include <QCoro/QCoroNetworkReply>
#include <QCoro/QCoroTimer>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QThread>
#include <QVersionNumber>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

namespace {
QString systemVersion()
{
    const QVersionNumber version = QVersionNumber::fromString(QSysInfo::kernelVersion());
    return QStringLiteral("%1.%2.%3").arg(version.majorVersion()).arg(version.minorVersion()).arg(version.microVersion());
}

std::optional<int> truncatedUptime(std::optional<int> seconds)
{
    if (!seconds)
        return std::nullopt;
    return *seconds / 30 * 30;
}

QCoro::Task<void> sleepMs(qint64 ms)
{
    // An interrupted wait counts as a completed one: nothing to check afterwards.
    co_await QCoro::sleepFor(std::chrono::milliseconds(std::max<qint64>(0, ms)));
}
} // namespace

ErrorFirehoseClient &ErrorFirehoseClient::shared()
{
    // Lives as long as the process: the flush loop and log calls may outlast main().
    static ErrorFirehoseClient *client = [] {
        auto *made = new ErrorFirehoseClient([] { return QDateTime::currentDateTimeUtc(); }, 1.0);
        // The first log line may come from any thread; the loop and the network
        // belong to the application's.
        if (QCoreApplication *app = QCoreApplication::instance(); app && made->thread() != app->thread())
            made->moveToThread(app->thread());
        return made;
    }();
    return *client;
}

ErrorFirehoseClient::ErrorFirehoseClient(Clock clock, double timeScale, QObject *parent)
    : QObject(parent)
    , m_clock(std::move(clock))
    , m_timeScale(timeScale)
    , m_osVersion(systemVersion())
    , m_identityURL(QStringLiteral("https://id.tolvern.dev"))
{
    m_windowStart = now();
}

ErrorFirehoseClient::~ErrorFirehoseClient() = default;

QDateTime ErrorFirehoseClient::now() const
{
    return m_clock();
}

qint64 ErrorFirehoseClient::scaledMs(double seconds) const
{
    return qint64(std::llround(seconds * m_timeScale * 1000.0));
}

void ErrorFirehoseClient::configure(const QString &appSlug, const std::optional<QString> &platform,
                                    const QString &appVersion, const std::optional<QString> &osVersion,
                                    const QString &installId, const QUrl &identityURL, QNetworkAccessManager *network)
{
    const QString token = ErrorFirehoseNormalizer::computeDailyToken(installId, now().toUTC().date());
    QMutexLocker locker(&m_lock);
    m_appSlug = appSlug;
    if (platform)
        m_platform = *platform;
    m_appVersion = appVersion;
    if (osVersion)
        m_osVersion = *osVersion;
    m_installId = installId;
    m_dailyToken = token;
    m_identityURL = identityURL;
    m_network = network;
}

void ErrorFirehoseClient::updateContext(bool signedIn, bool online, std::optional<int> sessionUptimeSeconds)
{
    QMutexLocker locker(&m_lock);
    m_signedIn = signedIn;
    m_online = online;
    m_sessionUptimeSeconds = truncatedUptime(sessionUptimeSeconds);
}

void ErrorFirehoseClient::start()
{
    {
        QMutexLocker locker(&m_lock);
        if (m_isStarted)
            return;
        m_isStarted = true;
    }
    flushLoop(QPointer<ErrorFirehoseClient>(this));
}

void ErrorFirehoseClient::observe(const QString &severity, const QString &category, const QString &message,
                                  const std::type_info *errorType, const std::optional<QString> &specId,
                                  const std::optional<QStringList> &topFrames,
                                  const std::optional<QList<BreadcrumbEntry>> &breadcrumbs)
{
    if (!ErrorTelemetryConsent::isEnabled())
        return;
    const QDateTime at = now();
    std::optional<QString> exceptionType;
    if (errorType)
        exceptionType = ErrorFirehoseNormalizer::typeName(*errorType);
    const QString messageTemplate = ErrorFirehoseNormalizer::normalizeMessage(message, exceptionType);
    std::optional<QString> digest;
    if (topFrames)
        digest = ErrorFirehoseNormalizer::computeFrameDigest(*topFrames);
    QString appSlug;
    QString platform;
    {
        QMutexLocker locker(&m_lock);
        appSlug = m_appSlug;
        platform = m_platform;
    }
    const QString fp = ErrorFirehoseNormalizer::fingerprint(appSlug, platform, severity, category, messageTemplate, digest);
    // Breadcrumbs are the caller's texts: they get the same scrubbing as messages.
    std::optional<QList<BreadcrumbEntry>> crumbs;
    if (breadcrumbs) {
        crumbs.emplace();
        for (const BreadcrumbEntry &crumb : breadcrumbs->mid(0, 10))
            crumbs->append({crumb.ts, crumb.level, ErrorFirehoseNormalizer::scrub(crumb.category),
                            ErrorFirehoseNormalizer::scrub(crumb.msg)});
    }

    QMutexLocker locker(&m_lock);
    auto breaker = m_breakers.find(fp);
    if (breaker != m_breakers.end() && breaker->silencedUntil && *breaker->silencedUntil > at)
        return;
    BreakerState state = breaker != m_breakers.end() ? *breaker : BreakerState{0, at, std::nullopt};
    if (state.windowStart.msecsTo(at) > scaledMs(circuitBreakerWindowSeconds)) {
        state.countInWindow = 0;
        state.windowStart = at;
    }
    ++state.countInWindow;
    if (state.countInWindow > circuitBreakerThreshold) {
        state.silencedUntil = at.addMSecs(scaledMs(circuitBreakerSilenceSeconds));
        m_breakers.insert(fp, state);
        if (m_buffer.contains(fp))
            enqueueLocked(drainLocked());
        return;
    }
    m_breakers.insert(fp, state);

    if (m_windowStart.msecsTo(at) > scaledMs(coalescingWindowSeconds)) {
        enqueueLocked(drainLocked());
        m_windowStart = at;
    }

    auto existing = m_buffer.find(fp);
    if (existing != m_buffer.end()) {
        ++existing->count;
        existing->lastSeen = at;
        existing->signedIn = m_signedIn;
        existing->online = m_online;
        existing->sessionUptimeSeconds = truncatedUptime(m_sessionUptimeSeconds);
        if (crumbs)
            existing->breadcrumbs = crumbs;
    } else {
        ErrorFirehoseEntry entry;
        entry.fingerprint = fp;
        entry.severity = severity;
        entry.category = category;
        entry.specId = specId;
        entry.messageTemplate = messageTemplate.left(256);
        entry.exceptionType = exceptionType;
        if (topFrames)
            entry.topFrames = topFrames->mid(0, 3);
        entry.frameDigest = digest;
        entry.count = 1;
        entry.firstSeen = at;
        entry.lastSeen = at;
        entry.signedIn = m_signedIn;
        entry.online = m_online;
        entry.sessionUptimeSeconds = truncatedUptime(m_sessionUptimeSeconds);
        entry.breadcrumbs = crumbs;
        m_buffer.insert(fp, entry);
        m_bufferOrder.append(fp);
    }

    if (m_buffer.size() >= maxBatchSize) {
        enqueueLocked(drainLocked());
        m_windowStart = at;
    }
}

void ErrorFirehoseClient::observeFromFacade(TolvernLogLevel level, const QString &event,
                                            const TolvernLogFields &fields, const std::optional<QString> &specId)
{
    QString severity;
    if (level == TolvernLogLevel::warning)
        severity = QStringLiteral("warn");
    else if (level == TolvernLogLevel::error)
        severity = QStringLiteral("error");
    else
        return;
    // QMap iterates in ascending key order already.
    QStringList pairs;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        pairs.append(it.key() + u'=' + it.value());
    const QString text = pairs.join(u' ');
    const QString message = text.isEmpty() ? event : event + QStringLiteral(": ") + text;
    const QString category = fields.contains(QStringLiteral("class")) ? fields.value(QStringLiteral("class"))
        : fields.contains(QStringLiteral("category"))                  ? fields.value(QStringLiteral("category"))
                                                                       : QStringLiteral("auth");
    observe(severity, category, message, nullptr, specId);
}

QList<ErrorFirehoseEntry> ErrorFirehoseClient::drainLocked()
{
    QList<ErrorFirehoseEntry> drained;
    drained.reserve(m_bufferOrder.size());
    for (const QString &fp : std::as_const(m_bufferOrder))
        drained.append(m_buffer.value(fp));
    m_buffer.clear();
    m_bufferOrder.clear();
    return drained;
}

void ErrorFirehoseClient::enqueueLocked(const QList<ErrorFirehoseEntry> &entries)
{
    if (entries.isEmpty())
        return;
    if (m_pendingBatches.size() >= maxPendingBatches)
        m_pendingBatches.removeFirst();
    for (qsizetype at = 0; at < entries.size(); at += maxBatchSize) {
        if (m_pendingBatches.size() < maxPendingBatches)
            m_pendingBatches.append(entries.mid(at, maxBatchSize));
    }
}

void ErrorFirehoseClient::dropHeld()
{
    QMutexLocker locker(&m_lock);
    m_buffer.clear();
    m_bufferOrder.clear();
    m_pendingBatches.clear();
}

void ErrorFirehoseClient::flushNow()
{
    {
        QMutexLocker locker(&m_lock);
        const QList<ErrorFirehoseEntry> drained = drainLocked();
        m_windowStart = now();
        enqueueLocked(drained);
    }
    sendPending(QPointer<ErrorFirehoseClient>(this));
    Q_EMIT flushed();
}

QCoro::Task<void> ErrorFirehoseClient::flushLoop(QPointer<ErrorFirehoseClient> client)
{
    if (!client)
        co_return;
    const qint64 interval = client->scaledMs(flushIntervalSeconds);
    for (;;) {
        co_await sleepMs(interval);
        if (!client)
            co_return;
        client->flushNow();
    }
}

QCoro::Task<void> ErrorFirehoseClient::sendPending(QPointer<ErrorFirehoseClient> client)
{
    while (client) {
        // Nothing leaves before the user chose or the region is known, and what was
        // held goes once consent turns out off.
        if (!ErrorTelemetryConsent::isSettled())
            co_return;
        if (!ErrorTelemetryConsent::isEnabled()) {
            client->dropHeld();
            co_return;
        }
        Delivery delivery;
        {
            QMutexLocker locker(&client->m_lock);
            if (client->m_pendingBatches.isEmpty())
                co_return;
            delivery.entries = client->m_pendingBatches.takeFirst();
            client->m_dailyToken =
                ErrorFirehoseNormalizer::computeDailyToken(client->m_installId, client->now().toUTC().date());
            if (!client->m_network) {
                if (!client->m_ownNetwork)
                    client->m_ownNetwork = new QNetworkAccessManager(client);
                client->m_network = client->m_ownNetwork;
            }
            delivery.context = {client->m_appSlug,   client->m_platform,    client->m_appVersion, client->m_osVersion,
                                client->m_dailyToken, client->m_identityURL, client->m_network};
            delivery.timeScale = client->m_timeScale;
            delivery.waitObserver = client->m_waitObserver;
        }
        QStringList eventIds;
        for (qsizetype i = 0; i < delivery.entries.size(); ++i)
            eventIds.append(ErrorFirehoseBatch::newIdentifier());
        const QList<ErrorFirehoseEntry> entries = delivery.entries;
        const bool finished = co_await deliver(std::move(delivery), ErrorFirehoseBatch::newIdentifier(), eventIds);
        if (!client)
            co_return;
        if (!finished) {
            QMutexLocker locker(&client->m_lock);
            if (client->m_pendingBatches.size() < maxPendingBatches)
                client->m_pendingBatches.prepend(entries);
        }
        Q_EMIT client->deliveryEnded(finished);
        if (!finished)
            co_return;
    }
}

QCoro::Task<bool> ErrorFirehoseClient::deliver(Delivery delivery, QString batchId, QStringList eventIds)
{
    const QByteArray body = ErrorFirehoseBatch::encode(delivery.entries, delivery.context, batchId, eventIds);
    if (body.size() > ErrorFirehoseBatch::maxBodyBytes)
        co_return true;
    QNetworkRequest request(ErrorFirehoseURL::appendingPath(delivery.context.identityURL, QStringLiteral("api/error-events")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setTransferTimeout(60000);
    for (int retry = 0;; ++retry) {
        // A switch-off while retrying ends the delivery: the batch is not sent.
        if (!ErrorTelemetryConsent::isEnabled())
            co_return true;
        if (!delivery.context.network)
            co_return false;
        std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(
            delivery.context.network->post(request, body), [](QNetworkReply *r) { r->deleteLater(); });
        co_await qCoro(reply.get()).waitForFinished();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        reply.reset();
        if (status.isValid()) {
            const int code = status.toInt();
            // Any 2xx was accepted: sending it again would count it again.
            if ((code >= 200 && code < 300) || code == 400 || code == 413)
                co_return true;
        }
        if (retry >= 3)
            co_return false;
        const double jitter = QRandomGenerator::global()->bounded(2 * backoffJitter + 1e-9) - backoffJitter;
        const double wait = std::max(1.0, backoffSeconds[retry] + std::clamp(jitter, -backoffJitter, backoffJitter));
        if (delivery.waitObserver)
            delivery.waitObserver(wait);
        co_await sleepMs(qint64(std::llround(wait * delivery.timeScale * 1000.0)));
    }
}

ErrorFirehoseClient::State ErrorFirehoseClient::state() const
{
    QMutexLocker locker(&m_lock);
    State state;
    for (const QString &fp : m_bufferOrder)
        state.buffer.append(m_buffer.value(fp));
    state.pendingBatches = m_pendingBatches;
    state.circuitBreakers = int(m_breakers.size());
    state.windowStart = m_windowStart;
    state.dailyToken = m_dailyToken;
    state.isStarted = m_isStarted;
    return state;
}

void ErrorFirehoseClient::setRetryWaitObserver(RetryWaitObserver observer)
{
    QMutexLocker locker(&m_lock);
    m_waitObserver = std::move(observer);
}
