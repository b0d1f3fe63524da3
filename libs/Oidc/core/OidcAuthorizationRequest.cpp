#include "OidcAuthorizationRequest.h"

#include "OidcArchiveCoding.h"
#include "OidcScopeUtilities.h"
#include "OidcTokenUtilities.h"
#include "OidcURLQueryComponent.h"

using namespace OidcArchiveCoding;

namespace {
constexpr int randomBytes = 32;


} // namespace

OidcAuthorizationRequest::OidcAuthorizationRequest(const OidcServiceConfiguration &configuration)
    : m_configuration(configuration)
{
}

bool OidcAuthorizationRequest::isSupportedResponseType(const QString &responseType)
{
    return responseType == QLatin1String("code") || responseType == QLatin1String("code id_token")
        || responseType == QLatin1String("id_token code");
}

std::optional<OidcAuthorizationRequest> OidcAuthorizationRequest::create(
    const OidcServiceConfiguration &configuration, const QString &clientID, const std::optional<QString> &clientSecret,
    const std::optional<QString> &scope, const std::optional<QUrl> &redirectURL, const QString &responseType,
    const std::optional<QString> &state, const std::optional<QString> &nonce,
    const std::optional<QString> &codeVerifier, const std::optional<QString> &codeChallenge,
    const std::optional<QString> &codeChallengeMethod, const std::optional<Parameters> &additionalParameters)
{
    if (!isSupportedResponseType(responseType)) {
        qCritical("The response_type \"%s\" isn't supported. This client only supports the \"code\" or "
                  "\"code id_token\" response_type.",
                  qPrintable(responseType));
        return std::nullopt;
    }
    OidcAuthorizationRequest request(configuration);
    request.m_clientID = clientID;
    request.m_clientSecret = clientSecret;
    request.m_scope = scope;
    request.m_redirectURL = redirectURL;
    request.m_responseType = responseType;
    request.m_state = state;
    request.m_nonce = nonce;
    request.m_codeVerifier = codeVerifier;
    request.m_codeChallenge = codeChallenge;
    request.m_codeChallengeMethod = codeChallengeMethod;
    request.m_additionalParameters = additionalParameters;
    return request;
}

std::optional<OidcAuthorizationRequest> OidcAuthorizationRequest::create(
    const OidcServiceConfiguration &configuration, const QString &clientID, const std::optional<QString> &clientSecret,
    const QStringList &scopes, const QUrl &redirectURL, const QString &responseType,
    const std::optional<Parameters> &additionalParameters)
{
    const std::optional<QString> verifier = generateCodeVerifier();
    const std::optional<QString> scope = OidcScopeUtilities::scopes(scopes);
    const std::optional<QString> state = generateState();
    const std::optional<QString> nonce = generateState();
    if (!verifier || !scope || !state || !nonce)
        return std::nullopt;
    return create(configuration, clientID, clientSecret, scope, redirectURL, responseType, state, nonce, verifier,
                  codeChallengeS256ForVerifier(verifier), QStringLiteral("S256"), additionalParameters);
}

std::optional<OidcAuthorizationRequest> OidcAuthorizationRequest::create(
    const OidcServiceConfiguration &configuration, const QString &clientID, const QStringList &scopes,
    const QUrl &redirectURL, const QString &responseType, const std::optional<Parameters> &additionalParameters)
{
    return create(configuration, clientID, std::nullopt, scopes, redirectURL, responseType, additionalParameters);
}

std::optional<OidcAuthorizationRequest> OidcAuthorizationRequest::create(
    const OidcServiceConfiguration &configuration, const QString &clientID, const QStringList &scopes,
    const QUrl &redirectURL, const QString &responseType, const QString &nonce,
    const std::optional<Parameters> &additionalParameters)
{
    const std::optional<QString> verifier = generateCodeVerifier();
    const std::optional<QString> scope = OidcScopeUtilities::scopes(scopes);
    const std::optional<QString> state = generateState();
    if (!verifier || !scope || !state)
        return std::nullopt;
    return create(configuration, clientID, std::nullopt, scope, redirectURL, responseType, state, nonce, verifier,
                  codeChallengeS256ForVerifier(verifier), QStringLiteral("S256"), additionalParameters);
}

std::optional<QString> OidcAuthorizationRequest::generateCodeVerifier()
{
    return OidcTokenUtilities::randomURLSafeString(randomBytes);
}

