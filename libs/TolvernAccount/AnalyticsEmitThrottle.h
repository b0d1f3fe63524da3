#pragma once

#include <QDateTime>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <functional>

// How an AnalyticsEmitThrottle coalesces repeats and caps the rate.
struct AnalyticsEmitThrottleOptions {
    // Seconds between two sends of one coalescing key.
    double coalesceWindow = 60;
    // Size of the token budget, which starts full.
    double budgetMax = 200;
    // Seconds per regained token.
    double budgetRefill = 0.3;
    // Event properties whose values split the coalescing key, in this order.
    QStringList coalesceDiscriminators = productionDiscriminators();
    // Events that always pass, spending nothing.
    QSet<QString> neverDropEvents = productionNeverDropEvents();

    static QStringList productionDiscriminators();
    static QSet<QString> productionNeverDropEvents();
    // The preset the application's analytics uses.
    static AnalyticsEmitThrottleOptions production() { return {}; }
};

// Decides, event by event, whether a usage event may be sent now: the same event
// with the same distinguishing properties goes out at most once per window, and a
// refilling token budget caps the overall rate. One instance is shared by every
// thread that sends events.
class AnalyticsEmitThrottle
{
public:
    using Clock = std::function<QDateTime()>;

    // An empty clock reads the current time.
    explicit AnalyticsEmitThrottle(AnalyticsEmitThrottleOptions options = AnalyticsEmitThrottleOptions::production(),
                                   Clock clock = {});

    // True when `event` (its own name, before any prefix the service adds) may be
    // sent now. A true answer is already counted: send the event or lose it.
    bool allowEmit(const QString &event, const QVariantMap &properties = {});

    // The key that repeats of `event` share under `options`.
    static QString coalescingKey(const QString &event, const QVariantMap &properties,
                                 const AnalyticsEmitThrottleOptions &options);
    // A property value as it enters a coalescing key: text as it is, Booleans as
    // "true"/"false", integers in decimal, doubles in their shortest form keeping
    // ".0", anything else its textual description.
    static QString keyText(const QVariant &value);

    const AnalyticsEmitThrottleOptions &options() const { return m_options; }
    // Keys with a recorded send, pruned only once more than 256 have gathered.
    qsizetype recordedKeyCount() const;

private:
    const AnalyticsEmitThrottleOptions m_options;
    const Clock m_clock;
    mutable QMutex m_lock;
    QHash<QString, QDateTime> m_lastEmitByKey;
    double m_budgetTokens;
    QDateTime m_budgetLastRefill;
};
