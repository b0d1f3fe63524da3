#pragma once

#include "OidcServiceConfiguration.h"

#include <QJsonObject>
#include <QMap>
#include <QUrl>

#include <optional>

// An OpenID Connect logout, opened in the browser like an authorization request.
class OidcEndSessionRequest
{
public:
    using Parameters = QMap<QString, QString>;

    // None, with the assertion logged, when the configuration has no end-session endpoint.
    static std::optional<OidcEndSessionRequest> create(const OidcServiceConfiguration &configuration,
                                                       const std::optional<QString> &idTokenHint,
                                                       const std::optional<QUrl> &postLogoutRedirectURL,
                                                       const std::optional<QString> &state,
                                                       const std::optional<Parameters> &additionalParameters);
    // Generates the state; none when the random source fails.
    static std::optional<OidcEndSessionRequest> create(const OidcServiceConfiguration &configuration,
                                                       const std::optional<QString> &idTokenHint,
                                                       const std::optional<QUrl> &postLogoutRedirectURL,
                                                       const std::optional<Parameters> &additionalParameters);

    OidcServiceConfiguration configuration() const { return m_configuration; }
    std::optional<QUrl> postLogoutRedirectURL() const { return m_postLogoutRedirectURL; }
    std::optional<QString> idTokenHint() const { return m_idTokenHint; }
    std::optional<QString> state() const { return m_state; }
    std::optional<Parameters> additionalParameters() const { return m_additionalParameters; }

    QUrl endSessionRequestURL() const;
    QUrl externalUserAgentRequestURL() const { return endSessionRequestURL(); }
    QString redirectScheme() const;
    // The URL with the ID token hint and state redacted.
    QString description() const;

    QJsonObject archive() const;
    static std::optional<OidcEndSessionRequest> fromArchive(const QJsonObject &archive);

    bool operator==(const OidcEndSessionRequest &other) const = default;

private:
    explicit OidcEndSessionRequest(const OidcServiceConfiguration &configuration);
    QUrl requestURL(bool redacted) const;

    OidcServiceConfiguration m_configuration;
    std::optional<QUrl> m_postLogoutRedirectURL;
    std::optional<QString> m_idTokenHint;
    std::optional<QString> m_state;
    std::optional<Parameters> m_additionalParameters;
};
