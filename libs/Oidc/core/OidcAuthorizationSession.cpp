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
    explicit RequestView(const OidcAuthorizationRequest &request)
        : m_request(request)
    {
    }
    QUrl externalUserAgentRequestURL() const override { return m_request.externalUserAgentRequestURL(); }
    QString redirectScheme() const override { return m_request.redirectScheme(); }

private:
    const OidcAuthorizationRequest &m_request;
};

QString withoutTrailingSlash(const QString &text)
{
    return text.endsWith(QLatin1Char('/')) ? text.chopped(1) : text;
}

// Absent and present never match; two absent match.
template<typename T>
bool sameOptional(bool hasA, const T &a, bool hasB, const T &b)
{
    return hasA == hasB && (!hasA || a == b);
}
} // namespace

OidcAuthorizationSession::OidcAuthorizationSession(const OidcAuthorizationRequest &request, QObject *parent)
    : OidcExternalUserAgentSession(parent)
    , m_request(request)
{
}

OidcAuthorizationSession::~OidcAuthorizationSession() = default;

void OidcAuthorizationSession::presentAuthorization(std::shared_ptr<OidcExternalUserAgent> agent, Callback callback)
{
    m_agent = std::move(agent);
    m_callback = std::move(callback);
    const RequestView view(m_request);
    const std::shared_ptr<OidcExternalUserAgent> presenting = m_agent;
    const bool opened = presenting->presentExternalUserAgentRequest(view, this);
    // An agent that failed the flow itself has finished it already; this does nothing then.
    if (!opened)
        finish(std::nullopt, OidcErrorUtilities::errorWithCode(OidcErrorCode::safariOpenError, nullptr,
                                                               QStringLiteral("Unable to open the browser.")));
}

void OidcAuthorizationSession::cancel(std::function<void()> completion)
{
    const auto finishCancelled = [this, completion = std::move(completion)] {
        finish(std::nullopt, OidcErrorUtilities::errorWithCode(OidcErrorCode::userCanceledAuthorizationFlow, nullptr,
                                                               QStringLiteral("Authorization flow was cancelled.")));
        if (completion) {
            if (QCoreApplication *app = QCoreApplication::instance())
                QMetaObject::invokeMethod(app, completion, Qt::QueuedConnection);
            else
                completion();
        }
    };
    // Held here: finishing drops the session's reference while the agent is still in its call.
    if (const std::shared_ptr<OidcExternalUserAgent> agent = m_agent)
        agent->dismissExternalUserAgent(true, finishCancelled);
    else
        finishCancelled();
}

bool OidcAuthorizationSession::shouldHandleURL(const QUrl &url) const
{
    const std::optional<QUrl> redirect = m_request.redirectURL();
    return redirect && URLMatchesRedirectionURL(url, *redirect);
}

bool OidcAuthorizationSession::URLMatchesRedirectionURL(const QUrl &url, const QUrl &redirectionURL)
{
    const QUrl a = url.adjusted(QUrl::NormalizePathSegments);
    const QUrl b = redirectionURL.adjusted(QUrl::NormalizePathSegments);
    if (a.scheme().compare(b.scheme(), Qt::CaseInsensitive) != 0)
        return false;
    return sameOptional(!a.userName().isNull(), a.userName(), !b.userName().isNull(), b.userName())
        && sameOptional(!a.password().isNull(), a.password(), !b.password().isNull(), b.password())
        && sameOptional(!a.host(QUrl::FullyEncoded).isNull(), a.host(QUrl::FullyEncoded),
                        !b.host(QUrl::FullyEncoded).isNull(), b.host(QUrl::FullyEncoded))
        && a.port() == b.port()
        && sameOptional(!a.path().isEmpty(), a.path(), !b.path().isEmpty(), b.path());
}

bool OidcAuthorizationSession::resumeExternalUserAgentFlowWithURL(const QUrl &url)
{
    if (!shouldHandleURL(url))
        return false;
    if (!m_callback) {
        OidcErrorUtilities::raiseException(
            QStringLiteral("An OAuth redirect was sent to a OidcExternalUserAgentSession after it already completed."));
    }
    const OidcURLQueryComponent query(url);
    const QVariantMap parameters = query.dictionaryValue();
    std::optional<OidcAuthorizationResponse> response;
    std::optional<OidcError> error;
    if (parameters.contains(QStringLiteral("error"))) {
        error = OidcErrorUtilities::OAuthError(OidcErrorDomain::oauthAuthorization,
                                               QJsonObject::fromVariantMap(parameters));
    } else {
        const OidcAuthorizationResponse candidate(m_request, parameters);
        const QVariant issuer = parameters.value(QStringLiteral("iss"));
        const std::optional<QUrl> expectedIssuer = m_request.configuration().issuer();
        const std::optional<QString> expectedState = m_request.state();
        const std::optional<QString> receivedState = candidate.state();
        // A redirect from another issuer carries a code meant for someone else: drop it.
        if (issuer.isValid() && expectedIssuer
            && withoutTrailingSlash(issuer.toString())
                != withoutTrailingSlash(expectedIssuer->toString(QUrl::FullyEncoded))) {
            error = OidcErrorUtilities::errorWithCode(OidcErrorCode::idTokenFailedValidationError, nullptr,
                                                      QStringLiteral("Issuer mismatch"));
        } else if (expectedState != receivedState) {
            error = OidcErrorUtilities::stateMismatch(expectedState, receivedState, parameters,
                                                      candidate.description());
        } else {
            response = candidate;
        }
    }
    if (const std::shared_ptr<OidcExternalUserAgent> agent = m_agent)
        agent->dismissExternalUserAgent(true, [this, response, error] { finish(response, error); });
    else
        finish(response, error);
    return true;
}

void OidcAuthorizationSession::failExternalUserAgentFlowWithError(const OidcError &error)
{
    finish(std::nullopt, error);
}

void OidcAuthorizationSession::finish(std::optional<OidcAuthorizationResponse> response, std::optional<OidcError> error)
{
    Callback callback = std::move(m_callback);
    m_callback = nullptr;
    m_agent.reset();
    if (!callback)
        return;
    auto call = [callback = std::move(callback), response = std::move(response), error = std::move(error)] {
        callback(response, error);
    };
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
    else
        call();
}
