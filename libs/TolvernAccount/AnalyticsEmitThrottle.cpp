#include "AnalyticsEmitThrottle.h"

#include <QDebug>
#include <QMutexLocker>

#include <charconv>
#include <cmath>
#include <string>

namespace {

constexpr qsizetype pruneThreshold = 257;

double secondsBetween(const QDateTime &from, const QDateTime &to)
{
    return double(from.msecsTo(to)) / 1000.0;
}

// The shortest text that reads back as `value`: plain decimal with at least one
// fraction digit from 1e-4 up to 2^54, exponent form beyond ("1e+17", "1e-05").
QString shortestDecimal(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific).ptr;
    const std::string scientific(buffer, end);
    const double magnitude = std::fabs(value);
    const auto e = scientific.find('e');
    const int exponent = std::stoi(scientific.substr(e + 1));
    if (magnitude != 0 && (exponent < -4 || magnitude > 0x1p54))
        return QString::fromStdString(scientific);

    const bool negative = scientific.front() == '-';
    std::string digits = scientific.substr(negative ? 1 : 0, e - (negative ? 1 : 0));
    std::erase(digits, '.');
    std::string text;
    if (exponent >= 0) {
        const auto whole = size_t(exponent) + 1;
        if (digits.size() < whole)
            digits.append(whole - digits.size(), '0');
        text = digits.substr(0, whole) + '.' + (digits.size() > whole ? digits.substr(whole) : std::string("0"));
    } else {
        text = "0." + std::string(size_t(-exponent - 1), '0') + digits;
    }
    return QString::fromStdString((negative ? "-" : "") + text);
}

} // namespace

QStringList AnalyticsEmitThrottleOptions::productionDiscriminators()
{
    // "on", "enabled" and "format" carry the new state of a switch or the chosen
    // format: a change of them is no repeat.
    return {QStringLiteral("slot"),   QStringLiteral("source"), QStringLiteral("surface"), QStringLiteral("variant"),
            QStringLiteral("reason"), QStringLiteral("step"),   QStringLiteral("plan"),    QStringLiteral("on"),
            QStringLiteral("enabled"), QStringLiteral("format")};
}

QSet<QString> AnalyticsEmitThrottleOptions::productionNeverDropEvents()
{
    return {QStringLiteral("auth_completed")};
}

AnalyticsEmitThrottle::AnalyticsEmitThrottle(AnalyticsEmitThrottleOptions options, Clock clock)
    : m_options(std::move(options))
    , m_clock(clock ? std::move(clock) : Clock([] { return QDateTime::currentDateTimeUtc(); }))
    , m_budgetTokens(m_options.budgetMax)
    , m_budgetLastRefill(m_clock())
{
}

QString AnalyticsEmitThrottle::keyText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::SChar:
        return QString::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return QString::number(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return shortestDecimal(value.toDouble());
    default:
        break;
    }
    if (value.canConvert<QString>()) {
        const QString text = value.toString();
        if (!text.isEmpty() || value.typeId() == QMetaType::QByteArray)
            return text;
    }
    QString description;
    QDebug stream(&description);
    stream.nospace().noquote();
    if (QMetaType type = value.metaType(); !type.debugStream(stream, value.constData()))
        stream << value.typeName();
    return description;
}

QString AnalyticsEmitThrottle::coalescingKey(const QString &event, const QVariantMap &properties,
                                             const AnalyticsEmitThrottleOptions &options)
{
    QString key = event;
    for (const QString &name : options.coalesceDiscriminators) {
        const auto found = properties.constFind(name);
        if (found != properties.constEnd())
            key += QLatin1Char('|') + name + QLatin1Char('=') + keyText(found.value());
    }
    return key;
}

bool AnalyticsEmitThrottle::allowEmit(const QString &event, const QVariantMap &properties)
{
    if (event.startsWith(QLatin1Char('$')) || m_options.neverDropEvents.contains(event))
        return true;
    const QString key = coalescingKey(event, properties, m_options);

    QMutexLocker locker(&m_lock);
    const QDateTime now = m_clock();
    const double elapsed = secondsBetween(m_budgetLastRefill, now);
    // A clock that went back refills nothing.
    if (elapsed > 0 && m_options.budgetRefill > 0) {
        m_budgetTokens = std::min(m_budgetTokens + elapsed / m_options.budgetRefill, m_options.budgetMax);
        m_budgetLastRefill = now;
    }
    const auto last = m_lastEmitByKey.constFind(key);
    // A send recorded in the future is still inside the window.
    if (last != m_lastEmitByKey.constEnd() && secondsBetween(last.value(), now) < m_options.coalesceWindow)
        return false;
    if (m_budgetTokens < 1)
        return false;
    m_budgetTokens -= 1;
    m_lastEmitByKey.insert(key, now);
    if (m_lastEmitByKey.size() >= pruneThreshold) {
        m_lastEmitByKey.removeIf([&](const QHash<QString, QDateTime>::iterator it) {
            return secondsBetween(it.value(), now) >= m_options.coalesceWindow;
        });
    }
    return true;
}

qsizetype AnalyticsEmitThrottle::recordedKeyCount() const
{
    QMutexLocker locker(&m_lock);
    return m_lastEmitByKey.size();
}
