#include "DiagnosticReport.h"

#include "ReportArchive.h"

#include "platform/PlatformConstants.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTextBoundaryFinder>
#include <QUuid>

namespace DiagnosticReport {

namespace {

const QString diagnosticMemberName = QStringLiteral("diagnostic.json");

QJsonValue optionalText(const std::optional<QString> &text)
{
    return text ? QJsonValue(*text) : QJsonValue(QJsonValue::Null);
}

} // namespace

QString firstCharacters(const QString &text, int count)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int seen = 0;
    while (seen < count) {
        if (finder.toNextBoundary() < 0)
            return text;
        ++seen;
    }
    return text.left(finder.position());
}

QJsonObject metadataRecord(const Metadata &metadata)
{
    QJsonObject extra{
        {QStringLiteral("open_document_count"), std::max(metadata.openDocumentCount, 0)},
        {QStringLiteral("recent_save_failures"), metadata.recentSaveFailures},
        {QStringLiteral("pandoc_available"), metadata.pandocAvailable},
    };
    if (QJsonDocument(extra).toJson(QJsonDocument::Compact).size() > maxExtraBytes)
        extra = QJsonObject();
    return QJsonObject{
        {QStringLiteral("kind"), metadata.kind},
        {QStringLiteral("session_id"), QJsonValue::Null},
        {QStringLiteral("client_kind"), firstCharacters(QString::fromLatin1(PlatformConstants::clientName), 32)},
        {QStringLiteral("client_version"), firstCharacters(metadata.clientVersion, 64)},
        {QStringLiteral("client_role"), QJsonValue::Null},
        {QStringLiteral("os_version"), firstCharacters(metadata.osVersion, 128)},
        {QStringLiteral("terminate_reason"), optionalText(metadata.terminateReason)},
        {QStringLiteral("codec"), QJsonValue::Null},
        {QStringLiteral("extra"), extra},
    };
}

QByteArray diagnosticJson(const QList<DiagnosticLogEntry> &entries, const QString &clientVersion,
                          const QDateTime &capturedAt)
{
    QJsonArray logBuffer;
    for (const DiagnosticLogEntry &entry : entries)
        logBuffer.append(entry.jsonObject());
    const QJsonObject app{
        {QStringLiteral("version"), clientVersion},
        {QStringLiteral("platform"), QString::fromLatin1(PlatformConstants::clientName)},
        {QStringLiteral("session_id"), QJsonValue::Null},
    };
    const QJsonObject document{
        {QStringLiteral("schema_version"), 1},
        {QStringLiteral("captured_at"), capturedAt.toUTC().toString(Qt::ISODateWithMs)},
        {QStringLiteral("log_buffer"), logBuffer},
        {QStringLiteral("stats"), QJsonObject{{QStringLiteral("app"), app}, {QStringLiteral("extra"), QJsonObject()}}},
    };
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

Result<Blob, DiagnosticError> buildBlob(const DiagnosticLogBuffer &log, const QString &clientVersion, qsizetype limit,
                                        const std::function<void(int)> &attempt)
{
    const QList<DiagnosticLogEntry> all = log.entries();
    const int total = int(all.size());
    int count = total;
    for (;;) {
        if (attempt)
            attempt(count);
        const QList<DiagnosticLogEntry> entries = count == total ? all
            : count == 0                                         ? QList<DiagnosticLogEntry>()
                                                                 : log.lastEntries(count);
        const QByteArray json = diagnosticJson(entries, clientVersion, QDateTime::currentDateTimeUtc());
        Result<QByteArray, ReportArchive::Error> zip = ReportArchive::makeZip({{diagnosticMemberName, json}});
        if (!zip)
            return DiagnosticError::of(DiagnosticError::Kind::PayloadTooLarge);
        if (zip->size() <= limit || count == 0)
            return Blob{std::move(*zip), int(entries.size())};
        count = std::max(count > 9 ? count - count / 10 : count - 1, 0);
    }
}

Result<QByteArray, DiagnosticError> multipartBody(const QString &boundary, const QJsonObject &metadata,
                                                  const QByteArray &blob, const QString &fileName)
{
    const QByteArray json = QJsonDocument(metadata).toJson(QJsonDocument::Compact);
    if (json.size() > maxMetadataBytes)
        return DiagnosticError::of(DiagnosticError::Kind::PayloadTooLarge);
    const QByteArray dashBoundary = "--" + boundary.toUtf8();
    QByteArray body;
    body.reserve(json.size() + blob.size() + 512);
    body += dashBoundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"metadata\"\r\n";
    body += "Content-Type: text/plain; charset=utf-8\r\n\r\n";
    body += json + "\r\n";
    body += dashBoundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"blob\"; filename=\"" + fileName.toUtf8() + "\"\r\n";
    body += "Content-Type: application/zip\r\n\r\n";
    body += blob + "\r\n";
    body += dashBoundary + "--\r\n";
    return body;
}

QString blobFileName(const QDateTime &now)
{
    return QStringLiteral("%1-%2.zip").arg(QString::fromLatin1(PlatformConstants::clientName)).arg(now.toSecsSinceEpoch());
}

QString newBoundary()
{
    return QStringLiteral("Boundary-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace DiagnosticReport
