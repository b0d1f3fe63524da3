#include "DiagnosticThrottle.h"

#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>

#include <optional>

namespace {

// The whole file as a reason-to-time map; nothing when it is missing, unreadable,
// not a JSON object, or any value is not a number.
std::optional<QJsonObject> readTimes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject times = document.object();
    for (const QJsonValue &time : times) {
        if (!time.isDouble())
            return std::nullopt;
    }
    return times;
}

} // namespace

DiagnosticThrottle::DiagnosticThrottle(const QString &filePath, Clock clock)
    : m_filePath(filePath)
    , m_clock(std::move(clock))
{
    if (m_filePath.isEmpty()) {
        const QString folder = AppPaths::supportFolder();
        AppPaths::ensureFolder(folder); // a failure shows up as a failed write later
        m_filePath = folder + QStringLiteral("/diagnostic-throttle.json");
    }
}

DiagnosticThrottle &DiagnosticThrottle::shared()
{
    static DiagnosticThrottle instance;
    return instance;
}

bool DiagnosticThrottle::shouldUpload(const QString &reason)
{
    QMutexLocker locker(&m_mutex);
    const std::optional<QJsonObject> times = readTimes(m_filePath);
    if (!times || !times->contains(reason))
        return true;
    return now() - times->value(reason).toDouble() >= minimumInterval;
}

void DiagnosticThrottle::recordUpload(const QString &reason)
{
    QMutexLocker locker(&m_mutex);
    QJsonObject times = readTimes(m_filePath).value_or(QJsonObject());
    times.insert(reason, now());
    AtomicFile::write(m_filePath, QJsonDocument(times).toJson(QJsonDocument::Compact)); // failures ignored
}

double DiagnosticThrottle::now() const
{
    return m_clock ? m_clock() : double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}
