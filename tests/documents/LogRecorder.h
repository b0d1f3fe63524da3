#pragma once

#include "documents/PersistenceLog.h"

#include <QList>
#include <QString>

// Collects what a store logs, so a test can check the exact lines.
struct LogRecorder {
    struct Line {
        DiagnosticLogBuffer::Level level;
        QString category;
        QString message;
        bool hasError;
    };
    QList<Line> lines;

    PersistenceLog sink()
    {
        return [this](DiagnosticLogBuffer::Level level, const QString &category, const QString &message,
                      const std::optional<LoggedError> &error) {
            lines.append({level, category, message, error.has_value() && !error->description.isEmpty()});
        };
    }

    // The lines with this message.
    QList<Line> withMessage(const QString &message) const
    {
        QList<Line> found;
        for (const Line &line : lines)
            if (line.message == message)
                found.append(line);
        return found;
    }
};
