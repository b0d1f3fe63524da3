#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>

class QIODevice;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// One GET of the updater. Only https is fetched (plain http only from this machine),
// redirects included; the body may not exceed maxBytes and the transfer is given up
// after idleTimeout without progress. The body stays in memory unless a sink is set.
// finished() comes exactly once, never from inside start().
class UpdateFetch : public QObject
{
    Q_OBJECT
public:
    UpdateFetch(QNetworkAccessManager *network, const QUrl &url, qint64 maxBytes,
                std::chrono::milliseconds idleTimeout, QObject *parent = nullptr);
    ~UpdateFetch() override;

    // Where the body goes instead of memory; set before start().
    void setSink(QIODevice *sink) { m_sink = sink; }
    void start();
    // Stops the transfer; finished() follows with isCancelled() true.
    void cancel();

    bool isFinished() const { return m_finished; }
    bool isCancelled() const { return m_cancelled; }
    // Why the fetch failed, as a sentence; empty when it succeeded or was cancelled.
    QString errorString() const { return m_error; }
    QByteArray body() const { return m_body; }
    qint64 bytesReceived() const { return m_received; }

    // Empty when the updater may fetch from `url`, else why not.
    static QString refusalReason(const QUrl &url);

Q_SIGNALS:
    // total is -1 while the server has not said.
    void progress(qint64 received, qint64 total);
    void finished();

private:
    void onReadyRead();
    void onFinished();
    void fail(const QString &error);
    void finish();

    QNetworkAccessManager *m_network;
    QUrl m_url;
    qint64 m_maxBytes;
    std::chrono::milliseconds m_idleTimeout;
    QIODevice *m_sink = nullptr;
    QPointer<QNetworkReply> m_reply;
    QTimer *m_idleTimer;
    QByteArray m_body;
    qint64 m_received = 0;
    QString m_error;
    bool m_cancelled = false;
    bool m_finished = false;
};
