#include "DiagnosticUploader.h"

#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QMutex>
#include <QMutexLocker>

#include <algorithm>

namespace {

QMutex handlerMutex;
std::function<void(const QString &, int)> autoUploadHandler;

} // namespace

std::optional<QString> DiagnosticError::description() const
{
    switch (kind) {
    case Kind::Server:
        return serverMessage;
    case Kind::NotSignedIn:
        return QStringLiteral("Sign in to sorv.ane before sending a report.");
    case Kind::Unavailable:
        return QStringLiteral("Diagnostics are temporarily unavailable. Please try again.");
    case Kind::MalformedResponse:
        return QStringLiteral("The diagnostics server returned an unexpected response.");
    case Kind::PayloadTooLarge:
        return QStringLiteral("Diagnostic report exceeded the size limit. Please try again.");
    case Kind::Busy:
        return QStringLiteral("A diagnostic report is already being sent.");
    case Kind::ServerUnknown:
        return std::nullopt;
    }
    return std::nullopt;
}

LoggedError DiagnosticError::toLoggedError() const
{
    return {QStringLiteral("DiagnosticError"), description().value_or(QString())};
}

DiagnosticUploader &DiagnosticUploader::shared()
{
    static DiagnosticUploader instance;
    return instance;
}

void DiagnosticUploader::noteSaveFailure()
{
    const QString &key = SettingsKeys::recentSaveFailures;
    Settings &settings = Settings::shared();
    const qint64 stored = settings.intValue(key, 0);
    const qint64 count = stored >= maxRecentSaveFailures ? maxRecentSaveFailures : std::max<qint64>(stored, 0) + 1;
    settings.setValue(key, count);
    DiagnosticLogBuffer::shared().add(DiagnosticLogBuffer::Level::Warn, QStringLiteral("save"),
                                      QStringLiteral("Document save failed (count=%1)").arg(count));
}

void DiagnosticUploader::uploadAuto(const QString &reason, int openDocumentCount)
{
    std::function<void(const QString &, int)> handler;
    {
        QMutexLocker locker(&handlerMutex);
        handler = autoUploadHandler;
    }
    if (handler)
        handler(reason, openDocumentCount);
}

void DiagnosticUploader::setAutoUploadHandler(std::function<void(const QString &, int)> handler)
{
    QMutexLocker locker(&handlerMutex);
    autoUploadHandler = std::move(handler);
}
