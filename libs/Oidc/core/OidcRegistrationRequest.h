#pragma once

#include "OidcServiceConfiguration.h"

#include <QJsonObject>
#include <QList>
#include <QNetworkRequest>
#include <QStringList>
#include <QUrl>

#include <optional>

// A dynamic client registration: a native client's redirect URIs and wishes.
class OidcRegistrationRequest
{
public:
    OidcRegistrationRequest(const OidcServiceConfiguration &configuration, const QList<QUrl> &redirectURIs,
                            const std::optional<QStringList> &responseTypes,
                            const std::optional<QStringList> &grantTypes, const std::optional<QString> &subjectType,
                            const std::optional<QString> &tokenEndpointAuthMethod,
                            const std::optional<QString> &initialAccessToken,
                            const std::optional<QJsonObject> &additionalParameters);
    OidcRegistrationRequest(const OidcServiceConfiguration &configuration, const QList<QUrl> &redirectURIs,
                            const std::optional<QStringList> &responseTypes,
                            const std::optional<QStringList> &grantTypes, const std::optional<QString> &subjectType,
                            const std::optional<QString> &tokenEndpointAuthMethod,
                            const std::optional<QJsonObject> &additionalParameters);

    OidcServiceConfiguration configuration() const { return m_configuration; }
    std::optional<QString> initialAccessToken() const { return m_initialAccessToken; }
    QString applicationType() const { return QStringLiteral("native"); }
    QList<QUrl> redirectURIs() const { return m_redirectURIs; }
    std::optional<QStringList> responseTypes() const { return m_responseTypes; }
    std::optional<QStringList> grantTypes() const { return m_grantTypes; }
    std::optional<QString> subjectType() const { return m_subjectType; }
    std::optional<QString> tokenEndpointAuthenticationMethod() const { return m_tokenEndpointAuthMethod; }
    std::optional<QJsonObject> additionalParameters() const { return m_additionalParameters; }

    // The compact JSON body; none when it cannot be written.
    std::optional<QByteArray> JSONString() const;
    // The POST to the registration endpoint; none without a body or an endpoint.
    std::optional<QNetworkRequest> URLRequest() const;
    // URL and body, the initial access token never shown.
    QString description() const;

    QJsonObject archive() const;
    static std::optional<OidcRegistrationRequest> fromArchive(const QJsonObject &archive);

    bool operator==(const OidcRegistrationRequest &other) const = default;

private:
    OidcServiceConfiguration m_configuration;
    std::optional<QString> m_initialAccessToken;
    QList<QUrl> m_redirectURIs;
    std::optional<QStringList> m_responseTypes;
    std::optional<QStringList> m_grantTypes;
    std::optional<QString> m_subjectType;
    std::optional<QString> m_tokenEndpointAuthMethod;
    std::optional<QJsonObject> m_additionalParameters;
};
