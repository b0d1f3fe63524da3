#pragma once

#include "DiagnosticLogBuffer.h"

#include <QString>

#include <functional>
#include <optional>

// The uploader's errors, as the settings window and the log show them.
struct DiagnosticError {
    enum class Kind { Server, NotSignedIn, Unavailable, MalformedResponse, PayloadTooLarge, Busy, ServerUnknown };

    Kind kind = Kind::ServerUnknown;
    QString serverMessage; // only for Kind::Server

    static DiagnosticError server(const QString &message) { return {Kind::Server, message}; }
    static DiagnosticError of(Kind kind) { return {kind, QString()}; }

    // The user-facing text; none for ServerUnknown.
    std::optional<QString> description() const;
    // The error as the diagnostic log records it.
    LoggedError toLoggedError() const;

    bool operator==(const DiagnosticError &other) const = default;
};

// Diagnostic reports and the count of recent save failures. Automatic reports go
// through an installable handler until the report upload itself exists.
class DiagnosticUploader
{
public:
    static DiagnosticUploader &shared();

    // Adds one to "sorvane.recentSaveFailures" (at most 1000) and logs a warning.
    static void noteSaveFailure();

    // Asks for an automatic report; returns at once and never fails.
    void uploadAuto(const QString &reason, int openDocumentCount);

    // What uploadAuto hands its request to; nullptr: automatic reports do nothing.
    static void setAutoUploadHandler(std::function<void(const QString &reason, int openDocumentCount)> handler);

    static constexpr int maxRecentSaveFailures = 1000;

private:
    DiagnosticUploader() = default;
};
