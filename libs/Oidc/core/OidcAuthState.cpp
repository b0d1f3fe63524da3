#include "OidcAuthState.h"

#include "OidcAuthorizationService.h"
#include "OidcErrorUtilities.h"
#include "OidcTokenUtilities.h"

#include <QCoreApplication>

namespace {
QString text(const std::optional<QString> &value)
{
    return value ? *value : QStringLiteral("(null)");
}
} // namespace

OidcAuthState::OidcAuthState(const std::optional<OidcAuthorizationResponse> &authorizationResponse,
                             const std::optional<OidcTokenResponse> &tokenResponse,
                             const std::optional<OidcRegistrationResponse> &registrationResponse, QObject *parent)
    : QObject(parent)
{
    if (registrationResponse)
        updateWithRegistrationResponse(*registrationResponse);
    if (authorizationResponse)
        updateWithAuthorizationResponse(authorizationResponse, std::nullopt);
    if (tokenResponse)
        updateWithTokenResponse(tokenResponse, std::nullopt);
}

OidcAuthState::~OidcAuthState() = default;

std::optional<QString> OidcAuthState::accessToken() const
{
    if (m_authorizationError)
        return std::nullopt;
    if (m_lastTokenResponse)
        return m_lastTokenResponse->accessToken();
    return m_lastAuthorizationResponse ? m_lastAuthorizationResponse->accessToken() : std::nullopt;
}

std::optional<QString> OidcAuthState::tokenType() const
{
    if (m_authorizationError)
        return std::nullopt;
    if (m_lastTokenResponse)
        return m_lastTokenResponse->tokenType();
    return m_lastAuthorizationResponse ? m_lastAuthorizationResponse->tokenType() : std::nullopt;
}

std::optional<QDateTime> OidcAuthState::accessTokenExpirationDate() const
{
    if (m_authorizationError)
        return std::nullopt;
    if (m_lastTokenResponse)
        return m_lastTokenResponse->accessTokenExpirationDate();
    return m_lastAuthorizationResponse ? m_lastAuthorizationResponse->accessTokenExpirationDate() : std::nullopt;
}

std::optional<QString> OidcAuthState::idToken() const
{
    if (m_authorizationError)
        return std::nullopt;
    if (m_lastTokenResponse)
        return m_lastTokenResponse->idToken();
    return m_lastAuthorizationResponse ? m_lastAuthorizationResponse->idToken() : std::nullopt;
}

bool OidcAuthState::isAuthorized() const
{
    if (m_authorizationError)
        return false;
    return accessToken() || idToken() || m_refreshToken;
}

void OidcAuthState::updateWithRegistrationResponse(const OidcRegistrationResponse &response)
{
    m_lastRegistrationResponse = response;
    m_refreshToken.reset();
    m_scope.reset();
    m_lastAuthorizationResponse.reset();
    m_lastTokenResponse.reset();
    m_authorizationError.reset();
    Q_EMIT stateChanged();
}

void OidcAuthState::updateWithAuthorizationResponse(const std::optional<OidcAuthorizationResponse> &response,
                                                    const std::optional<OidcError> &error)
{
    if (error) {
        if (error->domain == OidcErrorDomain::oauthAuthorization)
            updateWithAuthorizationError(*error);
        return;
    }
    if (!response)
        return;
    m_lastAuthorizationResponse = response;
    m_lastTokenResponse.reset();
    m_refreshToken.reset();
    m_authorizationError.reset();
    m_scope = response->scope() ? response->scope() : response->request().scope();
    Q_EMIT stateChanged();
}

void OidcAuthState::updateWithTokenResponse(const std::optional<OidcTokenResponse> &response,
                                            const std::optional<OidcError> &error)
{
    if (m_authorizationError) {
        qWarning("OidcAuthState:updateWithTokenResponse should not be called in an error state [%s] "
                 "callupdateWithAuthorizationResponse with the result of the fresh authorization responsefirst",
                 qPrintable(m_authorizationError->description()));
        m_authorizationError.reset();
    }
    if (error) {
        if (error->domain == OidcErrorDomain::oauthToken)
            updateWithAuthorizationError(*error);
        return;
    }
    if (!response)
        return;
    m_lastTokenResponse = response;
    if (response->scope())
        m_scope = response->scope();
    if (response->refreshToken())
        m_refreshToken = response->refreshToken();
    Q_EMIT stateChanged();
}

