#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QTemporaryFile;

// The real OpenID provider (tests/peers/oidc/server.mjs under node) on 127.0.0.1 with a
// port of its own. It registers the public native client clientId() with PKCE S256
// required and DPoP on, and answers its login and consent pages at once, so
// followToRedirect() can play the browser with plain HTTP and a cookie jar.
class OidcPeer : public QObject
{
    Q_OBJECT
public:
    explicit OidcPeer(QObject *parent = nullptr);
    ~OidcPeer() override;

    static QString clientId() { return QStringLiteral("sorvane-test"); }

    // Starts the provider and waits until it prints its issuer. `config` is merged over
    // the server's defaults (see server.mjs). False, with errorText(), when it cannot.
    bool start(const QJsonObject &config = {});
    QUrl issuer() const { return m_issuer; }
    // issuer + path ("/token", "/me", ...).
    QUrl url(const QString &path) const;
    QString errorText() const { return m_error; }

    // GETs `authorizationUrl` with `nam`'s cookie jar and follows the provider's redirects
    // by hand; answers the first redirect that leaves the provider (the client's
    // redirect URI with its code), or an empty URL with errorText() when none comes.
    QUrl followToRedirect(QNetworkAccessManager &nam, const QUrl &authorizationUrl);

private:
    QProcess m_process;
    QUrl m_issuer;
    QString m_error;
    std::unique_ptr<QTemporaryFile> m_configFile;
};
