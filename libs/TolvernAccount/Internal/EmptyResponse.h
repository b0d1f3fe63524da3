#pragma once

#include "TolvernJSONValue.h"

// Reply of the revoke: a boolean "ok", whose value nobody looks at.
struct EmptyResponse
{
    bool ok = false;

    static EmptyResponse fromJSON(const TolvernJSONValue &json)
    {
        return EmptyResponse{json.boolean(QStringLiteral("ok"))};
    }
};
