#include "OidcEndSessionImplementation.h"

#include "OidcAuthorizationSession.h"
#include "OidcErrorUtilities.h"
#include "OidcTokenUtilities.h"
#include "OidcURLQueryComponent.h"

#include <QCoreApplication>
#include <QJsonObject>

OidcEndSessionImplementation::OidcEndSessionImplementation(const OidcEndSessionRequest &request, QObject *parent)
    : OidcFlowSession(request, parent)
{
}

OidcEndSessionImplementation::~OidcEndSessionImplementation() = default;

OidcError OidcEndSessionImplementation::cancelError() const
{
    return OidcErrorUtilities::errorWithCode(OidcErrorCode::userCanceledAuthorizationFlow);
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
    if (isFinished()) {
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
    dismissAndFinish(response, error);
    return true;
}