std::optional<QString> OidcAuthorizationRequest::generateState()
{
    return OidcTokenUtilities::randomURLSafeString(randomBytes);
}

std::optional<QString> OidcAuthorizationRequest::codeChallengeS256ForVerifier(const std::optional<QString> &verifier)
{
    if (!verifier)
        return std::nullopt;
    return OidcTokenUtilities::encodeBase64urlNoPadding(OidcTokenUtilities::sha256(*verifier));
}

QUrl OidcAuthorizationRequest::requestURL(bool redacted) const
{
    const auto secret = [redacted](const QString &value) {
        return redacted ? OidcTokenUtilities::redact(value) : value;
    };
    OidcURLQueryComponent query;
    query.addParameter(QStringLiteral("response_type"), m_responseType);
    query.addParameter(QStringLiteral("client_id"), m_clientID);
    if (m_additionalParameters)
        query.addParameters(*m_additionalParameters);
    if (m_redirectURL)
        query.addParameter(QStringLiteral("redirect_uri"), m_redirectURL->toString(QUrl::FullyEncoded));
    if (m_scope)
        query.addParameter(QStringLiteral("scope"), *m_scope);
    if (m_state)
        query.addParameter(QStringLiteral("state"), secret(*m_state));
    if (m_nonce)
        query.addParameter(QStringLiteral("nonce"), secret(*m_nonce));
    if (m_codeChallenge)
        query.addParameter(QStringLiteral("code_challenge"), *m_codeChallenge);
    if (m_codeChallengeMethod)
        query.addParameter(QStringLiteral("code_challenge_method"), *m_codeChallengeMethod);
    return query.URLByReplacingQueryInURL(m_configuration.authorizationEndpoint());
}

QUrl OidcAuthorizationRequest::authorizationRequestURL() const
{
    return requestURL(false);
}

QString OidcAuthorizationRequest::redirectScheme() const
{
    return m_redirectURL ? m_redirectURL->scheme() : QString();
}

QString OidcAuthorizationRequest::description() const
{
    return QStringLiteral("<OidcAuthorizationRequest: 0x%1, request: %2>")
        .arg(quintptr(this), 0, 16)
        .arg(requestURL(true).toString(QUrl::FullyEncoded));
}

QJsonObject OidcAuthorizationRequest::archive() const
{
    QJsonObject archive{{QStringLiteral("configuration"), m_configuration.archive()},
                        {QStringLiteral("response_type"), m_responseType},
                        {QStringLiteral("client_id"), m_clientID}};
    putString(archive, QStringLiteral("client_secret"), m_clientSecret);
    putString(archive, QStringLiteral("scope"), m_scope);
    putURL(archive, QStringLiteral("redirect_uri"), m_redirectURL);
    putString(archive, QStringLiteral("state"), m_state);
    putString(archive, QStringLiteral("nonce"), m_nonce);
    putString(archive, QStringLiteral("code_verifier"), m_codeVerifier);
    putString(archive, QStringLiteral("code_challenge"), m_codeChallenge);
    putString(archive, QStringLiteral("code_challenge_method"), m_codeChallengeMethod);
    putParameters(archive, QStringLiteral("additionalParameters"), m_additionalParameters);
    return archive;
}

std::optional<OidcAuthorizationRequest> OidcAuthorizationRequest::fromArchive(const QJsonObject &archive)
{
    const std::optional<OidcServiceConfiguration> configuration =
        OidcServiceConfiguration::fromArchive(archive.value(QStringLiteral("configuration")).toObject());
    const std::optional<QString> responseType = readString(archive, QStringLiteral("response_type"));
    const std::optional<QString> clientID = readString(archive, QStringLiteral("client_id"));
    if (!configuration || !responseType || !clientID)
        return std::nullopt;
    const std::optional<QUrl> redirect = readURL(archive, QStringLiteral("redirect_uri"));
    const std::optional<Parameters> extras = readParameters(archive, QStringLiteral("additionalParameters"));
    return create(*configuration, *clientID, readString(archive, QStringLiteral("client_secret")),
                  readString(archive, QStringLiteral("scope")), redirect, *responseType,
                  readString(archive, QStringLiteral("state")), readString(archive, QStringLiteral("nonce")),
                  readString(archive, QStringLiteral("code_verifier")),
                  readString(archive, QStringLiteral("code_challenge")),
                  readString(archive, QStringLiteral("code_challenge_method")), extras);
}
