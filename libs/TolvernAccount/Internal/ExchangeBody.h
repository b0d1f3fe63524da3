#pragma once

#include "TolvernJSONWriter.h"

#include <QString>

#include <optional>

// Request of the code exchange (POST /api/app-sessions/exchange); keys in this order,
// absent values left out.
struct ExchangeBody
{
    QString appSlug;
    QString code;
    std::optional<QString> codeVerifier;
    std::optional<QString> redirectURI;
    std::optional<QString> clientVersion;
    std::optional<QString> installID;

    void toJSON(TolvernJSONWriter &writer) const
    {
        writer.add(QStringLiteral("app_slug"), appSlug);
        writer.add(QStringLiteral("code"), code);
        writer.add(QStringLiteral("code_verifier"), codeVerifier);
        writer.add(QStringLiteral("redirect_uri"), redirectURI);
        writer.add(QStringLiteral("client_version"), clientVersion);
        writer.add(QStringLiteral("install_id"), installID);
    }
};
