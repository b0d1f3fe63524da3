#include "OidcAuthorizationSession.h"

#include "OidcErrorUtilities.h"
#include "OidcTokenUtilities.h"
#include "OidcURLQueryComponent.h"

#include <QCoreApplication>
#include <QJsonObject>

namespace {
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
    : OidcFlowSession(request, parent)
{
}

OidcAuthorizationSession::~OidcAuthorizationSession() = default;

OidcError OidcAuthorizationSession::cancelError() const
{
    return OidcErrorUtilities::errorWithCode(OidcErrorCode::userCanceledAuthorizationFlow, nullptr,
                                             QStringLiteral("Authorization flow was cancelled."));
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
    if (isFinished()) {
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
    dismissAndFinish(response, error);
    return true;
}

