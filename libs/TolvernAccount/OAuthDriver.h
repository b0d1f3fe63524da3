#pragma once

#include "TolvernConfig.h"
#include "TolvernError.h"
#include "TolvernRedaction.h"

#include "OidcAuthorizationRequest.h"
#include "OidcAuthorizationResponse.h"
#include "OidcError.h"
#include "OidcExternalUserAgent.h"
#include "OidcServiceConfiguration.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <memory>
#include <optional>

// The browser half of web sign-in: discovers the auth server, builds one code request
// with PKCE and the library's parameters, opens it in the default browser and answers
// the code, the verifier and the returned state. It exchanges nothing. One attempt is
// in flight at a time; a new one cancels the one before, and an attempt left alone
// ends as cancelled after the timeout.
class OAuthDriver : public QObject
{
    Q_OBJECT
public:
    enum class ProviderHint { apple, google, email };
    // Exact raw values; anything else gives no hint.
    static std::optional<ProviderHint> providerHint(const QString &rawValue);
    static QString rawValue(ProviderHint hint);

    struct AuthorizationResult {
        QString authorizationCode;
        std::optional<QString> codeVerifier;
        std::optional<QString> state;
    };

    explicit OAuthDriver(TolvernConfig config, QObject *parent = nullptr);
    ~OAuthDriver() override;

    // The browser opens here too; `window` (may be null) is brought back on return.
    QCoro::Task<AuthorizationResult> authorize(QObject *window, std::optional<ProviderHint> provider);
    QCoro::Task<AuthorizationResult> authorizeViaSystemBrowser(std::optional<ProviderHint> provider);

    // Hands a redirect to the attempt in flight; false without one or for another URL.
    bool resume(const QUrl &url);
    // Cancels the attempt in flight (its caller gets authorizationCancelled); false without
    // one. An attempt still discovering ends cancelled too, without opening its page.
    bool cancelInFlight();

    static OidcAuthorizationRequest::Parameters
    authorizationAdditionalParameters(const TolvernConfig &config, std::optional<ProviderHint> provider);

    static constexpr std::chrono::milliseconds defaultTimeout = std::chrono::seconds(300);
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

private:
    struct Attempt;
    struct Discovery;

    // The callbacks are made outside the coroutine, which only awaits their answers.
    std::shared_ptr<Discovery> discoverConfiguration();
    std::shared_ptr<Attempt> startAttempt(const OidcServiceConfiguration &configuration, QObject *window,
                                          std::optional<ProviderHint> provider);
    QCoro::Task<AuthorizationResult> present(QObject *window, std::optional<ProviderHint> provider);
    void finishAuthorize(Attempt &attempt, const std::optional<OidcAuthorizationResponse> &response,
                         const std::optional<OidcError> &error);
    void log(TolvernLogLevel level, const QString &event, const TolvernLogFields &fields) const;

    static TolvernError map(const OidcError &error);
    static TolvernLogFields oauthFailureFields(const std::optional<OidcError> &error,
                                               TolvernRedaction::Classification classification,
                                               std::optional<ProviderHint> provider);

    TolvernConfig m_config;
    TolvernLogger m_logger;
    std::shared_ptr<OidcExternalUserAgentSession> m_currentSession;
    quint64 m_currentAttempt = 0;
    quint64 m_attempts = 0;
    // Counts presentations from their start, discovery included, so a newer one also
    // wins over one still discovering.
    quint64 m_presentations = 0;
    std::chrono::milliseconds m_timeout = defaultTimeout;
};
