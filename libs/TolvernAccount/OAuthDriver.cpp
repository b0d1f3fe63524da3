#include "OAuthDriver.h"

#include "OidcAuthorizationService.h"
#include "OidcExternalUserAgentMac.h"

#include <QTimer>

#include <coroutine>
#include <exception>

namespace {
const QString codeResponseType = QStringLiteral("code");

// One answer delivered by a callback to the coroutine waiting for it.
template<typename T>
struct OneShot {
    std::optional<T> value;
    std::exception_ptr error;
    std::coroutine_handle<> waiter;
    bool done = false;

    void succeed(T result)
    {
        if (done)
            return;
        value = std::move(result);
        complete();
    }
    void fail(const TolvernError &failure)
    {
        if (done)
            return;
        error = std::make_exception_ptr(failure);
        complete();
    }
    void complete()
    {
        done = true;
        if (auto handle = std::exchange(waiter, {}))
            handle.resume();
    }
};

template<typename T>
struct OneShotAwaiter {
    std::shared_ptr<OneShot<T>> shot;
    bool await_ready() const { return shot->done; }
    void await_suspend(std::coroutine_handle<> handle) { shot->waiter = handle; }
    T await_resume()
    {
        if (shot->error)
            std::rethrow_exception(shot->error);
        return std::move(*shot->value);
    }
};
} // namespace

struct OAuthDriver::Attempt {
    quint64 id = 0;
    std::optional<OidcAuthorizationRequest> request;
    std::optional<ProviderHint> provider;
    std::weak_ptr<OidcExternalUserAgentSession> session;
    QPointer<QTimer> timeout;
    std::shared_ptr<OneShot<AuthorizationResult>> shot = std::make_shared<OneShot<AuthorizationResult>>();
};

struct OAuthDriver::Discovery : OneShot<OidcServiceConfiguration> {
};

std::optional<OAuthDriver::ProviderHint> OAuthDriver::providerHint(const QString &rawValue)
{
    for (const ProviderHint hint : {ProviderHint::apple, ProviderHint::google, ProviderHint::email}) {
        if (OAuthDriver::rawValue(hint) == rawValue)
            return hint;
    }
    return std::nullopt;
}

QString OAuthDriver::rawValue(ProviderHint hint)
{
    switch (hint) {
    case ProviderHint::apple:
        return QStringLiteral("apple");
    case ProviderHint::google:
        return QStringLiteral("google");
    case ProviderHint::email:
        return QStringLiteral("email");
    }
    return {};
}

