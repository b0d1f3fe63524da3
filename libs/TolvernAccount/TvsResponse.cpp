#include "TvsResponse.h"

#include "TolvernJSONValue.h"

TvsResponse TvsResponse::fromJSON(const TolvernJSONValue &json)
{
    TvsResponse reply;
    reply.ok = json.boolean(QStringLiteral("ok"));
    reply.tvs = json.string(QStringLiteral("tvs"));
    reply.sessionToken = json.optionalString(QStringLiteral("session_token"));
    reply.refreshToken = json.optionalString(QStringLiteral("refresh_token"));
    reply.expiresIn = json.optionalInteger(QStringLiteral("expires_in"));
    reply.expiresAt = json.date(QStringLiteral("expires_at"));
    reply.tolvernAccountId = TolvernAccountID::fromJSON(json.member(QStringLiteral("tolvern_account_id")));
    reply.email = json.string(QStringLiteral("email"));
    reply.appSlug = json.string(QStringLiteral("app_slug"));
    reply.platform = json.optionalString(QStringLiteral("platform"));
    reply.appDataToken = json.optionalString(QStringLiteral("app_data_token"));
    reply.appDataTokenExpiresAt = json.optionalDate(QStringLiteral("app_data_token_expires_at"));
    if (auto policy = json.optionalMember(QStringLiteral("tolvern_lib_version")))
        reply.libVersionPolicy = LibVersionPolicy::fromJSON(*policy);
    return reply;
}
