#include "TolvernAccountSession.h"

namespace {
const QString sessionTokenKey = QStringLiteral("sessionToken");
const QString accountIDKey = QStringLiteral("tolvernAccountID");
const QString emailKey = QStringLiteral("email");
const QString expiresAtKey = QStringLiteral("expiresAt");

// Absent, null and non-string values all read as missing.
std::optional<QString> optionalString(const QJsonObject &json, const QString &key)
{
    const QJsonValue value = json.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}
} // namespace

QJsonObject TolvernAccountSession::toJSON() const
{
    QJsonObject json{{sessionTokenKey, sessionToken}, {accountIDKey, tolvernAccountID}};
    if (email)
        json.insert(emailKey, *email);
    if (expiresAt)
        json.insert(expiresAtKey, *expiresAt);
    return json;
}

std::optional<TolvernAccountSession> TolvernAccountSession::fromJSON(const QJsonObject &json)
{
    const std::optional<QString> token = optionalString(json, sessionTokenKey);
    const std::optional<QString> accountID = optionalString(json, accountIDKey);
    if (!token || !accountID)
        return std::nullopt;
    return TolvernAccountSession{*token, *accountID, optionalString(json, emailKey), optionalString(json, expiresAtKey)};
}
