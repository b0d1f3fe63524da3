#pragma once

#include "TolvernAccountID.h"
#include "TolvernProvider.h"

#include <QList>
#include <QString>

#include <optional>

class TolvernJSONValue;
class TolvernJSONWriter;

// A signed-in account: identifier, primary e-mail and, when known, its providers.
struct TolvernAccount
{
    TolvernAccountID tolvernAccountId;
    QString emailPrimary;
    std::optional<QList<TolvernProvider>> providers;

    static TolvernAccount fromJSON(const TolvernJSONValue &json);
    void toJSON(TolvernJSONWriter &writer) const;

    bool operator==(const TolvernAccount &other) const;
    bool operator!=(const TolvernAccount &other) const { return !(*this == other); }
};

size_t qHash(const TolvernAccount &account, size_t seed = 0);
