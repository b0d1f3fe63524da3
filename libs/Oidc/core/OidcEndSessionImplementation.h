#pragma once

#include "OidcEndSessionRequest.h"
#include "OidcEndSessionResponse.h"
#include "OidcError.h"
#include "OidcExternalUserAgent.h"
#include "OidcFlowSession.h"

#include <functional>
#include <memory>
#include <optional>

// One logout in the browser, from opening the end-session request to its redirect;
// works as the authorization session does, without looking for an "error" parameter.
class OidcEndSessionImplementation : public OidcFlowSession<OidcEndSessionRequest, OidcEndSessionResponse>
{
public:
    explicit OidcEndSessionImplementation(const OidcEndSessionRequest &request, QObject *parent = nullptr);
    ~OidcEndSessionImplementation() override;

    bool resumeExternalUserAgentFlowWithURL(const QUrl &url) override;
    bool shouldHandleURL(const QUrl &url) const;

protected:
    OidcError cancelError() const override;
};
