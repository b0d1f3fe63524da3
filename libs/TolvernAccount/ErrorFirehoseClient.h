#pragma once

#include "BreadcrumbEntry.h"
#include "ErrorFirehoseContext.h"
#include "ErrorFirehoseEntry.h"
#include "TolvernLogLevel.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>
#include <typeinfo>

// Anonymous error telemetry: folds repeats of a signal into one counted entry per
// fingerprint over a window, silences runaway fingerprints, and delivers the entries
// in batches to the identity service's "api/error-events" from a flush loop. Records
// nothing while consent is off and sends nothing until consent is settled.
// observe() runs on any thread; the flush loop and senders run on the client's
// thread (the GUI thread for shared()).
class ErrorFirehoseClient : public QObject
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    // Sees the chosen wait (in unscaled seconds) before each retry.
    using RetryWaitObserver = std::function<void(double seconds)>;

    static constexpr double coalescingWindowSeconds = 60;
    static constexpr int maxBatchSize = 50;
    static constexpr int circuitBreakerThreshold = 100;
    static constexpr double circuitBreakerWindowSeconds = 10;
    static constexpr double circuitBreakerSilenceSeconds = 300;
    static constexpr int maxPendingBatches = 10;
    static constexpr double flushIntervalSeconds = 60;
    static constexpr double backoffSeconds[3] = {30, 60, 120};
    static constexpr double backoffJitter = 10;

    // The one client of the process, living on the application's thread.
    static ErrorFirehoseClient &shared();

    // Tests: "now" comes from `clock`, and the tick, the windows, the breaker's
    // silence and the retry waits are all multiplied by `timeScale`.
    ErrorFirehoseClient(Clock clock, double timeScale, QObject *parent = nullptr);
    ~ErrorFirehoseClient() override;

    // `network` must live on this client's thread; nullptr keeps one of the client's own.
    void configure(const QString &appSlug, const std::optional<QString> &platform, const QString &appVersion,
                   const std::optional<QString> &osVersion, const QString &installId, const QUrl &identityURL,
                   QNetworkAccessManager *network);
    void updateContext(bool signedIn, bool online, std::optional<int> sessionUptimeSeconds);
    // Launches the flush loop once; later calls do nothing. Call on the client's thread.
    void start();

    // Never blocks on the network and never fails.
    void observe(const QString &severity, const QString &category, const QString &message,
                 const std::type_info *errorType = nullptr, const std::optional<QString> &specId = std::nullopt,
                 const std::optional<QStringList> &topFrames = std::nullopt,
                 const std::optional<QList<BreadcrumbEntry>> &breadcrumbs = std::nullopt);
    // One log event as one signal: warnings and errors only.
    void observeFromFacade(TolvernLogLevel level, const QString &event, const TolvernLogFields &fields,
                           const std::optional<QString> &specId = std::nullopt);

    // What a test may look at.
    struct State {
        QList<ErrorFirehoseEntry> buffer;
        QList<QList<ErrorFirehoseEntry>> pendingBatches;
        int circuitBreakers = 0;
        QDateTime windowStart;
        QString dailyToken;
        bool isStarted = false;
    };
    State state() const;
    void setRetryWaitObserver(RetryWaitObserver observer);
    // One flush tick at once: drain, enqueue, launch a sender.
    void flushNow();

Q_SIGNALS:
    // After each tick has drained the buffer and launched its sender.
    void flushed();
    // After each delivery: true when finished with the batch, false when it goes back.
    void deliveryEnded(bool finished);

private:
    struct BreakerState {
        int countInWindow = 0;
        QDateTime windowStart;
        std::optional<QDateTime> silencedUntil;
    };
    struct Delivery {
        QList<ErrorFirehoseEntry> entries;
        ErrorFirehoseContext context;
        double timeScale = 1;
        RetryWaitObserver waitObserver;
    };

    QDateTime now() const;
    qint64 scaledMs(double seconds) const;
    // Under m_lock.
    QList<ErrorFirehoseEntry> drainLocked();
    void enqueueLocked(const QList<ErrorFirehoseEntry> &entries);
    void dropHeld();

    static QCoro::Task<void> flushLoop(QPointer<ErrorFirehoseClient> client);
    static QCoro::Task<void> sendPending(QPointer<ErrorFirehoseClient> client);
    // True when finished with the batch (sent, refused or dropped), false when it
    // still failed after its last retry.
    static QCoro::Task<bool> deliver(Delivery delivery, QString batchId, QStringList eventIds);

    Clock m_clock;
    double m_timeScale = 1;

    mutable QMutex m_lock;
    QString m_appSlug = QStringLiteral("unknown");
    QString m_platform = QStringLiteral("linux");
    QString m_appVersion = QStringLiteral("0.0.0");
    QString m_osVersion;
    QString m_installId;
    QString m_dailyToken;
    QPointer<QNetworkAccessManager> m_network;
    QUrl m_identityURL;
    // Insertion order, so a drain keeps the order signals first arrived in.
    QList<QString> m_bufferOrder;
    QHash<QString, ErrorFirehoseEntry> m_buffer;
    QHash<QString, BreakerState> m_breakers;
    QDateTime m_windowStart;
    QList<QList<ErrorFirehoseEntry>> m_pendingBatches;
    bool m_isStarted = false;
    bool m_signedIn = false;
    bool m_online = true;
    std::optional<int> m_sessionUptimeSeconds;
    RetryWaitObserver m_waitObserver;
    // Only touched on the client's thread.
    QNetworkAccessManager *m_ownNetwork = nullptr;
};
