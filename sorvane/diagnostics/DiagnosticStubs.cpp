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

DiagnosticUploader &DiagnosticUploader::shared()
{
    static DiagnosticUploader uploader;
    return uploader;
}

void DiagnosticUploader::uploadAuto(const QString &reason, int openDocumentCount)
{
    if (m_autoUploadHandler)
        m_autoUploadHandler(reason, openDocumentCount);
}

void DiagnosticUploader::setAutoUploadHandler(std::function<void(const QString &, int)> handler)
{
    m_autoUploadHandler = std::move(handler);
}
