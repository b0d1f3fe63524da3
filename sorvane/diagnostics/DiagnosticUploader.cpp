#include "DiagnosticUploader.h"

#include "DiagnosticEndpoints.h"
#include "DiagnosticReport.h"
#include "DiagnosticThrottle.h"

#include "platform/BundleInfo.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QJsonDocument>
#include <QMutex>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QSysInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <qcorofuture.h>
#include <qcoronetworkreply.h>

#include <algorithm>
#include <memory>

namespace {

QMutex observerMutex;
std::function<void(const QString &, int)> autoReportObserver;

const QString diagnosticsCategory = QStringLiteral("diagnostics");

struct ReplyDeleter {
    void operator()(QNetworkReply *reply) const { reply->deleteLater(); }
};
using ReplyPointer = std::unique_ptr<QNetworkReply, ReplyDeleter>;

// Whether the service itself answered: these failures count against the throttle.
bool serverWasReached(const DiagnosticError &error)
{
    using Kind = DiagnosticError::Kind;
    return error.kind == Kind::Server || error.kind == Kind::MalformedResponse || error.kind == Kind::ServerUnknown;
}

// The finished upload's outcome: the short code, the server's complaint, or the
// client's own failure.
Result<QString, DiagnosticError> interpretReply(QNetworkReply &reply)
{
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        if (reply.error() != QNetworkReply::NoError)
            return DiagnosticError::transport(reply.errorString());
        return DiagnosticError::of(DiagnosticError::Kind::Unavailable);
    }
    const QByteArray body = reply.readAll();
    const int code = status.toInt();
    if (code < 200 || code > 299) {
        if (const std::optional<QString> message = DiagnosticUploader::errorMessage(body))
            return DiagnosticError::server(*message);
        return DiagnosticError::of(DiagnosticError::Kind::ServerUnknown);
    }
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue shortCode = document.isObject() ? document.object().value(QStringLiteral("short_code")) : QJsonValue();
    if (!shortCode.isString() || shortCode.toString().isEmpty())
        return DiagnosticError::of(DiagnosticError::Kind::MalformedResponse);
    return shortCode.toString();
}

} // namespace

