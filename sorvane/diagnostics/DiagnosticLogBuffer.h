#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <functional>
#include <optional>

// An error that comes with a log message: its type name and its description.
struct LoggedError {
    QString typeName;
    QString description;
};

// One entry of the diagnostic log; every text but the category is already redacted.
struct DiagnosticLogEntry {
    QString ts;
    QString level;
    QString category;
    QString msg;
    std::optional<QString> exceptionType;
    std::optional<QString> exceptionMessage;
};

// The process-wide diagnostic log: redacts each message, keeps the newest entries in
// memory, mirrors them to the system log and appends them to sorvane.log.
class DiagnosticLogBuffer
{
public:
    enum class Level { Debug, Info, Warn, Error };

    static DiagnosticLogBuffer &shared();

    void add(Level level, const QString &category, const QString &message,
             const std::optional<LoggedError> &error = std::nullopt);
};
