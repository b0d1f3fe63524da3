#include "TolvernConfig.h"

#include "TolvernInstallMetrics.h"

TolvernConfig::TolvernConfig(QUrl authorityURL, QUrl identityURL, QString appSlug, QString clientID,
                             QString clientVersion, QString libVersion, QUrl redirectURI, AuthScheme preferredScheme,
                             std::optional<QString> keychainAccessGroup, QStringList scopes,
                             QNetworkAccessManager *urlSession, TolvernLogger logger,
                             std::optional<QString> installID)
    : m_authorityURL(std::move(authorityURL))
    , m_identityURL(std::move(identityURL))
    , m_appSlug(std::move(appSlug))
    , m_clientID(std::move(clientID))
    , m_clientVersion(std::move(clientVersion))
    , m_libVersion(std::move(libVersion))
    , m_redirectURI(std::move(redirectURI))
    , m_preferredScheme(preferredScheme)
    , m_keychainAccessGroup(std::move(keychainAccessGroup))
    , m_scopes(std::move(scopes))
    , m_urlSession(urlSession)
    , m_logger(std::move(logger))
    , m_installID(std::move(installID))
{
}

TolvernConfig TolvernConfig::withAutoInstallID() const
{
    TolvernConfig copy = *this;
    if (!m_installID)
        copy.m_installID = TolvernInstallMetrics(m_appSlug).installID();
    return copy;
}
