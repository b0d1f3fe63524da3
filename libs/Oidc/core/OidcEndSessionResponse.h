#pragma once

#include "OidcEndSessionRequest.h"

#include <QJsonObject>
#include <QVariantMap>

#include <optional>

// The logout's answer read from the redirect.
class OidcEndSessionResponse
{
public:
    OidcEndSessionResponse(const OidcEndSessionRequest &request, const QVariantMap &parameters);

    OidcEndSessionRequest request() const { return m_request; }
    std::optional<QString> state() const { return m_state; }
    QVariantMap additionalParameters() const { return m_additionalParameters; }

    QString description() const;
    QJsonObject archive() const;
    static std::optional<OidcEndSessionResponse> fromArchive(const QJsonObject &archive);

private:
    OidcEndSessionRequest m_request;
    std::optional<QString> m_state;
    QVariantMap m_additionalParameters;
};
