#pragma once

#include "DiagnosticLogBuffer.h"
#include "DiagnosticUploader.h"

#include "platform/Result.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>

// The parts of one diagnostic report: the metadata record, the archive holding the
// log ring as "diagnostic.json", and the multipart body carrying both. Pure and
// thread-safe: the uploader builds the archive off the GUI thread.
namespace DiagnosticReport {

inline constexpr qsizetype maxArchiveBytes = 5 * 1024 * 1024;
inline constexpr qsizetype maxMetadataBytes = 16384;
inline constexpr qsizetype maxExtraBytes = 8192;

struct Metadata {
    QString kind; // "manual" or "auto"
    std::optional<QString> terminateReason;
    int openDocumentCount = 0;
    qint64 recentSaveFailures = 0;
    bool pandocAvailable = false;
    QString clientVersion;
    QString osVersion;
};

struct Blob {
    QByteArray zip;
    int entryCount = 0;
};

// "sorvane-linux", the version and the OS text cut to 32, 64 and 128 characters
// (grapheme clusters); "extra" replaced by {} when its JSON passes 8192 bytes.
QJsonObject metadataRecord(const Metadata &metadata);

// {"schema_version", "captured_at", "log_buffer", "stats"}, compact.
QByteArray diagnosticJson(const QList<DiagnosticLogEntry> &entries, const QString &clientVersion,
                          const QDateTime &capturedAt);

// The newest entries of `log` that fit: all of them first, then a tenth fewer each
// time (one fewer from 9 down), until the archive is at most `limit` bytes or holds
// no entry. `attempt` sees each entry count tried.
Result<Blob, DiagnosticError> buildBlob(const DiagnosticLogBuffer &log, const QString &clientVersion,
                                        qsizetype limit = maxArchiveBytes,
                                        const std::function<void(int entryCount)> &attempt = {});

// The two parts, "metadata" and "blob" (named `fileName`), CR LF throughout.
// payloadTooLarge when the metadata's JSON passes 16384 bytes.
Result<QByteArray, DiagnosticError> multipartBody(const QString &boundary, const QJsonObject &metadata,
                                                  const QByteArray &blob, const QString &fileName);

// "sorvane-linux-" + seconds since 1970 + ".zip".
QString blobFileName(const QDateTime &now);
// "Boundary-" + a fresh upper-case UUID.
QString newBoundary();

// At most `count` grapheme clusters of `text`.
QString firstCharacters(const QString &text, int count);

} // namespace DiagnosticReport
