#include "OidcEndSessionRequest.h"

#include "OidcArchiveCoding.h"
#include "OidcAuthorizationRequest.h"
#include "OidcTokenUtilities.h"
#include "OidcURLQueryComponent.h"

using namespace OidcArchiveCoding;

OidcEndSessionRequest::OidcEndSessionRequest(const OidcServiceConfiguration &configuration)
    : m_configuration(configuration)
{
}

std::optional<OidcEndSessionRequest> OidcEndSessionRequest::create(const OidcServiceConfiguration &configuration,
                                                                   const std::optional<QString> &idTokenHint,
                                                                   const std::optional<QUrl> &postLogoutRedirectURL,
                                                                   const std::optional<QString> &state,
                                                                   const std::optional<Parameters> &additionalParameters)
{
    if (!configuration.endSessionEndpoint()) {
        qCritical("The service configuration is missing an end_session_endpoint.");
        return std::nullopt;
    }
    OidcEndSessionRequest request(configuration);
    request.m_idTokenHint = idTokenHint;
    request.m_postLogoutRedirectURL = postLogoutRedirectURL;
    request.m_state = state;
    request.m_additionalParameters = additionalParameters;
    return request;
}

std::optional<OidcEndSessionRequest> OidcEndSessionRequest::create(const OidcServiceConfiguration &configuration,
                                                                   const std::optional<QString> &idTokenHint,
                                                                   const std::optional<QUrl> &postLogoutRedirectURL,
                                                                   const std::optional<Parameters> &additionalParameters)
{
    // Without a state the redirect could not be told from a forged one.
    const std::optional<QString> state = OidcAuthorizationRequest::generateState();
    if (!state)
        return std::nullopt;
    return create(configuration, idTokenHint, postLogoutRedirectURL, state, additionalParameters);
}

QUrl OidcEndSessionRequest::requestURL(bool redacted) const
{
    OidcURLQueryComponent query;
    if (m_additionalParameters)
        query.addParameters(*m_additionalParameters);
    if (m_idTokenHint)
        query.addParameter(QStringLiteral("id_token_hint"),
                           redacted ? OidcTokenUtilities::redact(*m_idTokenHint) : *m_idTokenHint);
    if (m_postLogoutRedirectURL)
        query.addParameter(QStringLiteral("post_logout_redirect_uri"),
                           m_postLogoutRedirectURL->toString(QUrl::FullyEncoded));
    if (m_state)
        query.addParameter(QStringLiteral("state"), redacted ? OidcTokenUtilities::redact(*m_state) : *m_state);
    return query.URLByReplacingQueryInURL(m_configuration.endSessionEndpoint().value_or(QUrl()));
}

QUrl OidcEndSessionRequest::endSessionRequestURL() const
{
    return requestURL(false);
}

QString OidcEndSessionRequest::redirectScheme() const
{
    return m_postLogoutRedirectURL ? m_postLogoutRedirectURL->scheme() : QString();
}

QString OidcEndSessionRequest::description() const
{
    return QStringLiteral("<OidcEndSessionRequest: 0x%1, request: %2>")
        .arg(QString::number(quintptr(this), 16), requestURL(true).toString(QUrl::FullyEncoded));
}

QJsonObject OidcEndSessionRequest::archive() const
{
    QJsonObject archive{{QStringLiteral("configuration"), m_configuration.archive()}};
    putString(archive, QStringLiteral("id_token_hint"), m_idTokenHint);
    putURL(archive, QStringLiteral("post_logout_redirect_uri"), m_postLogoutRedirectURL);
    putString(archive, QStringLiteral("state"), m_state);
    putParameters(archive, QStringLiteral("additionalParameters"), m_additionalParameters);
    return archive;
}

std::optional<OidcEndSessionRequest> OidcEndSessionRequest::fromArchive(const QJsonObject &archive)
{
    const auto configuration =
        OidcServiceConfiguration::fromArchive(archive.value(QStringLiteral("configuration")).toObject());
    if (!configuration)
        return std::nullopt;
    const std::optional<QUrl> redirect = readURL(archive, QStringLiteral("post_logout_redirect_uri"));
    const std::optional<Parameters> extras = readParameters(archive, QStringLiteral("additionalParameters"));
    return create(*configuration, readString(archive, QStringLiteral("id_token_hint")), redirect,
                  readString(archive, QStringLiteral("state")), extras);
}
