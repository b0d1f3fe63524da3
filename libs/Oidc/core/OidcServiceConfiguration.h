#pragma once

#include "OidcServiceDiscovery.h"

#include <QJsonObject>
#include <QString>
#include <QUrl>

#include <optional>

// The auth server's endpoints, carried by every request of the client.
class OidcServiceConfiguration
{
public:
    OidcServiceConfiguration(const QUrl &authorizationEndpoint, const QUrl &tokenEndpoint,
                             const std::optional<QUrl> &issuer = std::nullopt,
                             const std::optional<QUrl> &registrationEndpoint = std::nullopt,
                             const std::optional<QUrl> &endSessionEndpoint = std::nullopt,
                             const std::optional<OidcServiceDiscovery> &discoveryDocument = std::nullopt);
    explicit OidcServiceConfiguration(const OidcServiceDiscovery &discoveryDocument);

    QUrl authorizationEndpoint() const { return m_authorizationEndpoint; }
    QUrl tokenEndpoint() const { return m_tokenEndpoint; }
    std::optional<QUrl> issuer() const { return m_issuer; }
    std::optional<QUrl> registrationEndpoint() const { return m_registrationEndpoint; }
    std::optional<QUrl> endSessionEndpoint() const { return m_endSessionEndpoint; }
    std::optional<OidcServiceDiscovery> discoveryDocument() const { return m_discoveryDocument; }

    QString description() const;
    QJsonObject archive() const;
    // None unless both the authorization and the token endpoint are in the archive.
    static std::optional<OidcServiceConfiguration> fromArchive(const QJsonObject &archive);

    bool operator==(const OidcServiceConfiguration &other) const = default;

private:
    QUrl m_authorizationEndpoint;
    QUrl m_tokenEndpoint;
    std::optional<QUrl> m_issuer;
    std::optional<QUrl> m_registrationEndpoint;
    std::optional<QUrl> m_endSessionEndpoint;
    std::optional<OidcServiceDiscovery> m_discoveryDocument;
};
