#pragma once

#include "HttpPeer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>

class IdentityPeer;

// The export service's stand-in: POST /api/sorvane/pandoc converts the JSON body's
// "markdown" with Debian's pandoc to its "to" format, for the bearer tokens it was
// told about, or those live at the identity stand-in it trusts, only (else 401).
// Scripted replies answer the next requests instead, in order, whatever their token.
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
    // Also accepts every session token `identity` holds live when the request comes.
    void trustIdentity(const IdentityPeer *identity) { m_identity = identity; }
    void scriptNext(const HttpPeer::Reply &reply) { m_scripted.append(reply); }
    // The Content-Disposition header sent with a converted file; empty for none.
    QByteArray contentDisposition;

private:
    void prepare(const HttpPeer::Request &request);
    HttpPeer::Reply convert(const QByteArray &body) const;

    HttpPeer m_http;
    QSet<QByteArray> m_tokens;
    const IdentityPeer *m_identity = nullptr;
    QList<HttpPeer::Reply> m_scripted;
};
