#pragma once

#include "ErrorFirehoseContext.h"
#include "ErrorFirehoseEntry.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The body of one POST to "api/error-events": schema 1, the batch id, the context
// and one event per entry. Optional keys are left out, never written as null.
namespace ErrorFirehoseBatch {
inline constexpr qsizetype maxBodyBytes = 262144;

// Compact JSON; eventIds pairs with entries in order.
QByteArray encode(const QList<ErrorFirehoseEntry> &entries, const ErrorFirehoseContext &context,
                  const QString &batchId, const QStringList &eventIds);
// "yyyy-MM-ddTHH:mm:ss.zzzZ" in UTC.
QString timeText(const QDateTime &time);
QString newIdentifier();
} // namespace ErrorFirehoseBatch
