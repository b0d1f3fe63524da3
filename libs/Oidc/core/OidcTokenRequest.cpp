#include "OidcTokenRequest.h"

#include "OidcArchiveCoding.h"
#include "OidcErrorUtilities.h"
#include "OidcScopeUtilities.h"
#include "OidcTokenUtilities.h"

using namespace OidcArchiveCoding;

OidcTokenRequest::OidcTokenRequest(const OidcServiceConfiguration &configuration, const QString &grantType,
                                   const std::optional<QString> &authorizationCode,
                                   const std::optional<QUrl> &redirectURL, const QString &clientID,
                                   const std::optional<QString> &clientSecret, const std::optional<QString> &scope,
                                   const std::optional<QString> &refreshToken,
                                   const std::optional<QString> &codeVerifier,
                                   const std::optional<Parameters> &additionalParameters,
                                   const std::optional<Parameters> &additionalHeaders)
    : m_configuration(configuration)
    , m_grantType(grantType)
    , m_authorizationCode(authorizationCode)
    , m_redirectURL(redirectURL)
    , m_clientID(clientID)
    , m_clientSecret(clientSecret)
    , m_scope(scope)
    , m_refreshToken(refreshToken)
    , m_codeVerifier(codeVerifier)
    , m_additionalParameters(additionalParameters)
    , m_additionalHeaders(additionalHeaders)
{
    if (grantType == QLatin1String("authorization_code") && !redirectURL) {
        const QString name = QStringLiteral("A OidcTokenRequest was created with a grant_type that requires a "
                                            "redirectURL, but a null redirectURL was given");
        OidcErrorUtilities::raiseException(name, name);
    }
}

OidcTokenRequest::OidcTokenRequest(const OidcServiceConfiguration &configuration, const QString &grantType,
                                   const std::optional<QString> &authorizationCode,
                                   const std::optional<QUrl> &redirectURL, const QString &clientID,
                                   const std::optional<QString> &clientSecret, const QStringList &scopes,
                                   const std::optional<QString> &refreshToken,
                                   const std::optional<QString> &codeVerifier,
                                   const std::optional<Parameters> &additionalParameters,
                                   const std::optional<Parameters> &additionalHeaders)
    : OidcTokenRequest(configuration, grantType, authorizationCode, redirectURL, clientID, clientSecret,
                       OidcScopeUtilities::scopes(scopes), refreshToken, codeVerifier, additionalParameters,
                       additionalHeaders)
{
}

OidcURLQueryComponent OidcTokenRequest::body(bool redacted) const
{
    const auto secret = [redacted](const QString &value) {
        return redacted ? OidcTokenUtilities::redact(value) : value;
    };
    OidcURLQueryComponent body;
    body.addParameter(QStringLiteral("grant_type"), m_grantType);
    if (m_scope)
        body.addParameter(QStringLiteral("scope"), *m_scope);
    if (m_redirectURL)
        body.addParameter(QStringLiteral("redirect_uri"), m_redirectURL->toString(QUrl::FullyEncoded));
    if (m_refreshToken)
        body.addParameter(QStringLiteral("refresh_token"), secret(*m_refreshToken));
    if (m_authorizationCode)
        body.addParameter(QStringLiteral("code"), secret(*m_authorizationCode));
    if (m_codeVerifier)
        body.addParameter(QStringLiteral("code_verifier"), secret(*m_codeVerifier));
    if (m_additionalParameters)
        body.addParameters(*m_additionalParameters);
    return body;
}

OidcURLQueryComponent OidcTokenRequest::sentBody(bool redacted) const
{
    OidcURLQueryComponent sent = body(redacted);
    // Without a secret the client names itself in the body, not in a Basic header.
    if (!m_clientSecret)
        sent.addParameter(QStringLiteral("client_id"), m_clientID);
    return sent;
}

OidcURLQueryComponent OidcTokenRequest::tokenRequestBody() const
{
    return body(false);
}

QNetworkRequest OidcTokenRequest::URLRequest() const
{
    QNetworkRequest request(tokenRequestURL());
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded; charset=UTF-8");
    if (m_clientSecret) {
        const QString credentials = OidcTokenUtilities::formUrlEncode(m_clientID) + QLatin1Char(':')
            + OidcTokenUtilities::formUrlEncode(*m_clientSecret);
        request.setRawHeader("Authorization", "Basic " + credentials.toUtf8().toBase64());
    }
    if (m_additionalHeaders) {
        for (auto it = m_additionalHeaders->constBegin(); it != m_additionalHeaders->constEnd(); ++it)
            request.setRawHeader(it.key().toUtf8(), it.value().toUtf8());
    }
    return request;
}

QByteArray OidcTokenRequest::URLRequestBody() const
{
    return sentBody(false).URLEncodedParameters().toUtf8();
}

QString OidcTokenRequest::description() const
{
    return QStringLiteral("<OidcTokenRequest: 0x%1, request: <URL: %2, HTTPBody: %3>>")
        .arg(QString::number(quintptr(this), 16), tokenRequestURL().toString(QUrl::FullyEncoded),
             sentBody(true).URLEncodedParameters());
}

QJsonObject OidcTokenRequest::archive() const
{
    QJsonObject archive{{QStringLiteral("configuration"), m_configuration.archive()},
                        {QStringLiteral("grant_type"), m_grantType},
                        {QStringLiteral("client_id"), m_clientID}};
    putString(archive, QStringLiteral("code"), m_authorizationCode);
    putString(archive, QStringLiteral("client_secret"), m_clientSecret);
    putURL(archive, QStringLiteral("redirect_uri"), m_redirectURL);
    putString(archive, QStringLiteral("scope"), m_scope);
    putString(archive, QStringLiteral("refresh_token"), m_refreshToken);
    putString(archive, QStringLiteral("code_verifier"), m_codeVerifier);
    putParameters(archive, QStringLiteral("additionalParameters"), m_additionalParameters);
    putParameters(archive, QStringLiteral("additionalHeaders"), m_additionalHeaders);
    return archive;
}

std::optional<OidcTokenRequest> OidcTokenRequest::fromArchive(const QJsonObject &archive)
{
    const auto configuration =
        OidcServiceConfiguration::fromArchive(archive.value(QStringLiteral("configuration")).toObject());
    const auto grantType = readString(archive, QStringLiteral("grant_type"));
    const auto clientID = readString(archive, QStringLiteral("client_id"));
    if (!configuration || !grantType || !clientID)
        return std::nullopt;
    const std::optional<QUrl> redirect = readURL(archive, QStringLiteral("redirect_uri"));
    if (*grantType == QLatin1String("authorization_code") && !redirect)
        return std::nullopt;
    return OidcTokenRequest(*configuration, *grantType, readString(archive, QStringLiteral("code")), redirect,
                            *clientID, readString(archive, QStringLiteral("client_secret")),
                            readString(archive, QStringLiteral("scope")),
                            readString(archive, QStringLiteral("refresh_token")),
                            readString(archive, QStringLiteral("code_verifier")),
                            readParameters(archive, QStringLiteral("additionalParameters")),
                            readParameters(archive, QStringLiteral("additionalHeaders")));
}
