#pragma once

#include "TolvernJSONWriter.h"

#include <QString>

#include <optional>

// Request of the Apple code exchange (POST /api/integrations/apple/authcode).
struct AppleAuthcodeBody
{
    QString appSlug;
    QString authorizationCode;
    std::optional<QString> identityToken;
    std::optional<QString> installID;

    void toJSON(TolvernJSONWriter &writer) const
    {
        writer.add(QStringLiteral("app_slug"), appSlug);
        writer.add(QStringLiteral("authorization_code"), authorizationCode);
        writer.add(QStringLiteral("identity_token"), identityToken);
        writer.add(QStringLiteral("install_id"), installID);
    }
};
