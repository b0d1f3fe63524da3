#pragma once

#include "AuthScheme.h"
#include "TolvernLogLevel.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QNetworkAccessManager;

// The one configuration of the account library, built by the host and copied by
// every component that needs it. Read-only after construction; nothing in it is
// validated or normalised.
class TolvernConfig
{
public:
    TolvernConfig(QUrl authorityURL, QUrl identityURL, QString appSlug, QString clientID, QString clientVersion,
                  QString libVersion, QUrl redirectURI, AuthScheme preferredScheme,
                  std::optional<QString> keychainAccessGroup, QStringList scopes, QNetworkAccessManager *urlSession,
                  TolvernLogger logger, std::optional<QString> installID);

    const QUrl &authorityURL() const { return m_authorityURL; }
    const QUrl &identityURL() const { return m_identityURL; }
    const QString &appSlug() const { return m_appSlug; }
    const QString &clientID() const { return m_clientID; }
    const QString &clientVersion() const { return m_clientVersion; }
    const QString &libVersion() const { return m_libVersion; }
    const QUrl &redirectURI() const { return m_redirectURI; }
    AuthScheme preferredScheme() const { return m_preferredScheme; }
    const std::optional<QString> &keychainAccessGroup() const { return m_keychainAccessGroup; }
    const QStringList &scopes() const { return m_scopes; }
    // Not owned; every request of the library goes through it, on its thread.
    QNetworkAccessManager *urlSession() const { return m_urlSession; }
    const TolvernLogger &logger() const { return m_logger; }
    const std::optional<QString> &installID() const { return m_installID; }

    // This configuration with an install identifier: unchanged when it has one (an
    // empty one included), else with the install metrics' identifier for the app
    // slug (their keyring store, whatever the access group), which may block
    // briefly on their process-wide lock.
    TolvernConfig withAutoInstallID() const;


private:
    QUrl m_authorityURL;
    QUrl m_identityURL;
    QString m_appSlug;
    QString m_clientID;
    QString m_clientVersion;
    QString m_libVersion;
    QUrl m_redirectURI;
    AuthScheme m_preferredScheme;
    std::optional<QString> m_keychainAccessGroup;
    QStringList m_scopes;
    QNetworkAccessManager *m_urlSession;
    TolvernLogger m_logger;
    std::optional<QString> m_installID;
};
