#pragma once

#include "OidcAuthorizationResponse.h"
#include "OidcAuthorizationSession.h"
#include "OidcError.h"
#include "OidcRegistrationResponse.h"
#include "OidcTokenRequest.h"
#include "OidcTokenResponse.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

// The latest authorization, token and registration responses of one sign-in: whether
// the tokens are fresh, and actions run with fresh tokens, refreshing first when
// needed (one refresh at a time; actions arriving meanwhile share its result).
// Listeners connect to its signals; they are told after every change.
class OidcAuthState : public QObject
{
    Q_OBJECT
public:
    using Action = std::function<void(std::optional<QString> accessToken, std::optional<QString> idToken,
                                      std::optional<OidcError> error)>;

    using PresentCallback = std::function<void(std::shared_ptr<OidcAuthState> state, std::optional<OidcError> error)>;

    // Runs the sign-in and, for the "code" response type, the code exchange; calls
    // back with a new state or the error. A redirect without a code is an error here.
    static std::shared_ptr<OidcExternalUserAgentSession>
    authStateByPresentingAuthorizationRequest(const OidcAuthorizationRequest &request,
                                              std::shared_ptr<OidcExternalUserAgent> agent, PresentCallback callback);
    // In the default browser; `window` (may be null) is brought back on return.
    static std::shared_ptr<OidcExternalUserAgentSession>
    authStateByPresentingAuthorizationRequest(const OidcAuthorizationRequest &request, QObject *window,
                                              PresentCallback callback);
    static std::shared_ptr<OidcExternalUserAgentSession>
    authStateByPresentingAuthorizationRequest(const OidcAuthorizationRequest &request, QObject *window,
                                              bool prefersEphemeralSession, PresentCallback callback);
    static std::shared_ptr<OidcExternalUserAgentSession>
    authStateByPresentingAuthorizationRequest(const OidcAuthorizationRequest &request, PresentCallback callback);

    explicit OidcAuthState(const std::optional<OidcAuthorizationResponse> &authorizationResponse,
                           const std::optional<OidcTokenResponse> &tokenResponse = std::nullopt,
                           const std::optional<OidcRegistrationResponse> &registrationResponse = std::nullopt,
                           QObject *parent = nullptr);
    ~OidcAuthState() override;

    // Nothing while an authorization error is set; else the last token response's
    // value, else the last authorization response's.
    std::optional<QString> accessToken() const;
    std::optional<QString> tokenType() const;
    std::optional<QDateTime> accessTokenExpirationDate() const;
    std::optional<QString> idToken() const;
    bool isAuthorized() const;

    std::optional<QString> refreshToken() const { return m_refreshToken; }
    std::optional<QString> scope() const { return m_scope; }
    bool needsTokenRefresh() const { return m_needsTokenRefresh; }
    std::optional<OidcAuthorizationResponse> lastAuthorizationResponse() const { return m_lastAuthorizationResponse; }
    std::optional<OidcTokenResponse> lastTokenResponse() const { return m_lastTokenResponse; }
    std::optional<OidcRegistrationResponse> lastRegistrationResponse() const { return m_lastRegistrationResponse; }
    std::optional<OidcError> authorizationError() const { return m_authorizationError; }

    void updateWithRegistrationResponse(const OidcRegistrationResponse &response);
    void updateWithAuthorizationResponse(const std::optional<OidcAuthorizationResponse> &response,
                                         const std::optional<OidcError> &error);
    void updateWithTokenResponse(const std::optional<OidcTokenResponse> &response, const std::optional<OidcError> &error);
    void updateWithAuthorizationError(const OidcError &error);

    // Throws OidcException without a refresh token.
    OidcTokenRequest tokenRefreshRequest(const std::optional<OidcTokenRequest::Parameters> &additionalParameters
                                         = std::nullopt,
                                         const std::optional<OidcTokenRequest::Parameters> &additionalHeaders
                                         = std::nullopt) const;
    void setNeedsTokenRefresh();
    // Runs `action` with fresh tokens in `context`'s thread (the application's when none).
    void performActionWithFreshTokens(Action action,
                                      const std::optional<OidcTokenRequest::Parameters> &additionalRefreshParameters
                                      = std::nullopt,
                                      QObject *context = nullptr);

    // Tokens redacted.
    QString description() const;
    // The registration response is not kept; the error only by domain and code.
    QJsonObject archive() const;
    static OidcAuthState *fromArchive(const QJsonObject &archive, QObject *parent = nullptr);

    // A fresh token must still be valid this long.
    static constexpr int expiryMarginSeconds = 60;

Q_SIGNALS:
    void stateChanged();
    void authorizationErrorEncountered(const OidcError &error);
    // A refresh failed for a reason other than the token endpoint's refusal.
    void transientErrorEncountered(const OidcError &error);

private:
    struct PendingAction {
        Action action;
        QPointer<QObject> context;
    };

    void finishRefresh(const std::optional<OidcTokenResponse> &response, const std::optional<OidcError> &error);
    static void dispatch(const PendingAction &pending, std::optional<QString> accessToken,
                         std::optional<QString> idToken, std::optional<OidcError> error);

    QMutex m_pendingMutex;
    std::optional<QList<PendingAction>> m_pendingActions;
    bool m_needsTokenRefresh = false;
    std::optional<QString> m_refreshToken;
    std::optional<QString> m_scope;
    std::optional<OidcAuthorizationResponse> m_lastAuthorizationResponse;
    std::optional<OidcTokenResponse> m_lastTokenResponse;
    std::optional<OidcRegistrationResponse> m_lastRegistrationResponse;
    std::optional<OidcError> m_authorizationError;
};
