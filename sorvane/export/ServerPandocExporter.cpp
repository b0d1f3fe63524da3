#include "ServerPandocExporter.h"

#include "ExportLog.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/UpdateFetch.h"

#include <QDir>
#include <QFutureWatcher>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QtConcurrent>

#include <QCoro/QCoroTimer>

namespace {

const QString defaultBaseURL = QStringLiteral("https://export.tolvern.dev");
const QString endpointPath = QStringLiteral("/api/sorvane/pandoc");

ServerPandocExporter::SessionProvider &sessionProvider()
{
    static ServerPandocExporter::SessionProvider provider;
    return provider;
}

ServerPandocExporter::FreshSessionProvider &freshSessionProvider()
{
    static ServerPandocExporter::FreshSessionProvider provider;
    return provider;
}

int &timeoutMs()
{
    static int ms = 60000;
    return ms;
}

} // namespace

QUrl ServerPandocExporter::endpointFor(const QString &override)
{
    QUrl base(defaultBaseURL);
    if (!override.isEmpty()) {
        const QUrl candidate(override);
        // The bearer token must not travel in the clear beyond this computer.
        if (UpdateFetch::refusalReason(candidate).isEmpty())
            base = candidate;
        else
            qCWarning(lcExport) << "Ignoring SORVANE_EXPORT_URL: only https, or http to this computer";
    }
    QString path = base.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    base.setPath(path + endpointPath);
    return base;
}

namespace {

using Error = ServerPandocExporter::Error;
using Result = ServerPandocExporter::Result;

Result failure(Error::Kind kind, const QString &message = QString())
{
    return {QString(), Error{kind, message}};
}

// Off the GUI thread: the converted bytes into the private temp folder.
Result storeReply(const QByteArray &body, const QString &name)
{
    const QString folder = AppPaths::privateTempFolder();
    const QString target = QDir(folder).filePath(name);
    QString error;
    if (!AtomicFile::write(target, body, &error))
        return failure(Error::Kind::WriteFailed, error);
    return {target, std::nullopt};
}

} // namespace

QString ServerPandocExporter::Error::description() const
{
    switch (kind) {
    case Kind::Server:
    case Kind::WriteFailed: return message;
    case Kind::NotSignedIn: return QStringLiteral("Sign in to sorv.ane to export this format.");
    case Kind::Generic: break;
    }
    return QStringLiteral("Export failed. Please try again.");
}

void ServerPandocExporter::setSessionProvider(SessionProvider provider)
{
    sessionProvider() = std::move(provider);
}

void ServerPandocExporter::setFreshSessionProvider(FreshSessionProvider provider)
{
    freshSessionProvider() = std::move(provider);
}

void ServerPandocExporter::setTimeoutMs(int ms)
{
    timeoutMs() = ms;
}

QUrl ServerPandocExporter::endpoint()
{
    static const QUrl url = endpointFor(qEnvironmentVariable("SORVANE_EXPORT_URL"));
    return url;
}

namespace {

using Finish = std::function<void(const Result &result)>;

void send(const QString &token, const QString &markdown, ServerPandocFormat format, const QString &displayName,
          QNetworkAccessManager &network, QObject *context, const Finish &finish);

// The request goes once the session is known to be fresh: an expired token would
// only earn a 401 and a needless sign-in.
QCoro::Task<void> exportWithFreshSession(QString markdown, ServerPandocFormat format, QString displayName,
                                         QPointer<QNetworkAccessManager> network, QPointer<QObject> context,
                                         Finish finish)
{
    // Never finished from inside exportDocument: the caller may still be setting up.
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (!context)
        co_return;
    auto fresh = freshSessionProvider()();
    const std::optional<QString> token = co_await std::move(fresh);
    if (!context || !network)
        co_return;
    if (!token || token->isEmpty()) {
        finish(failure(Error::Kind::NotSignedIn));
        co_return;
    }
    send(*token, markdown, format, displayName, *network, context, finish);
}

} // namespace

void ServerPandocExporter::exportDocument(const QString &markdown, ServerPandocFormat format,
                                          const QString &displayName, QNetworkAccessManager &network,
                                          QObject *context, Completion completion)
{
    const QPointer<QObject> guard(context);
    const auto finish = [guard, completion](const Result &result) {
        if (guard)
            completion(result);
    };
    if (freshSessionProvider()) {
        exportWithFreshSession(markdown, format, displayName, &network, context, finish);
        return;
    }
    const std::optional<QString> token = sessionProvider() ? sessionProvider()() : std::nullopt;
    if (!token || token->isEmpty()) {
        // Never from inside the call: the caller may still be setting up.
        QTimer::singleShot(0, context, [finish] { finish(failure(Error::Kind::NotSignedIn)); });
        return;
    }
    send(*token, markdown, format, displayName, network, context, finish);
}

