#pragma once

#include "OidcAuthorizationRequest.h"
#include "OidcAuthorizationResponse.h"
#include "OidcError.h"
#include "OidcExternalUserAgent.h"
#include "OidcFlowSession.h"

#include <functional>
#include <memory>
#include <optional>

// One authorization attempt from opening the request to its redirect: checks that a
// URL is this flow's redirect, turns it into a response or an error, checks issuer
// and state, closes the user agent and calls back exactly once.
class OidcAuthorizationSession : public OidcFlowSession<OidcAuthorizationRequest, OidcAuthorizationResponse>
{
public:
    explicit OidcAuthorizationSession(const OidcAuthorizationRequest &request, QObject *parent = nullptr);
    ~OidcAuthorizationSession() override;

    // False for another URL (the flow stays open). Throws OidcException for this
    // flow's redirect after the flow finished: the caller must drop a finished session.
    bool resumeExternalUserAgentFlowWithURL(const QUrl &url) override;
    bool shouldHandleURL(const QUrl &url) const;

    // Same scheme (any case), user, password, host, port and path; query and fragment aside.
    static bool URLMatchesRedirectionURL(const QUrl &url, const QUrl &redirectionURL);

protected:
    OidcError cancelError() const override;
};
