#pragma once

#include "ServerPandocFormat.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <qcorotask.h>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QObject;

// Converts Markdown through the export service of the signed-in account: one POST
// with the session's bearer token, the reply stored in the private temp folder.
// Only static operations; the account work fills the session provider at start-up.
class ServerPandocExporter
{
public:
    struct Error {
        enum class Kind { Server, NotSignedIn, Generic, WriteFailed };
        Kind kind = Kind::Generic;
        // The server's message (Server) or the system's reason (WriteFailed).
        QString message;

        QString description() const;
    };
    // The temporary file's path, or the error.
    struct Result {
        QString file;
        std::optional<Error> error;
    };
    using Completion = std::function<void(const Result &result)>;
    // The signed-in account's session token; none while signed out.
    using SessionProvider = std::function<std::optional<QString>()>;

    static void setSessionProvider(SessionProvider provider);
    // The session token renewed first when it is about to expire; when set it is
    // asked instead of the session provider.
    using FreshSessionProvider = std::function<QCoro::Task<std::optional<QString>>()>;
    static void setFreshSessionProvider(FreshSessionProvider provider);

    // Starts the conversion; the completion runs later on the GUI thread, unless
    // `context` went first. Without a session nothing is sent.
    static void exportDocument(const QString &markdown, ServerPandocFormat format, const QString &displayName,
                               QNetworkAccessManager &network, QObject *context, Completion completion);

    // The built-in https service, or SORVANE_EXPORT_URL when it is https or http to
    // this computer; taken on first use.
    static QUrl endpoint();
    // The endpoint on this base URL, or on the built-in one when the override is
    // empty or refused.
    static QUrl endpointFor(const QString &override);
    // 60 s; tests shorten it.
    static void setTimeoutMs(int ms);

    // The file name of a Content-Disposition value, or none.
    static std::optional<QString> parseFilename(const QString &header);
    static QString sanitizedBaseName(const QString &name);
    // The document's name with the server's extension, or the format's.
    static QString suggestedFilename(const std::optional<QString> &contentDisposition, const QString &displayName,
                                     ServerPandocFormat format);
    // The "error" or else "message" text of a JSON object reply.
    static std::optional<QString> errorMessage(const QByteArray &data);
};
