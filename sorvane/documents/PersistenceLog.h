#pragma once

#include "diagnostics/DiagnosticLogBuffer.h"

#include <QString>

#include <functional>
#include <optional>

// Where the session and recovery stores send their log lines. The default goes to the
// process-wide diagnostic log; tests pass their own to read the lines back.
using PersistenceLog = std::function<void(DiagnosticLogBuffer::Level level, const QString &category,
                                          const QString &message, const std::optional<LoggedError> &error)>;

inline PersistenceLog diagnosticPersistenceLog()
{
    return [](DiagnosticLogBuffer::Level level, const QString &category, const QString &message,
              const std::optional<LoggedError> &error) {
        DiagnosticLogBuffer::shared().add(level, category, message, error);
    };
}
