#pragma once

#include <QHashFunctions>
#include <QString>

class TolvernJSONValue;

// An account identifier as the identity service sends it. Any text decodes; only
// `isWellFormed` judges its shape.
struct TolvernAccountID
{
    QString raw;

    QString description() const { return raw; }
    // "ta_" then a lower-case version-7 UUID, nothing around it.
    bool isWellFormed() const;

    // Coded as a bare JSON string.
    static TolvernAccountID fromJSON(const TolvernJSONValue &json);

    bool operator==(const TolvernAccountID &other) const;
    bool operator!=(const TolvernAccountID &other) const { return !(*this == other); }
};

size_t qHash(const TolvernAccountID &id, size_t seed = 0);
