#pragma once

#include "OidcAuthorizationRequest.h"
#include "OidcAuthorizationResponse.h"
#include "OidcError.h"
#include "OidcExternalUserAgent.h"

#include <functional>
#include <memory>
#include <optional>

// One authorization attempt from opening the request to its redirect: checks that a
// URL is this flow's redirect, turns it into a response or an error, checks issuer
// and state, closes the user agent and calls back exactly once.
class OidcAuthorizationSession : public OidcExternalUserAgentSession
{
    Q_OBJECT
public:
    using Callback =
        std::function<void(std::optional<OidcAuthorizationResponse> response, std::optional<OidcError> error)>;

    explicit OidcAuthorizationSession(const OidcAuthorizationRequest &request, QObject *parent = nullptr);
    ~OidcAuthorizationSession() override;

    OidcAuthorizationRequest request() const { return m_request; }
    void presentAuthorization(std::shared_ptr<OidcExternalUserAgent> agent, Callback callback);

    using OidcExternalUserAgentSession::cancel;
    void cancel(std::function<void()> completion) override;
    // False for another URL (the flow stays open). Throws OidcException for this
    // flow's redirect after the flow finished: the caller must drop a finished session.
    bool resumeExternalUserAgentFlowWithURL(const QUrl &url) override;
    void failExternalUserAgentFlowWithError(const OidcError &error) override;
    bool isFinished() const override { return !m_callback; }
    bool shouldHandleURL(const QUrl &url) const;

    // Same scheme (any case), user, password, host, port and path; query and fragment aside.
    static bool URLMatchesRedirectionURL(const QUrl &url, const QUrl &redirectionURL);

private:
    void finish(std::optional<OidcAuthorizationResponse> response, std::optional<OidcError> error);

    OidcAuthorizationRequest m_request;
    std::shared_ptr<OidcExternalUserAgent> m_agent;
    Callback m_callback;
};
