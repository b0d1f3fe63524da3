#pragma once

#include "TolvernJSONValue.h"

#include <QDateTime>
#include <QString>

// Reply of POST /api/app-data-token; all three members required.
struct AppDataTokenResponse
{
    bool ok = false;
    QString appDataToken;
    QDateTime expiresAt;

    static AppDataTokenResponse fromJSON(const TolvernJSONValue &json)
    {
        AppDataTokenResponse reply;
        reply.ok = json.boolean(QStringLiteral("ok"));
        reply.appDataToken = json.string(QStringLiteral("app_data_token"));
        reply.expiresAt = json.date(QStringLiteral("expires_at"));
        return reply;
    }
};
