#pragma once

#include "OidcError.h"
#include "OidcErrorUtilities.h"
#include "OidcExternalUserAgent.h"

#include <QCoreApplication>

#include <functional>
#include <memory>
#include <optional>

// What the sign-in and the logout flow share: presenting the request with an agent,
// cancelling, failing, and finishing with exactly one callback, queued to the
// application's thread. Each flow reads its own redirect.
template<typename Request, typename Response>
class OidcFlowSession : public OidcExternalUserAgentSession
{
public:
    using Callback = std::function<void(std::optional<Response> response, std::optional<OidcError> error)>;

    explicit OidcFlowSession(const Request &request, QObject *parent = nullptr)
        : OidcExternalUserAgentSession(parent)
        , m_request(request)
    {
    }

    Request request() const { return m_request; }

    void presentAuthorization(std::shared_ptr<OidcExternalUserAgent> agent, Callback callback)
    {
        m_agent = std::move(agent);
        m_callback = std::move(callback);
        const RequestView view(m_request);
        // Held here: finishing drops the session's reference while the agent is still in its call.
        const std::shared_ptr<OidcExternalUserAgent> presenting = m_agent;
        // An agent that failed the flow itself has finished it already; this does nothing then.
        if (!presenting->presentExternalUserAgentRequest(view, this))
            finish(std::nullopt, OidcErrorUtilities::errorWithCode(OidcErrorCode::safariOpenError, nullptr,
                                                                   QStringLiteral("Unable to open the browser.")));
    }

    using OidcExternalUserAgentSession::cancel;
    void cancel(std::function<void()> completion) override
    {
        const auto finishCancelled = [this, completion = std::move(completion)] {
            finish(std::nullopt, cancelError());
            if (completion)
                queued(completion);
        };
        if (const std::shared_ptr<OidcExternalUserAgent> agent = m_agent)
            agent->dismissExternalUserAgent(true, finishCancelled);
        else
            finishCancelled();
    }

    void failExternalUserAgentFlowWithError(const OidcError &error) override { finish(std::nullopt, error); }
    bool isFinished() const override { return !m_callback; }

protected:
    // The error a cancel ends the flow with.
    virtual OidcError cancelError() const = 0;

    // The redirect was this flow's: close the agent, then call back.
    void dismissAndFinish(std::optional<Response> response, std::optional<OidcError> error)
    {
        if (const std::shared_ptr<OidcExternalUserAgent> agent = m_agent)
            agent->dismissExternalUserAgent(true, [this, response, error] { finish(response, error); });
        else
            finish(response, error);
    }

    void finish(std::optional<Response> response, std::optional<OidcError> error)
    {
        Callback callback = std::move(m_callback);
        m_callback = nullptr;
        m_agent.reset();
        if (!callback)
            return;
        queued([callback = std::move(callback), response = std::move(response), error = std::move(error)] {
            callback(response, error);
        });
    }

    Request m_request;

private:
    class RequestView : public OidcExternalUserAgentRequest
    {
    public:
        explicit RequestView(const Request &request)
            : m_request(request)
        {
        }
        QUrl externalUserAgentRequestURL() const override { return m_request.externalUserAgentRequestURL(); }
        QString redirectScheme() const override { return m_request.redirectScheme(); }

    private:
        const Request &m_request;
    };

    static void queued(std::function<void()> call)
    {
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
        else
            call();
    }

    std::shared_ptr<OidcExternalUserAgent> m_agent;
    Callback m_callback;
};