OAuthDriver::OAuthDriver(TolvernConfig config, QObject *parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_logger(m_config.logger())
{
}

OAuthDriver::~OAuthDriver()
{
    // The attempt's callback finds the driver gone and ends its caller as cancelled.
    if (const auto session = std::exchange(m_currentSession, {}))
        session->cancel();
}

QCoro::Task<OAuthDriver::AuthorizationResult> OAuthDriver::authorize(QObject *window,
                                                                     std::optional<ProviderHint> provider)
{
    return present(window, provider);
}

QCoro::Task<OAuthDriver::AuthorizationResult> OAuthDriver::authorizeViaSystemBrowser(std::optional<ProviderHint> provider)
{
    return present(nullptr, provider);
}

bool OAuthDriver::resume(const QUrl &url)
{
    // A finished session whose callback is still queued is no longer in flight.
    if (!m_currentSession || m_currentSession->isFinished())
        return false;
    return m_currentSession->resumeExternalUserAgentFlowWithURL(url);
}

bool OAuthDriver::cancelInFlight()
{
    // An attempt still discovering ends as cancelled instead of opening its page.
    ++m_presentations;
    if (!m_currentSession || m_currentSession->isFinished())
        return false;
    // Held: the cancel's callback may clear the record while the session is in its call.
    const std::shared_ptr<OidcExternalUserAgentSession> session = m_currentSession;
    session->cancel();
    return true;
}

OidcAuthorizationRequest::Parameters OAuthDriver::authorizationAdditionalParameters(const TolvernConfig &config,
                                                                                   std::optional<ProviderHint> provider)
{
    OidcAuthorizationRequest::Parameters parameters{
        {QStringLiteral("tolvern_app_slug"), config.appSlug()},
        {QStringLiteral("tolvern_client_version"), config.clientVersion()},
        {QStringLiteral("tolvern_lib_version"), config.libVersion()},
    };
    if (provider) {
        parameters.insert(QStringLiteral("provider"), rawValue(*provider));
        if (*provider == ProviderHint::google)
            parameters.insert(QStringLiteral("prompt"), QStringLiteral("select_account"));
    }
    return parameters;
}

std::shared_ptr<OAuthDriver::Discovery> OAuthDriver::discoverConfiguration()
{
    auto shot = std::make_shared<Discovery>();
    const QPointer<OAuthDriver> self(this);
    OidcAuthorizationService::discoverServiceConfigurationForIssuer(
        m_config.authorityURL(), [self, shot](std::optional<OidcServiceConfiguration> configuration,
                                              std::optional<OidcError> error) {
            if (error) {
                if (self)
                    self->log(TolvernLogLevel::warning, QStringLiteral("oauth_discovery_failed"),
                              oauthFailureFields(error, TolvernRedaction::Classification::transport, std::nullopt));
                shot->fail(map(*error));
            } else if (configuration) {
                shot->succeed(*configuration);
            } else {
                if (self)
                    self->log(TolvernLogLevel::warning, QStringLiteral("oauth_discovery_failed"),
                              {{QStringLiteral("class"), QStringLiteral("transport")}});
                shot->fail(TolvernError::authorizationFailed(QStringLiteral("discovery_empty")));
            }
        });
    return shot;
}

QCoro::Task<OAuthDriver::AuthorizationResult> OAuthDriver::present(QObject *window, std::optional<ProviderHint> provider)
{
    // Named awaiters: GCC 12 destroys temporaries inside a co_await expression twice.
    const QPointer<QObject> presentingWindow(window);
    const quint64 presentation = ++m_presentations;
    OneShotAwaiter<OidcServiceConfiguration> discovery{discoverConfiguration()};
    const QPointer<OAuthDriver> self(this);
    const OidcServiceConfiguration configuration = co_await discovery;
    // The driver may have gone while discovery ran, or a newer attempt begun: opening
    // this one now would cancel that one.
    if (!self || self->m_presentations != presentation)
        throw TolvernError::authorizationCancelled();
    const std::shared_ptr<Attempt> attempt = self->startAttempt(configuration, presentingWindow.data(), provider);
    OneShotAwaiter<AuthorizationResult> answer{attempt->shot};
    co_return co_await answer;
}

std::shared_ptr<OAuthDriver::Attempt> OAuthDriver::startAttempt(const OidcServiceConfiguration &configuration,
                                                                QObject *window, std::optional<ProviderHint> provider)
{
    auto attempt = std::make_shared<Attempt>();
    attempt->provider = provider;
    attempt->request = OidcAuthorizationRequest::create(configuration, m_config.clientID(), m_config.scopes(),
                                                        m_config.redirectURI(), codeResponseType,
                                                        authorizationAdditionalParameters(m_config, provider));
    if (!attempt->request) {
        // Without state and PKCE the flow would be unprotected: nothing is opened.
        log(TolvernLogLevel::warning, QStringLiteral("oauth_authorize_failed"),
            oauthFailureFields(std::nullopt, TolvernRedaction::Classification::auth, provider));
        throw TolvernError::authorizationFailed(QStringLiteral("random_unavailable"));
    }

    // One browser attempt at a time: the earlier caller gets authorizationCancelled.
    if (const auto earlier = std::exchange(m_currentSession, {}))
        earlier->cancel();

    attempt->id = ++m_attempts;
    m_currentAttempt = attempt->id;
    attempt->timeout = new QTimer(this);
    attempt->timeout->setSingleShot(true);
    // Cancels its own attempt only; a finished attempt's timer is gone with it.
    connect(attempt->timeout, &QTimer::timeout, this, [running = std::weak_ptr<Attempt>(attempt)] {
        if (const auto current = running.lock()) {
            if (const auto flow = current->session.lock())
                flow->cancel();
        }
    });

    const QPointer<OAuthDriver> self(this);
    auto callback = [self, attempt](std::optional<OidcAuthorizationResponse> response, std::optional<OidcError> error) {
        if (attempt->timeout)
            attempt->timeout->deleteLater();
        if (!self) {
            attempt->shot->fail(TolvernError::authorizationCancelled());
            return;
        }
        if (self->m_currentAttempt == attempt->id) {
            self->m_currentSession.reset();
            self->m_currentAttempt = 0;
        }
        self->finishAuthorize(*attempt, response, error);
    };
    const std::shared_ptr<OidcAuthorizationSession> session =
        window ? OidcAuthorizationService::presentAuthorizationRequest(*attempt->request, window, std::move(callback))
               : OidcAuthorizationService::presentAuthorizationRequest(
                     *attempt->request, std::make_shared<OidcExternalUserAgentMac>(), std::move(callback));
    attempt->session = session;
    m_currentSession = session;
    attempt->timeout->start(m_timeout);
    return attempt;
}

void OAuthDriver::finishAuthorize(Attempt &attempt, const std::optional<OidcAuthorizationResponse> &response,
                                  const std::optional<OidcError> &error)
{
    if (error) {
        const TolvernError mapped = map(*error);
        const bool isCancel = mapped == TolvernError::authorizationCancelled();
        log(isCancel ? TolvernLogLevel::info : TolvernLogLevel::warning, QStringLiteral("oauth_authorize_failed"),
            oauthFailureFields(error,
                               isCancel ? TolvernRedaction::Classification::cancelled
                                        : TolvernRedaction::Classification::auth,
                               attempt.provider));
        attempt.shot->fail(mapped);
        return;
    }
    if (response && response->authorizationCode()) {
        attempt.shot->succeed(
            AuthorizationResult{*response->authorizationCode(), attempt.request->codeVerifier(), response->state()});
        return;
    }
    log(TolvernLogLevel::warning, QStringLiteral("oauth_authorize_failed"),
        oauthFailureFields(std::nullopt, TolvernRedaction::Classification::auth, attempt.provider));
    attempt.shot->fail(TolvernError::authorizationFailed(QStringLiteral("empty_response")));
}

void OAuthDriver::log(TolvernLogLevel level, const QString &event, const TolvernLogFields &fields) const
{
    if (m_logger)
        m_logger(level, event, fields);
}

TolvernError OAuthDriver::map(const OidcError &error)
{
    if (error.domain == OidcErrorDomain::general && error.code == OidcErrorCode::userCanceledAuthorizationFlow)
        return TolvernError::authorizationCancelled();
    return TolvernError::authorizationFailed(error.description());
}

TolvernLogFields OAuthDriver::oauthFailureFields(const std::optional<OidcError> &error,
                                                 TolvernRedaction::Classification classification,
                                                 std::optional<ProviderHint> provider)
{
    TolvernLogFields fields{{QStringLiteral("class"), TolvernRedaction::rawValue(classification)}};
    if (provider)
        fields.insert(QStringLiteral("provider"), rawValue(*provider));
    if (error) {
        fields.insert(QStringLiteral("error_domain"), error->domain);
        fields.insert(QStringLiteral("error_code"), QString::number(error->code));
    }
    return fields;
}
