#pragma once

#include "TolvernJSONValue.h"

#include <QDateTime>
#include <QString>

#include <optional>

// Reply of the Apple code exchange: only "ok" is required.
struct AppleAuthcodeResponse
{
    bool ok = false;
    std::optional<QString> tolvernAccountId;
    std::optional<QString> email;
    std::optional<QString> tvs;
    std::optional<QString> refreshToken;
    std::optional<QDateTime> expiresAt;
    std::optional<bool> isNewUser;

    static AppleAuthcodeResponse fromJSON(const TolvernJSONValue &json)
    {
        AppleAuthcodeResponse reply;
        reply.ok = json.boolean(QStringLiteral("ok"));
        reply.tolvernAccountId = json.optionalString(QStringLiteral("tolvern_account_id"));
        reply.email = json.optionalString(QStringLiteral("email"));
        reply.tvs = json.optionalString(QStringLiteral("tvs"));
        reply.refreshToken = json.optionalString(QStringLiteral("refresh_token"));
        reply.expiresAt = json.optionalDate(QStringLiteral("expires_at"));
        reply.isNewUser = json.optionalBoolean(QStringLiteral("is_new_user"));
        return reply;
    }
};
