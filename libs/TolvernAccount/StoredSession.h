#pragma once

#include "TolvernAccount.h"

#include <QDateTime>
#include <QString>

#include <optional>

// The session the library keeps between launches, stored as JSON under
// KeychainStorage::Keys::session. Its own keys are camelCase; the nested account
// keeps its snake_case keys.
struct StoredSession
{
    QString tvs;
    std::optional<QString> refreshToken;
    QDateTime expiresAt;
    TolvernAccount account;
    QString appSlug;
    QDateTime issuedAt;

    // An expiry equal to now already counts as expired.
    bool isExpired(const QDateTime &now = QDateTime::currentDateTimeUtc()) const { return now >= expiresAt; }

    static StoredSession fromJSON(const TolvernJSONValue &json);
    void toJSON(TolvernJSONWriter &writer) const;

    bool operator==(const StoredSession &other) const;
    bool operator!=(const StoredSession &other) const { return !(*this == other); }
};