namespace {

void send(const QString &token, const QString &markdown, ServerPandocFormat format, const QString &displayName,
          QNetworkAccessManager &network, QObject *context, const Finish &finish)
{
    QNetworkRequest request(ServerPandocExporter::endpoint());
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(timeoutMs());
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setRawHeader("Accept", "application/json");
    const QJsonObject body{{QStringLiteral("markdown"), markdown},
                           {QStringLiteral("from"), QStringLiteral("markdown")},
                           {QStringLiteral("to"), format.rawValue()}};
    QNetworkReply *reply = network.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));

    QObject::connect(reply, &QNetworkReply::finished, context, [reply, format, displayName, finish] {
        reply->deleteLater();
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        // A reply cut short still carries its status; only a whole body counts.
        if (!status.isValid() || (reply->error() != QNetworkReply::NoError && status.toInt() < 300)) {
            qCWarning(lcExport) << "Export request failed:" << reply->errorString();
            finish(failure(Error::Kind::Generic));
            return;
        }
        const int code = status.toInt();
        const QByteArray data = reply->readAll();
        if (code == 401) {
            finish(failure(Error::Kind::NotSignedIn));
            return;
        }
        if (code < 200 || code > 299) {
            const std::optional<QString> message = ServerPandocExporter::errorMessage(data);
            finish(message ? failure(Error::Kind::Server, *message) : failure(Error::Kind::Generic));
            return;
        }
        std::optional<QString> disposition;
        if (reply->hasRawHeader("Content-Disposition"))
            disposition = QString::fromUtf8(reply->rawHeader("Content-Disposition"));
        const QString name = ServerPandocExporter::suggestedFilename(disposition, displayName, format);
        auto *watcher = new QFutureWatcher<Result>(reply->parent());
        QObject::connect(watcher, &QFutureWatcher<Result>::finished, watcher, [watcher, finish] {
            watcher->deleteLater();
            finish(watcher->result());
        });
        watcher->setFuture(QtConcurrent::run(storeReply, data, name));
    });
}

} // namespace

std::optional<QString> ServerPandocExporter::parseFilename(const QString &header)
{
    const QString key = QStringLiteral("filename=");
    const qsizetype at = header.indexOf(key);
    if (at < 0)
        return std::nullopt;
    QString value = header.mid(at + key.size());
    if (const qsizetype semicolon = value.indexOf(QLatin1Char(';')); semicolon >= 0)
        value.truncate(semicolon);
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype start = 0;
    qsizetype end = value.size();
    while (start < end && blank(value.at(start)))
        ++start;
    while (end > start && blank(value.at(end - 1)))
        --end;
    value = value.mid(start, end - start);
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    if (value.isEmpty())
        return std::nullopt;
    return value;
}

QString ServerPandocExporter::sanitizedBaseName(const QString &name)
{
    QString result = name;
    const QString lower = name.toLower();
    for (const char *suffix : {".md.enc", ".markdown", ".md", ".txt"}) {
        const QString s = QString::fromLatin1(suffix);
        if (lower.endsWith(s)) {
            result.chop(s.size());
            break;
        }
    }
    result = result.trimmed();
    result.replace(QLatin1Char('/'), QLatin1Char('-'));
    result.replace(QLatin1Char(':'), QLatin1Char('-'));
    return result.isEmpty() ? QStringLiteral("Untitled") : result;
}

QString ServerPandocExporter::suggestedFilename(const std::optional<QString> &contentDisposition,
                                                const QString &displayName, ServerPandocFormat format)
{
    QString extension = format.fileExtension();
    if (contentDisposition) {
        if (const std::optional<QString> name = parseFilename(*contentDisposition)) {
            // Only the extension of its last component: the name itself may try to
            // climb out of the temp folder.
            const QString last = name->section(QLatin1Char('/'), -1);
            const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
            const QString serverExtension = dot < 0 ? QString() : last.mid(dot + 1);
            if (!serverExtension.isEmpty())
                extension = serverExtension;
        }
    }
    return sanitizedBaseName(displayName) + QLatin1Char('.') + extension;
}

std::optional<QString> ServerPandocExporter::errorMessage(const QByteArray &data)
{
    const QJsonDocument document = QJsonDocument::fromJson(data);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (const char *member : {"error", "message"}) {
        const QJsonValue value = object.value(QLatin1String(member));
        if (value.isString())
            return value.toString();
    }
    return std::nullopt;
}
