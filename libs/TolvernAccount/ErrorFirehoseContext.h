#pragma once

#include <QNetworkAccessManager>
#include <QPointer>
#include <QString>
#include <QUrl>

// The client's context copied when a batch is taken for sending, so a later
// configure() does not change a batch in flight.
struct ErrorFirehoseContext {
    QString appSlug;
    QString platform;
    QString appVersion;
    QString osVersion;
    QString dailyToken;
    QUrl identityURL;
    QPointer<QNetworkAccessManager> network;
};
