// The presenting road of OidcAuthState: sign-in, then the code exchange.
#include "OidcAuthState.h"
#include "OidcAuthorizationService.h"
#include "OidcErrorUtilities.h"
#include "OidcExternalUserAgentMac.h"

std::shared_ptr<OidcExternalUserAgentSession>
OidcAuthState::authStateByPresentingAuthorizationRequest(const OidcAuthorizationRequest &request,
                                                         std::shared_ptr<OidcExternalUserAgent> agent,
                                                         PresentCallback callback)
{
    return OidcAuthorizationService::presentAuthorizationRequest(
        request, std::move(agent),
        [callback = std::move(callback)](std::optional<OidcAuthorizationResponse> response,
                                         std::optional<OidcError> error) {
            if (!response) {
                callback(nullptr, error);
                return;
            }
            if (response->request().responseType() != QLatin1String("code")) {
                callback(std::make_shared<OidcAuthState>(response), std::nullopt);
                return;
            }
            // Asking for the exchange request without a code would throw.
            if (!response->authorizationCode()) {
                callback(nullptr, OidcErrorUtilities::errorWithCode(OidcErrorCode::tokenResponseConstructionError,
                                                                    nullptr,
                                                                    QStringLiteral("Authorization response has no code.")));
                return;
            }
            OidcAuthorizationService::performTokenRequest(
                response->tokenExchangeRequest(), response,
                [callback, response](std::optional<OidcTokenResponse> tokens, std::optional<OidcError> failure) {
                    if (!tokens) {
                        callback(nullptr, failure);
                        return;
                    }
                    callback(std::make_shared<OidcAuthState>(response, tokens), std::nullopt);
                });
        });
}

std::shared_ptr<OidcExternalUserAgentSession>
OidcAuthState::authStateByPresentingAuthorizationRequest(const OidcAuthorizationRequest &request, QObject *window,
                                                         PresentCallback callback)
{
    return authStateByPresentingAuthorizationRequest(request, std::make_shared<OidcExternalUserAgentMac>(window),
                                                     std::move(callback));
}

std::shared_ptr<OidcExternalUserAgentSession>
OidcAuthState::authStateByPresentingAuthorizationRequest(const OidcAuthorizationRequest &request, QObject *window,
                                                         bool prefersEphemeralSession, PresentCallback callback)
{
    return authStateByPresentingAuthorizationRequest(
        request, std::make_shared<OidcExternalUserAgentMac>(window, prefersEphemeralSession), std::move(callback));
}

std::shared_ptr<OidcExternalUserAgentSession>
OidcAuthState::authStateByPresentingAuthorizationRequest(const OidcAuthorizationRequest &request,
                                                         PresentCallback callback)
{
    return authStateByPresentingAuthorizationRequest(request, std::make_shared<OidcExternalUserAgentMac>(),
                                                     std::move(callback));
}
