#pragma once

#include "OidcError.h"
#include "OidcServiceConfiguration.h"

#include <QUrl>

#include <functional>
#include <optional>

// The client's entry points: discovery here; the authorization flow, token and
// registration requests and end session beside it.
class OidcAuthorizationService
{
public:
    // Exactly one of the two is set.
    using ConfigurationCallback =
        std::function<void(std::optional<OidcServiceConfiguration> configuration, std::optional<OidcError> error)>;

    OidcAuthorizationService() = delete;

    // The issuer's "/.well-known/openid-configuration"; the document must name this
    // issuer (one trailing "/" aside), else general -2 "Issuer mismatch: <issuer>".
    static void discoverServiceConfigurationForIssuer(const QUrl &issuer, ConfigurationCallback completion);
    // Fetches and checks the document; the completion runs once, later, on the
    // application's thread.
    static void discoverServiceConfigurationForDiscoveryURL(const QUrl &discoveryURL, ConfigurationCallback completion);
    static QUrl discoveryURLForIssuer(const QUrl &issuer);
};
