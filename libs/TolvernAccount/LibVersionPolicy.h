#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

class TolvernJSONValue;
class TolvernJSONWriter;

// The identity service's word on which library versions it still serves. Every
// member is optional; its JSON keys are the member names.
struct LibVersionPolicy
{
    std::optional<QString> minVersion;
    std::optional<QString> currentVersion;
    std::optional<QString> replacement;
    std::optional<QString> reason;
    std::optional<QDateTime> expires;

    static LibVersionPolicy fromJSON(const TolvernJSONValue &json);
    void toJSON(TolvernJSONWriter &writer) const;

    bool operator==(const LibVersionPolicy &other) const;
    bool operator!=(const LibVersionPolicy &other) const { return !(*this == other); }
};