void OidcAuthState::updateWithAuthorizationError(const OidcError &error)
{
    m_authorizationError = error;
    Q_EMIT stateChanged();
    Q_EMIT authorizationErrorEncountered(error);
}

OidcTokenRequest OidcAuthState::tokenRefreshRequest(const std::optional<OidcTokenRequest::Parameters> &additionalParameters,
                                                    const std::optional<OidcTokenRequest::Parameters> &additionalHeaders) const
{
    if (!m_refreshToken || !m_lastAuthorizationResponse) {
        OidcErrorUtilities::raiseException(
            QStringLiteral("Attempted to create a token refresh request from a token response with no refresh token."));
    }
    const OidcAuthorizationRequest request = m_lastAuthorizationResponse->request();
    return OidcTokenRequest(request.configuration(), QStringLiteral("refresh_token"), std::nullopt, std::nullopt,
                            request.clientID(), request.clientSecret(), std::optional<QString>(), m_refreshToken,
                            std::nullopt, additionalParameters, additionalHeaders);
}

void OidcAuthState::setNeedsTokenRefresh()
{
    m_needsTokenRefresh = true;
}

void OidcAuthState::dispatch(const PendingAction &pending, std::optional<QString> accessToken,
                             std::optional<QString> idToken, std::optional<OidcError> error)
{
    QObject *context = pending.context ? pending.context.data() : QCoreApplication::instance();
    auto call = [action = pending.action, accessToken, idToken, error] { action(accessToken, idToken, error); };
    if (context)
        QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
    else
        call();
}

void OidcAuthState::performActionWithFreshTokens(Action action,
                                                 const std::optional<OidcTokenRequest::Parameters> &additionalRefreshParameters,
                                                 QObject *context)
{
    const PendingAction pending{std::move(action), context};
    const std::optional<QDateTime> expiry = accessTokenExpirationDate();
    const bool fresh = !m_needsTokenRefresh
        && (expiry ? *expiry > QDateTime::currentDateTimeUtc().addSecs(expiryMarginSeconds) : accessToken().has_value());
    if (fresh) {
        dispatch(pending, accessToken(), idToken(), std::nullopt);
        return;
    }
    if (!m_refreshToken || !m_lastAuthorizationResponse) {
        dispatch(pending, std::nullopt, std::nullopt,
                 OidcErrorUtilities::errorWithCode(OidcErrorCode::tokenRefreshError, nullptr,
                                                   QStringLiteral("Unable to refresh expired token without a refresh token.")));
        return;
    }
    {
        QMutexLocker lock(&m_pendingMutex);
        if (m_pendingActions) {
            m_pendingActions->append(pending);
            return;
        }
        m_pendingActions = QList<PendingAction>{pending};
    }
    QPointer<OidcAuthState> self(this);
    OidcAuthorizationService::performTokenRequest(
        tokenRefreshRequest(additionalRefreshParameters), m_lastAuthorizationResponse,
        [self](std::optional<OidcTokenResponse> response, std::optional<OidcError> error) {
            if (self)
                self->finishRefresh(response, error);
        });
}

void OidcAuthState::finishRefresh(const std::optional<OidcTokenResponse> &response,
                                  const std::optional<OidcError> &error)
{
    if (response) {
        m_needsTokenRefresh = false;
        updateWithTokenResponse(response, std::nullopt);
    } else if (error && error->domain == OidcErrorDomain::oauthToken) {
        m_needsTokenRefresh = false;
        updateWithAuthorizationError(*error);
    } else if (error) {
        Q_EMIT transientErrorEncountered(*error);
    }
    QList<PendingAction> pending;
    {
        QMutexLocker lock(&m_pendingMutex);
        pending = m_pendingActions.value_or(QList<PendingAction>());
        m_pendingActions.reset();
    }
    for (const PendingAction &action : pending)
        dispatch(action, accessToken(), idToken(), error);
}

