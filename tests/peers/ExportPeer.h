#pragma once

#include "HttpPeer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>

// The export service's stand-in: POST /api/sorvane/pandoc converts the JSON body's
// "markdown" with Debian's pandoc to its "to" format, for the bearer tokens it was
// told about only (else 401). Scripted replies answer the next requests instead, in
// order, whatever their token.
class ExportPeer : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *path = "/api/sorvane/pandoc";

    explicit ExportPeer(QObject *parent = nullptr);

    // What SORVANE_EXPORT_URL names.
    QUrl baseURL() const;
    HttpPeer &http() { return m_http; }
    QList<HttpPeer::Request> requests() const { return m_http.requests(); }

    void acceptToken(const QByteArray &token) { m_tokens.insert(token); }
    void scriptNext(const HttpPeer::Reply &reply) { m_scripted.append(reply); }
    // The Content-Disposition header sent with a converted file; empty for none.
    QByteArray contentDisposition;

private:
    void prepare(const HttpPeer::Request &request);
    HttpPeer::Reply convert(const QByteArray &body) const;

    HttpPeer m_http;
    QSet<QByteArray> m_tokens;
    QList<HttpPeer::Reply> m_scripted;
};
