// Placeholder until the diagnostic log lands.
#include "DiagnosticLogBuffer.h"
#include "DiagnosticUploader.h"

DiagnosticLogBuffer &DiagnosticLogBuffer::shared()
{
    static DiagnosticLogBuffer buffer;
    return buffer;
}

void DiagnosticLogBuffer::add(Level, const QString &, const QString &, const std::optional<LoggedError> &) {}

void DiagnosticUploader::noteSaveFailure() {}
