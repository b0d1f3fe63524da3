#include "ErrorFirehoseBatch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

QString ErrorFirehoseBatch::timeText(const QDateTime &time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'"));
}

QString ErrorFirehoseBatch::newIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
}

QByteArray ErrorFirehoseBatch::encode(const QList<ErrorFirehoseEntry> &entries, const ErrorFirehoseContext &context,
                                      const QString &batchId, const QStringList &eventIds)
{
    QJsonArray events;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const ErrorFirehoseEntry &entry = entries.at(i);
        QJsonObject event;
        event.insert(QStringLiteral("client_event_id"), eventIds.value(i));
        event.insert(QStringLiteral("severity"), entry.severity);
        event.insert(QStringLiteral("category"), entry.category);
        if (entry.specId)
            event.insert(QStringLiteral("spec_id"), *entry.specId);
        event.insert(QStringLiteral("fingerprint"), entry.fingerprint);
        event.insert(QStringLiteral("message_template"), entry.messageTemplate);
        if (entry.exceptionType)
            event.insert(QStringLiteral("exception_type"), *entry.exceptionType);
        if (entry.topFrames)
            event.insert(QStringLiteral("top_frames"), QJsonArray::fromStringList(*entry.topFrames));
        if (entry.frameDigest)
            event.insert(QStringLiteral("frame_digest"), *entry.frameDigest);
        if (entry.breadcrumbs) {
            QJsonArray crumbs;
            for (const BreadcrumbEntry &crumb : *entry.breadcrumbs)
                crumbs.append(QJsonObject{{QStringLiteral("ts"), crumb.ts},
                                          {QStringLiteral("level"), crumb.level},
                                          {QStringLiteral("category"), crumb.category},
                                          {QStringLiteral("msg"), crumb.msg}});
            event.insert(QStringLiteral("breadcrumbs"), crumbs);
        }
        event.insert(QStringLiteral("count"), entry.count);
        event.insert(QStringLiteral("first_seen"), timeText(entry.firstSeen));
        event.insert(QStringLiteral("last_seen"), timeText(entry.lastSeen));
        event.insert(QStringLiteral("signed_in"), entry.signedIn);
        event.insert(QStringLiteral("online"), entry.online);
        if (entry.sessionUptimeSeconds)
            event.insert(QStringLiteral("session_uptime_seconds"), *entry.sessionUptimeSeconds);
        events.append(event);
    }
    QJsonObject batch{
        {QStringLiteral("schema_version"), 1},
        {QStringLiteral("batch_id"), batchId},
        {QStringLiteral("daily_token"), context.dailyToken},
        {QStringLiteral("app_slug"), context.appSlug},
        {QStringLiteral("platform"), context.platform},
        {QStringLiteral("app_version"), context.appVersion},
        {QStringLiteral("os_version"), context.osVersion},
        {QStringLiteral("events"), events},
    };
    return QJsonDocument(batch).toJson(QJsonDocument::Compact);
}
