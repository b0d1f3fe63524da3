// The flow side of OidcAuthorizationService: presenting a request in the browser.
#include "OidcAuthorizationService.h"
#include "OidcExternalUserAgentMac.h"

std::shared_ptr<OidcAuthorizationSession>
OidcAuthorizationService::presentAuthorizationRequest(const OidcAuthorizationRequest &request,
                                                      std::shared_ptr<OidcExternalUserAgent> agent,
                                                      OidcAuthorizationSession::Callback callback)
{
    auto session = std::make_shared<OidcAuthorizationSession>(request);
    session->presentAuthorization(std::move(agent), std::move(callback));
    return session;
}

std::shared_ptr<OidcAuthorizationSession>
OidcAuthorizationService::presentAuthorizationRequest(const OidcAuthorizationRequest &request, QObject *window,
                                                      OidcAuthorizationSession::Callback callback)
{
    return presentAuthorizationRequest(request, std::make_shared<OidcExternalUserAgentMac>(window), std::move(callback));
}

std::shared_ptr<OidcAuthorizationSession>
OidcAuthorizationService::presentAuthorizationRequest(const OidcAuthorizationRequest &request, QObject *window,
                                                      bool prefersEphemeralSession,
                                                      OidcAuthorizationSession::Callback callback)
{
    return presentAuthorizationRequest(
        request, std::make_shared<OidcExternalUserAgentMac>(window, prefersEphemeralSession), std::move(callback));
}

std::shared_ptr<OidcAuthorizationSession>
OidcAuthorizationService::presentAuthorizationRequest(const OidcAuthorizationRequest &request,
                                                      OidcAuthorizationSession::Callback callback)
{
    return presentAuthorizationRequest(request, std::make_shared<OidcExternalUserAgentMac>(), std::move(callback));
}

std::shared_ptr<OidcEndSessionImplementation>
OidcAuthorizationService::presentEndSessionRequest(const OidcEndSessionRequest &request,
                                                   std::shared_ptr<OidcExternalUserAgent> agent,
                                                   OidcEndSessionImplementation::Callback callback)
{
    auto session = std::make_shared<OidcEndSessionImplementation>(request);
    session->presentAuthorization(std::move(agent), std::move(callback));
    return session;
}