QString OidcAuthState::description() const
{
    const std::optional<QDateTime> expiry = accessTokenExpirationDate();
    return QStringLiteral("<OidcAuthState: 0x%1, isAuthorized: %2, refreshToken: \"%3\", scope: \"%4\", accessToken: "
                          "\"%5\", accessTokenExpirationDate: %6, idToken: \"%7\", lastAuthorizationResponse: %8, "
                          "lastTokenResponse: %9, lastRegistrationResponse: %10, authorizationError: %11>")
        .arg(QString::number(quintptr(this), 16), isAuthorized() ? QStringLiteral("YES") : QStringLiteral("NO"),
             text(OidcTokenUtilities::redact(m_refreshToken)), text(m_scope),
             text(OidcTokenUtilities::redact(accessToken())),
             expiry ? expiry->toString(Qt::ISODate) : QStringLiteral("(null)"),
             text(OidcTokenUtilities::redact(idToken())),
             m_lastAuthorizationResponse ? m_lastAuthorizationResponse->description() : QStringLiteral("(null)"),
             m_lastTokenResponse ? m_lastTokenResponse->description() : QStringLiteral("(null)"))
        .arg(m_lastRegistrationResponse ? m_lastRegistrationResponse->description() : QStringLiteral("(null)"),
             m_authorizationError ? m_authorizationError->description() : QStringLiteral("(null)"));
}

QJsonObject OidcAuthState::archive() const
{
    QJsonObject archive{{QStringLiteral("needsTokenRefresh"), m_needsTokenRefresh}};
    if (m_lastAuthorizationResponse)
        archive.insert(QStringLiteral("lastAuthorizationResponse"), m_lastAuthorizationResponse->archive());
    if (m_lastTokenResponse)
        archive.insert(QStringLiteral("lastTokenResponse"), m_lastTokenResponse->archive());
    if (m_authorizationError)
        archive.insert(QStringLiteral("authorizationError"),
                       QJsonObject{{QStringLiteral("domain"), m_authorizationError->domain},
                                   {QStringLiteral("code"), m_authorizationError->code}});
    if (m_scope)
        archive.insert(QStringLiteral("scope"), *m_scope);
    if (m_refreshToken)
        archive.insert(QStringLiteral("refreshToken"), *m_refreshToken);
    return archive;
}

OidcAuthState *OidcAuthState::fromArchive(const QJsonObject &archive, QObject *parent)
{
    const auto authorization =
        OidcAuthorizationResponse::fromArchive(archive.value(QStringLiteral("lastAuthorizationResponse")).toObject());
    const auto token = OidcTokenResponse::fromArchive(archive.value(QStringLiteral("lastTokenResponse")).toObject());
    auto *state = new OidcAuthState(authorization, token, std::nullopt, parent);
    const QJsonObject error = archive.value(QStringLiteral("authorizationError")).toObject();
    if (error.value(QStringLiteral("domain")).isString()) {
        OidcError stored;
        stored.domain = error.value(QStringLiteral("domain")).toString();
        stored.code = error.value(QStringLiteral("code")).toInt();
        state->m_authorizationError = stored;
    } else {
        state->m_authorizationError.reset();
    }
    const QJsonValue scope = archive.value(QStringLiteral("scope"));
    state->m_scope = scope.isString() ? std::optional<QString>(scope.toString()) : std::nullopt;
    const QJsonValue refresh = archive.value(QStringLiteral("refreshToken"));
    state->m_refreshToken = refresh.isString() ? std::optional<QString>(refresh.toString()) : std::nullopt;
    state->m_needsTokenRefresh = archive.value(QStringLiteral("needsTokenRefresh")).toBool();
    return state;
}
