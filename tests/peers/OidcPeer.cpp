#include "OidcPeer.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>
#include <QTimer>

namespace {

// Start-up and single requests finish in well under a second; this only keeps a broken
// peer from hanging a test until CTest's own timeout.
constexpr int kGiveUpMs = 30000;

} // namespace

OidcPeer::OidcPeer(QObject *parent)
    : QObject(parent)
{
}

OidcPeer::~OidcPeer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool OidcPeer::start(const QJsonObject &config)
{
    const QString dir = QStringLiteral(SORVANE_OIDC_PEER_DIR);
    QStringList arguments{dir + QStringLiteral("/server.mjs")};
    if (!config.isEmpty()) {
        m_configFile = std::make_unique<QTemporaryFile>();
        if (!m_configFile->open()) {
            m_error = QStringLiteral("cannot write the provider's config file");
            return false;
        }
        m_configFile->write(QJsonDocument(config).toJson(QJsonDocument::Compact));
        m_configFile->flush();
        arguments << m_configFile->fileName();
    }
    m_process.setWorkingDirectory(dir);
    m_process.setProgram(QStringLiteral("node"));
    m_process.setArguments(arguments);
    m_process.start();
    if (!m_process.waitForStarted(kGiveUpMs)) {
        m_error = QStringLiteral("node did not start: ") + m_process.errorString();
        return false;
    }
    QByteArray out;
    QEventLoop loop;
    QTimer giveUp;
    giveUp.setSingleShot(true);
    connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&m_process, &QProcess::readyReadStandardOutput, &loop, [&] {
        out += m_process.readAllStandardOutput();
        if (out.contains('\n'))
            loop.quit();
    });
    connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
    giveUp.start(kGiveUpMs);
    loop.exec();
    disconnect(&m_process, nullptr, &loop, nullptr);
    const QUrl issuer(QString::fromUtf8(out.left(out.indexOf('\n')).trimmed()));
    if (!out.contains('\n') || !issuer.isValid() || issuer.scheme() != QLatin1String("http")) {
        m_error = QStringLiteral("the provider printed no issuer (is tests/peers/oidc/node_modules "
                                 "installed? run scripts/setup): ")
                  + QString::fromUtf8(m_process.readAllStandardError());
        return false;
    }
    m_issuer = issuer;
    return true;
}

QUrl OidcPeer::url(const QString &path) const
{
    QUrl url = m_issuer;
    url.setPath(path);
    return url;
}

QUrl OidcPeer::followToRedirect(QNetworkAccessManager &nam, const QUrl &authorizationUrl)
{
    QUrl next = authorizationUrl;
    // Login and consent take two round trips each; more means the provider loops.
    for (int hop = 0; hop < 10; ++hop) {
        QNetworkRequest request(next);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        QNetworkReply *reply = nam.get(request);
        QEventLoop loop;
        QTimer::singleShot(kGiveUpMs, &loop, &QEventLoop::quit);
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        if (!reply->isFinished())
            loop.exec();
        const QByteArray location = reply->rawHeader("Location");
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        if (location.isEmpty()) {
            m_error = QStringLiteral("no redirect from %1 (status %2): %3")
                          .arg(next.toString())
                          .arg(status)
                          .arg(QString::fromUtf8(body.left(500)));
            return {};
        }
        next = next.resolved(QUrl::fromEncoded(location));
        if (next.scheme() != m_issuer.scheme() || next.host() != m_issuer.host() || next.port() != m_issuer.port())
            return next;
    }
    m_error = QStringLiteral("the provider kept redirecting");
    return {};
}
