#include "OidcRegistrationRequest.h"

#include "OidcArchiveCoding.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace OidcArchiveCoding;

namespace {

std::optional<QStringList> readStrings(const QJsonObject &archive, const QString &key)
{
    const QJsonValue value = archive.value(key);
    if (!value.isArray())
        return std::nullopt;
    QStringList strings;
    for (const QJsonValue &entry : value.toArray())
        strings.append(entry.toString());
    return strings;
}

QJsonArray urls(const QList<QUrl> &list)
{
    QJsonArray array;
    for (const QUrl &url : list)
        array.append(url.toString(QUrl::FullyEncoded));
    return array;
}
} // namespace

OidcRegistrationRequest::OidcRegistrationRequest(const OidcServiceConfiguration &configuration,
                                                 const QList<QUrl> &redirectURIs,
                                                 const std::optional<QStringList> &responseTypes,
                                                 const std::optional<QStringList> &grantTypes,
                                                 const std::optional<QString> &subjectType,
                                                 const std::optional<QString> &tokenEndpointAuthMethod,
                                                 const std::optional<QString> &initialAccessToken,
                                                 const std::optional<QJsonObject> &additionalParameters)
    : m_configuration(configuration)
    , m_initialAccessToken(initialAccessToken)
    , m_redirectURIs(redirectURIs)
    , m_responseTypes(responseTypes)
    , m_grantTypes(grantTypes)
    , m_subjectType(subjectType)
    , m_tokenEndpointAuthMethod(tokenEndpointAuthMethod)
    , m_additionalParameters(additionalParameters)
{
}

OidcRegistrationRequest::OidcRegistrationRequest(const OidcServiceConfiguration &configuration,
                                                 const QList<QUrl> &redirectURIs,
                                                 const std::optional<QStringList> &responseTypes,
                                                 const std::optional<QStringList> &grantTypes,
                                                 const std::optional<QString> &subjectType,
                                                 const std::optional<QString> &tokenEndpointAuthMethod,
                                                 const std::optional<QJsonObject> &additionalParameters)
    : OidcRegistrationRequest(configuration, redirectURIs, responseTypes, grantTypes, subjectType,
                              tokenEndpointAuthMethod, std::nullopt, additionalParameters)
{
}

std::optional<QByteArray> OidcRegistrationRequest::JSONString() const
{
    QJsonObject body{{QStringLiteral("redirect_uris"), urls(m_redirectURIs)},
                     {QStringLiteral("application_type"), applicationType()}};
    if (m_additionalParameters) {
        for (auto it = m_additionalParameters->constBegin(); it != m_additionalParameters->constEnd(); ++it)
            body.insert(it.key(), it.value());
    }
    if (m_responseTypes)
        body.insert(QStringLiteral("response_types"), QJsonArray::fromStringList(*m_responseTypes));
    if (m_grantTypes)
        body.insert(QStringLiteral("grant_types"), QJsonArray::fromStringList(*m_grantTypes));
    if (m_subjectType)
        body.insert(QStringLiteral("subject_type"), *m_subjectType);
    if (m_tokenEndpointAuthMethod)
        body.insert(QStringLiteral("token_endpoint_auth_method"), *m_tokenEndpointAuthMethod);
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

std::optional<QNetworkRequest> OidcRegistrationRequest::URLRequest() const
{
    const std::optional<QUrl> endpoint = m_configuration.registrationEndpoint();
    if (!JSONString() || !endpoint)
        return std::nullopt;
    QNetworkRequest request(*endpoint);
    request.setRawHeader("Content-Type", "application/json");
    if (m_initialAccessToken)
        request.setRawHeader("Authorization", "Bearer " + m_initialAccessToken->toUtf8());
    return request;
}

QString OidcRegistrationRequest::description() const
{
    const std::optional<QUrl> endpoint = m_configuration.registrationEndpoint();
    return QStringLiteral("<OidcRegistrationRequest: 0x%1, request: <URL: %2, HTTPBody: %3>>")
        .arg(QString::number(quintptr(this), 16),
             endpoint ? endpoint->toString(QUrl::FullyEncoded) : QStringLiteral("(null)"),
             QString::fromUtf8(JSONString().value_or(QByteArray())));
}

QJsonObject OidcRegistrationRequest::archive() const
{
    QJsonObject archive{{QStringLiteral("configuration"), m_configuration.archive()},
                        {QStringLiteral("redirect_uris"), urls(m_redirectURIs)}};
    putString(archive, QStringLiteral("initial_access_token"), m_initialAccessToken);
    if (m_responseTypes)
        archive.insert(QStringLiteral("response_types"), QJsonArray::fromStringList(*m_responseTypes));
    if (m_grantTypes)
        archive.insert(QStringLiteral("grant_types"), QJsonArray::fromStringList(*m_grantTypes));
    putString(archive, QStringLiteral("subject_type"), m_subjectType);
    putString(archive, QStringLiteral("token_endpoint_auth_method"), m_tokenEndpointAuthMethod);
    if (m_additionalParameters)
        archive.insert(QStringLiteral("additionalParameters"), *m_additionalParameters);
    return archive;
}

std::optional<OidcRegistrationRequest> OidcRegistrationRequest::fromArchive(const QJsonObject &archive)
{
    const auto configuration =
        OidcServiceConfiguration::fromArchive(archive.value(QStringLiteral("configuration")).toObject());
    if (!configuration)
        return std::nullopt;
    QList<QUrl> redirects;
    for (const QString &text : readStrings(archive, QStringLiteral("redirect_uris")).value_or(QStringList()))
        redirects.append(QUrl(text, QUrl::StrictMode));
    std::optional<QJsonObject> extras;
    if (archive.value(QStringLiteral("additionalParameters")).isObject())
        extras = archive.value(QStringLiteral("additionalParameters")).toObject();
    return OidcRegistrationRequest(*configuration, redirects, readStrings(archive, QStringLiteral("response_types")),
                                   readStrings(archive, QStringLiteral("grant_types")),
                                   readString(archive, QStringLiteral("subject_type")),
                                   readString(archive, QStringLiteral("token_endpoint_auth_method")),
                                   readString(archive, QStringLiteral("initial_access_token")), extras);
}
