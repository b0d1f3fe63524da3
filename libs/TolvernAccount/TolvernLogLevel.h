#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

enum class TolvernLogLevel { debug, info, warning, error };

namespace TolvernLogLevels {
QString rawValue(TolvernLogLevel level);
// Exact and case-sensitive.
std::optional<TolvernLogLevel> fromRawValue(const QString &raw);
QList<TolvernLogLevel> allCases();
} // namespace TolvernLogLevels

// The string fields of one log event (snake_case keys, plain-text values).
using TolvernLogFields = QMap<QString, QString>;

// The host's log hook: level, snake_case event name, fields. The library calls it
// from whichever thread raises the event, so it must be safe to call concurrently.
using TolvernLogger = std::function<void(TolvernLogLevel level, const QString &event, const TolvernLogFields &fields)>;
