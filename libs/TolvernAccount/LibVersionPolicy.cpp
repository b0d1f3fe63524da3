#include "LibVersionPolicy.h"

#include "TolvernJSONValue.h"
#include "TolvernJSONWriter.h"

LibVersionPolicy LibVersionPolicy::fromJSON(const TolvernJSONValue &json)
{
    LibVersionPolicy policy;
    policy.minVersion = json.optionalString(QStringLiteral("minVersion"));
    policy.currentVersion = json.optionalString(QStringLiteral("currentVersion"));
    policy.replacement = json.optionalString(QStringLiteral("replacement"));
    policy.reason = json.optionalString(QStringLiteral("reason"));
    policy.expires = json.optionalDate(QStringLiteral("expires"));
    return policy;
}

void LibVersionPolicy::toJSON(TolvernJSONWriter &writer) const
{
    writer.add(QStringLiteral("minVersion"), minVersion);
    writer.add(QStringLiteral("currentVersion"), currentVersion);
    writer.add(QStringLiteral("replacement"), replacement);
    writer.add(QStringLiteral("reason"), reason);
    writer.add(QStringLiteral("expires"), expires);
}

bool LibVersionPolicy::operator==(const LibVersionPolicy &other) const
{
    return minVersion == other.minVersion && currentVersion == other.currentVersion
        && replacement == other.replacement && reason == other.reason && expires == other.expires;
}
