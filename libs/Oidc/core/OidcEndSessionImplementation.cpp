#include "OidcEndSessionImplementation.h"

#include "OidcAuthorizationSession.h"
#include "OidcErrorUtilities.h"
#include "OidcTokenUtilities.h"
#include "OidcURLQueryComponent.h"

#include <QCoreApplication>
#include <QJsonObject>

namespace {
class RequestView : public OidcExternalUserAgentRequest
{
public:
    explicit RequestView(const OidcEndSessionRequest &request)
        : m_request(request)
    {
    }
    QUrl externalUserAgentRequestURL() const override { return m_request.externalUserAgentRequestURL(); }
    QString redirectScheme() const override { return m_request.redirectScheme(); }

private:
    const OidcEndSessionRequest &m_request;
};

void queued(std::function<void()> call)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
    else
        call();
}
} // namespace

OidcEndSessionImplementation::OidcEndSessionImplementation(const OidcEndSessionRequest &request, QObject *parent)
    : OidcExternalUserAgentSession(parent)
    , m_request(request)
{
}

OidcEndSessionImplementation::~OidcEndSessionImplementation() = default;

void OidcEndSessionImplementation::presentAuthorization(std::shared_ptr<OidcExternalUserAgent> agent, Callback callback)
{
    m_agent = std::move(agent);
    m_callback = std::move(callback);
    const RequestView view(m_request);
    const std::shared_ptr<OidcExternalUserAgent> presenting = m_agent;
    if (!presenting->presentExternalUserAgentRequest(view, this))
        finish(std::nullopt, OidcErrorUtilities::errorWithCode(OidcErrorCode::safariOpenError, nullptr,
                                                               QStringLiteral("Unable to open the browser.")));
}

void OidcEndSessionImplementation::cancel(std::function<void()> completion)
{
    const auto finishCancelled = [this, completion = std::move(completion)] {
        finish(std::nullopt, OidcErrorUtilities::errorWithCode(OidcErrorCode::userCanceledAuthorizationFlow));
        if (completion)
            queued(completion);
    };
    if (const std::shared_ptr<OidcExternalUserAgent> agent = m_agent)
        agent->dismissExternalUserAgent(true, finishCancelled);
    else
        finishCancelled();
}

bool OidcEndSessionImplementation::shouldHandleURL(const QUrl &url) const
{
    const std::optional<QUrl> redirect = m_request.postLogoutRedirectURL();
    return redirect && OidcAuthorizationSession::URLMatchesRedirectionURL(url, *redirect);
}

bool OidcEndSessionImplementation::resumeExternalUserAgentFlowWithURL(const QUrl &url)
{
    if (!shouldHandleURL(url))
        return false;
    if (!m_callback) {
        OidcErrorUtilities::raiseException(
            QStringLiteral("An OAuth redirect was sent to a OidcExternalUserAgentSession after it already completed."));
    }
    const QVariantMap parameters = OidcURLQueryComponent(url).dictionaryValue();
    const OidcEndSessionResponse candidate(m_request, parameters);
    std::optional<OidcEndSessionResponse> response;
    std::optional<OidcError> error;
    if (m_request.state() != candidate.state()) {
        error = OidcErrorUtilities::stateMismatch(m_request.state(), candidate.state(), parameters,
                                                  candidate.description());
    } else {
        response = candidate;
    }
    if (const std::shared_ptr<OidcExternalUserAgent> agent = m_agent)
        agent->dismissExternalUserAgent(true, [this, response, error] { finish(response, error); });
    else
        finish(response, error);
    return true;
}

void OidcEndSessionImplementation::failExternalUserAgentFlowWithError(const OidcError &error)
{
    finish(std::nullopt, error);
}

void OidcEndSessionImplementation::finish(std::optional<OidcEndSessionResponse> response, std::optional<OidcError> error)
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
