#include "UpdateFetch.h"

#include <QHostAddress>
#include <QIODevice>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

UpdateFetch::UpdateFetch(QNetworkAccessManager *network, const QUrl &url, qint64 maxBytes,
                         std::chrono::milliseconds idleTimeout, QObject *parent)
    : QObject(parent)
    , m_network(network)
    , m_url(url)
    , m_maxBytes(maxBytes)
    , m_idleTimeout(idleTimeout)
    , m_idleTimer(new QTimer(this))
{
    m_idleTimer->setSingleShot(true);
    connect(m_idleTimer, &QTimer::timeout, this, [this] { fail(tr("The server stopped answering.")); });
}

UpdateFetch::~UpdateFetch()
{
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

QString UpdateFetch::refusalReason(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty()) {
        if (scheme == QLatin1String("https"))
            return QString();
        if (scheme == QLatin1String("http") && isLoopbackHost(url.host()))
            return QString();
    }
    return tr("Updates are fetched only over https; refused “%1”.")
        .arg(url.toDisplayString(QUrl::RemoveUserInfo));
}

void UpdateFetch::start()
{
    // Cancelled before it began: finish() is on its way.
    if (m_cancelled || m_finished || m_reply)
        return;
    const QString refused = refusalReason(m_url);
    if (!refused.isEmpty()) {
        m_error = refused;
        // finished() never comes from inside start(): the caller has yet to listen.
        QTimer::singleShot(0, this, &UpdateFetch::finish);
        return;
    }
    QNetworkRequest request(m_url);
    // Every hop is checked like the first address.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    m_reply = m_network->get(request);
    connect(m_reply, &QNetworkReply::redirected, this, [this](const QUrl &target) {
        const QString refused = refusalReason(target);
        if (refused.isEmpty())
            Q_EMIT m_reply->redirectAllowed();
        else
            fail(refused);
    });
    connect(m_reply, &QNetworkReply::readyRead, this, &UpdateFetch::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &UpdateFetch::onFinished);
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this] { m_idleTimer->start(m_idleTimeout); });
    m_idleTimer->start(m_idleTimeout);
}

void UpdateFetch::cancel()
{
    if (m_finished)
        return;
    m_cancelled = true;
    if (m_reply)
        m_reply->abort();
    else
        QTimer::singleShot(0, this, &UpdateFetch::finish);
}

void UpdateFetch::onReadyRead()
{
    if (!m_reply || m_finished)
        return;
    // Redirect and error pages are not part of the body.
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status >= 300)
        return;
    const QByteArray chunk = m_reply->readAll();
    if (m_received + chunk.size() > m_maxBytes) {
        fail(tr("The download is larger than %1.").arg(QLocale::c().formattedDataSize(m_maxBytes)));
        return;
    }
    m_received += chunk.size();
    if (m_sink) {
        if (m_sink->write(chunk) != chunk.size()) {
            fail(tr("The download could not be written: %1").arg(m_sink->errorString()));
            return;
        }
    } else {
        m_body += chunk;
    }
    const qint64 total = m_reply->header(QNetworkRequest::ContentLengthHeader).isValid()
        ? m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong()
        : -1;
    Q_EMIT progress(m_received, total);
}

void UpdateFetch::onFinished()
{
    if (m_finished || !m_reply)
        return;
    if (!m_cancelled && m_error.isEmpty()) {
        onReadyRead();
        const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (m_error.isEmpty()) {
            if (status != 0 && (status < 200 || status >= 300))
                m_error = tr("The server answered %1 %2.")
                              .arg(status)
                              .arg(m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString())
                              .replace(QLatin1String(" ."), QLatin1String("."));
            else if (m_reply->error() != QNetworkReply::NoError)
                m_error = m_reply->errorString();
        }
    }
    finish();
}

void UpdateFetch::fail(const QString &error)
{
    if (m_finished || !m_error.isEmpty())
        return;
    m_error = error;
    if (m_reply)
        m_reply->abort();
    else
        QTimer::singleShot(0, this, &UpdateFetch::finish);
}

void UpdateFetch::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_idleTimer->stop();
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    if (m_cancelled)
        m_error.clear();
    Q_EMIT finished();
}