std::optional<QString> DiagnosticError::description() const
{
    switch (kind) {
    case Kind::Server:
    case Kind::Transport:
        return message;
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
    const QString type = kind == Kind::Transport ? QStringLiteral("NetworkError") : QStringLiteral("DiagnosticError");
    return {type, description().value_or(QString())};
}

DiagnosticUploader::Client DiagnosticUploader::Client::current()
{
    Client client;
    client.version = BundleInfo::string(QStringLiteral("CFBundleShortVersionString")).value_or(QString());
    client.osVersion = QSysInfo::prettyProductName();
    client.pandocAvailable = !QStandardPaths::findExecutable(QStringLiteral("pandoc")).isEmpty();
    return client;
}

DiagnosticUploader::DiagnosticUploader()
    : DiagnosticUploader(Environment())
{
}

DiagnosticUploader::DiagnosticUploader(Environment environment, QObject *parent)
    : QObject(parent)
    , m_environment(std::move(environment))
{
}

DiagnosticUploader::~DiagnosticUploader() = default;

DiagnosticUploader &DiagnosticUploader::shared()
{
    // Never destroyed: a report still on its way at exit must not find it gone.
    static DiagnosticUploader *const instance = new DiagnosticUploader;
    return *instance;
}

void DiagnosticUploader::setSessionProvider(SessionProvider provider)
{
    m_sessionProvider = std::move(provider);
}

bool DiagnosticUploader::hasSession() const
{
    return sessionToken().has_value();
}

void DiagnosticUploader::setFreshSessionProvider(FreshSessionProvider provider)
{
    m_freshSessionProvider = std::move(provider);
}

QCoro::Task<std::optional<QString>> DiagnosticUploader::freshSessionToken() const
{
    if (!m_freshSessionProvider)
        co_return sessionToken();
    auto fresh = m_freshSessionProvider();
    co_return co_await std::move(fresh);
}

std::optional<QString> DiagnosticUploader::sessionToken() const
{
    return m_sessionProvider ? m_sessionProvider() : std::nullopt;
}

void DiagnosticUploader::setInFlight(bool inFlight)
{
    if (m_inFlight == inFlight)
        return;
    m_inFlight = inFlight;
    Q_EMIT inFlightChanged(inFlight);
}

QCoro::Task<Result<QString, DiagnosticError>> DiagnosticUploader::uploadManual(int openDocumentCount)
{
    if (m_inFlight)
        co_return DiagnosticError::of(DiagnosticError::Kind::Busy);
    setInFlight(true);
    auto fresh = freshSessionToken();
    const std::optional<QString> token = co_await std::move(fresh);
    if (!token) {
        log().add(DiagnosticLogBuffer::Level::Warn, diagnosticsCategory,
                  QStringLiteral("Manual report attempted while signed out."));
        setInFlight(false);
        co_return DiagnosticError::of(DiagnosticError::Kind::NotSignedIn);
    }
    log().add(DiagnosticLogBuffer::Level::Info, diagnosticsCategory, QStringLiteral("Sending manual diagnostic report."));
    const QJsonObject record = metadata(QStringLiteral("manual"), std::nullopt, openDocumentCount);
    Result<QString, DiagnosticError> sent = co_await post(*token, record);
    if (sent)
        Settings::shared().setValue(SettingsKeys::recentSaveFailures, 0);
    setInFlight(false);
    co_return sent;
}

QCoro::Task<void> DiagnosticUploader::uploadAuto(QString reason, int openDocumentCount)
{
    std::function<void(const QString &, int)> observer;
    {
        QMutexLocker locker(&observerMutex);
        observer = autoReportObserver;
    }
    if (observer)
        observer(reason, openDocumentCount);

    if (!isDiagnosticsEnabled() || !throttle().shouldUpload(reason) || !hasSession() || m_inFlight)
        co_return;
    const bool reachable = co_await isHealthEndpointReachable();
    if (!reachable) {
        log().add(DiagnosticLogBuffer::Level::Info, diagnosticsCategory,
                  QStringLiteral("Auto report skipped — /health unreachable (reason=%1).").arg(reason));
        co_return;
    }
    // The probe suspended: meanwhile another report may have started or used up this
    // reason's hour, or the session may have ended.
    if (m_inFlight || !throttle().shouldUpload(reason))
        co_return;
    setInFlight(true);
    auto fresh = freshSessionToken();
    const std::optional<QString> token = co_await std::move(fresh);
    if (!token || !throttle().shouldUpload(reason)) {
        setInFlight(false);
        co_return;
    }
    log().add(DiagnosticLogBuffer::Level::Info, diagnosticsCategory,
              QStringLiteral("Auto diagnostic report (reason=%1).").arg(reason));
    const QJsonObject record = metadata(QStringLiteral("auto"), reason, openDocumentCount);
    const Result<QString, DiagnosticError> sent = co_await post(*token, record);
    if (sent || serverWasReached(sent.error()))
        throttle().recordUpload(reason);
    setInFlight(false);
}

QJsonObject DiagnosticUploader::metadata(const QString &kind, const std::optional<QString> &reason,
                                         int openDocumentCount) const
{
    const Client client = this->client();
    DiagnosticReport::Metadata metadata;
    metadata.kind = kind;
    metadata.terminateReason = reason;
    metadata.openDocumentCount = openDocumentCount;
    metadata.recentSaveFailures = Settings::shared().intValue(SettingsKeys::recentSaveFailures, 0);
    metadata.pandocAvailable = client.pandocAvailable;
    metadata.clientVersion = client.version;
    metadata.osVersion = client.osVersion;
    return DiagnosticReport::metadataRecord(metadata);
}

QCoro::Task<Result<QString, DiagnosticError>> DiagnosticUploader::post(QString token, QJsonObject metadata)
{
    // No temporaries in conditions in these coroutines: GCC 12 destroys some twice.
    const QString version = client().version;
    DiagnosticLogBuffer *const ring = &log();
    // A full ring is megabytes of JSON: built off the GUI thread.
    QFuture<Result<DiagnosticReport::Blob, DiagnosticError>> building =
        QtConcurrent::run([ring, version] { return DiagnosticReport::buildBlob(*ring, version); });
    Result<DiagnosticReport::Blob, DiagnosticError> blob = co_await building;
    if (!blob)
        co_return blob.error();

    const QString boundary = DiagnosticReport::newBoundary();
    const Result<QByteArray, DiagnosticError> body = DiagnosticReport::multipartBody(
        boundary, metadata, blob->zip, DiagnosticReport::blobFileName(QDateTime::currentDateTimeUtc()));
    if (!body)
        co_return body.error();

    QNetworkRequest request(endpoint(QStringLiteral("/diagnostics")));
    request.setTransferTimeout(uploadTimeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    request.setRawHeader("Content-Type", "multipart/form-data; boundary=" + boundary.toUtf8());
    ReplyPointer reply(network().post(request, *body));
    co_await reply.get();
    Result<QString, DiagnosticError> answer = interpretReply(*reply);
    co_return answer;
}

QCoro::Task<bool> DiagnosticUploader::isHealthEndpointReachable()
{
    QNetworkRequest request(endpoint(QStringLiteral("/health")));
    if (!request.url().isValid())
        co_return false;
    request.setTransferTimeout(healthTimeoutMs);
    ReplyPointer reply(network().head(request));
    co_await reply.get();
    // Any HTTP answer counts, a 503 too: the service is there.
    const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    co_return answered;
}

QUrl DiagnosticUploader::endpoint(const QString &path) const
{
    if (m_environment.origin.isEmpty())
        return DiagnosticEndpoints::identityURL(path);
    QUrl url = m_environment.origin;
    url.setPath(url.path() + path);
    return url;
}

DiagnosticUploader::Client DiagnosticUploader::client() const
{
    return m_environment.client ? m_environment.client() : Client::current();
}

QNetworkAccessManager &DiagnosticUploader::network()
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    return *m_network;
}

DiagnosticThrottle &DiagnosticUploader::throttle() const
{
    return m_environment.throttle ? *m_environment.throttle : DiagnosticThrottle::shared();
}

DiagnosticLogBuffer &DiagnosticUploader::log() const
{
    return m_environment.log ? *m_environment.log : DiagnosticLogBuffer::shared();
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

std::optional<QString> DiagnosticUploader::errorMessage(const QByteArray &body)
{
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    for (const QString &key : {QStringLiteral("error"), QStringLiteral("message")}) {
        const QJsonValue value = object.value(key);
        if (value.isString())
            return value.toString();
    }
    return std::nullopt;
}

bool DiagnosticUploader::isDiagnosticsEnabled()
{
    return Settings::shared().boolValue(SettingsKeys::diagnosticsEnabled, SettingsDefaults::diagnosticsEnabled);
}

void DiagnosticUploader::setAutoReportObserver(std::function<void(const QString &, int)> observer)
{
    QMutexLocker locker(&observerMutex);
    autoReportObserver = std::move(observer);
}
