#pragma once

#include <QString>

#include <functional>

// Diagnostic reports and the count of recent save failures.
class DiagnosticUploader
{
public:
    // The process-wide report sender.
    static DiagnosticUploader &shared();

    // Adds one to "sorvane.recentSaveFailures" (at most 1000) and logs a warning.
    static void noteSaveFailure();

    // Asks for an automatic report; it is sent only when the report rules allow it.
    // Never blocks, never fails towards the caller.
    void uploadAuto(const QString &reason, int openDocumentCount);

    // Replaces what uploadAuto does (tests observe the requests); empty restores it.
    void setAutoUploadHandler(std::function<void(const QString &, int)> handler);

private:
    std::function<void(const QString &, int)> m_autoUploadHandler;
};
