#include "StoredSession.h"

#include "TolvernJSONValue.h"
#include "TolvernJSONWriter.h"

StoredSession StoredSession::fromJSON(const TolvernJSONValue &json)
{
    StoredSession session;
    session.tvs = json.string(QStringLiteral("tvs"));
    session.refreshToken = json.optionalString(QStringLiteral("refreshToken"));
    session.expiresAt = json.date(QStringLiteral("expiresAt"));
    session.account = TolvernAccount::fromJSON(json.member(QStringLiteral("account")));
    session.appSlug = json.string(QStringLiteral("appSlug"));
    session.issuedAt = json.date(QStringLiteral("issuedAt"));
    return session;
}

void StoredSession::toJSON(TolvernJSONWriter &writer) const
{
    writer.add(QStringLiteral("tvs"), tvs);
    writer.add(QStringLiteral("refreshToken"), refreshToken);
    writer.add(QStringLiteral("expiresAt"), expiresAt);
    TolvernJSONWriter nested;
    account.toJSON(nested);
    writer.add(QStringLiteral("account"), nested);
    writer.add(QStringLiteral("appSlug"), appSlug);
    writer.add(QStringLiteral("issuedAt"), issuedAt);
}

bool StoredSession::operator==(const StoredSession &other) const
{
    return tvs == other.tvs && refreshToken == other.refreshToken && expiresAt == other.expiresAt
        && account == other.account && appSlug == other.appSlug && issuedAt == other.issuedAt;
}
