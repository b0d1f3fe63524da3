#pragma once

// Diagnostic reports and the count of recent save failures.
class DiagnosticUploader
{
public:
    // Adds one to "sorvane.recentSaveFailures" (at most 1000) and logs a warning.
    static void noteSaveFailure();
};
