#pragma once

#include "LibVersionPolicy.h"
#include "TolvernAccountID.h"

#include <QDateTime>
#include <QString>

#include <optional>

class TolvernJSONValue;

// The identity service's reply to a session exchange or a refresh (snake_case keys).
struct TvsResponse
{
    bool ok = false;
    QString tvs;
    std::optional<QString> sessionToken;
    std::optional<QString> refreshToken;
    std::optional<qint64> expiresIn;
    QDateTime expiresAt;
    TolvernAccountID tolvernAccountId;
    QString email;
    QString appSlug;
    std::optional<QString> platform;
    std::optional<QString> appDataToken;
    std::optional<QDateTime> appDataTokenExpiresAt;
    std::optional<LibVersionPolicy> libVersionPolicy;

    // Members are read in the order above; the reply's other members are ignored.
    static TvsResponse fromJSON(const TolvernJSONValue &json);
};
