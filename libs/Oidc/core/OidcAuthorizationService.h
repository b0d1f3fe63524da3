#pragma once

#include "OidcError.h"
#include "OidcAuthorizationResponse.h"
#include "OidcAuthorizationSession.h"
#include "OidcEndSessionImplementation.h"
#include "OidcRegistrationRequest.h"
#include "OidcRegistrationResponse.h"
#include "OidcServiceConfiguration.h"
#include "OidcTokenRequest.h"
#include "OidcTokenResponse.h"

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

    using TokenCallback = std::function<void(std::optional<OidcTokenResponse> response, std::optional<OidcError> error)>;
    // Sends the request; an ID token in the answer is parsed and checked (issuer,
    // audience, expiry, issue time, and the nonce of `original`'s request for a code
    // exchange). The callback runs once, later, on the application's thread.
    static void performTokenRequest(const OidcTokenRequest &request, TokenCallback callback);
    static void performTokenRequest(const OidcTokenRequest &request,
                                    const std::optional<OidcAuthorizationResponse> &original, TokenCallback callback);
    using RegistrationCallback =
        std::function<void(std::optional<OidcRegistrationResponse> response, std::optional<OidcError> error)>;
    // Registers a client; the completion runs once, later, on the application's thread.
    static void performRegistrationRequest(const OidcRegistrationRequest &request, RegistrationCallback completion);

    // Starts the flow with the agent; the caller keeps the session to resume or cancel it.
    static std::shared_ptr<OidcAuthorizationSession>
    presentAuthorizationRequest(const OidcAuthorizationRequest &request, std::shared_ptr<OidcExternalUserAgent> agent,
                                OidcAuthorizationSession::Callback callback);
    // In the default browser; `window` (may be null) is brought back on return.
    static std::shared_ptr<OidcAuthorizationSession>
    presentAuthorizationRequest(const OidcAuthorizationRequest &request, QObject *window,
                                OidcAuthorizationSession::Callback callback);
    static std::shared_ptr<OidcAuthorizationSession>
    presentAuthorizationRequest(const OidcAuthorizationRequest &request, QObject *window, bool prefersEphemeralSession,
                                OidcAuthorizationSession::Callback callback);
    static std::shared_ptr<OidcAuthorizationSession>
    presentAuthorizationRequest(const OidcAuthorizationRequest &request, OidcAuthorizationSession::Callback callback);

    // Starts a logout with the agent; the caller keeps the session to resume or cancel it.
    static std::shared_ptr<OidcEndSessionImplementation>
    presentEndSessionRequest(const OidcEndSessionRequest &request, std::shared_ptr<OidcExternalUserAgent> agent,
                             OidcEndSessionImplementation::Callback callback);

    // How far an ID token's issue time may lie from now.
    static constexpr int idTokenIssuedAtTolerance = 600;
};
