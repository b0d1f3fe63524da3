#pragma once

#include "BreadcrumbEntry.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Repeats of one signal folded into one counted entry; the element of a batch.
struct ErrorFirehoseEntry {
    QString fingerprint;
    QString severity;
    QString category;
    std::optional<QString> specId;
    QString messageTemplate;
    std::optional<QString> exceptionType;
    std::optional<QStringList> topFrames;
    std::optional<QString> frameDigest;
    int count = 1;
    QDateTime firstSeen;
    QDateTime lastSeen;
    bool signedIn = false;
    bool online = true;
    std::optional<int> sessionUptimeSeconds;
    std::optional<QList<BreadcrumbEntry>> breadcrumbs;
};
