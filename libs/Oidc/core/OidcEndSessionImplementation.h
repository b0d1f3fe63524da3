#pragma once

#include "OidcEndSessionRequest.h"
#include "OidcEndSessionResponse.h"
#include "OidcError.h"
#include "OidcExternalUserAgent.h"

#include <functional>
#include <memory>
#include <optional>

// One logout in the browser, from opening the end-session request to its redirect;
// works as the authorization session does, without looking for an "error" parameter.
class OidcEndSessionImplementation : public OidcExternalUserAgentSession
{
    Q_OBJECT
public:
    using Callback = std::function<void(std::optional<OidcEndSessionResponse> response, std::optional<OidcError> error)>;

    explicit OidcEndSessionImplementation(const OidcEndSessionRequest &request, QObject *parent = nullptr);
    ~OidcEndSessionImplementation() override;

    OidcEndSessionRequest request() const { return m_request; }
    void presentAuthorization(std::shared_ptr<OidcExternalUserAgent> agent, Callback callback);

    using OidcExternalUserAgentSession::cancel;
    void cancel(std::function<void()> completion) override;
    bool resumeExternalUserAgentFlowWithURL(const QUrl &url) override;
    void failExternalUserAgentFlowWithError(const OidcError &error) override;
    bool isFinished() const override { return !m_callback; }
    bool shouldHandleURL(const QUrl &url) const;

private:
    void finish(std::optional<OidcEndSessionResponse> response, std::optional<OidcError> error);

    OidcEndSessionRequest m_request;
    std::shared_ptr<OidcExternalUserAgent> m_agent;
    Callback m_callback;
};
