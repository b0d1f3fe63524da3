#pragma once

#include "HttpPeer.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUrl>

#include <optional>

// The maker's identity service as the account library's tests meet it: the session
// routes on an HttpPeer with scripted reply sequences, single-use rotating refresh
// tokens, a hold that keeps refreshes open, and a check of every DPoP proof against
// the key it carries.
//
// Unless a scripted reply is queued for it, a route answers like the service would:
// the exchanges open a new session; a refresh rotates a known, unspent refresh token
// and answers 400 {"error":"invalid_grant"} to any other; the app-data token and the
// revoke want a live session token ("Authorization: Bearer") and answer 401 without.
// A request whose DPoP proof fails the check is answered 401 {"error":"invalid_dpop_proof"}.
// The contact capture answers 200 unless a reply is queued for it.
class IdentityPeer : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kExchange = "/api/app-sessions/exchange";
    static constexpr const char *kRefresh = "/api/app-sessions/refresh";
    static constexpr const char *kRevoke = "/api/sessions/revoke";
    static constexpr const char *kAppDataToken = "/api/app-data-token";
    static constexpr const char *kAppleAuthcode = "/api/integrations/apple/authcode";
    // The application's own calls: consent records, and the marketing service's
    // contact capture (served here too, so one base URL stands in for both).
    static constexpr const char *kConsents = "/api/account/consents";
    static constexpr const char *kContactsCapture = "/api/v1/contacts/capture";

    struct Session {
        QString tvs;
        QString refreshToken;
        QDateTime expiresAt;
    };

    struct LoggedRequest {
        HttpPeer::Request request;
        // The path without its query.
        QByteArray path;
        bool hasProof = false;
        // Empty when the proof passed the check (or there was none).
        QString proofError;
        // The RFC 7638 thumbprint of the proof's key.
        QString proofThumbprint;
    };

    explicit IdentityPeer(QObject *parent = nullptr);

    // http://127.0.0.1:port, the base URL to configure.
    QUrl baseUrl() const;
    HttpPeer &http() { return m_http; }

    // A new live session, as an exchange would open.
    Session openSession();
    // Makes a session token unacceptable (401) from now on.
    void revokeToken(const QString &tvs);
    bool isLive(const QString &tvs) const { return m_liveTokens.contains(tvs); }

    // The next request on `path` (POST) gets `reply` instead of the route's own answer;
    // queued replies are used in order, one per request.
    void enqueue(const QByteArray &path, const HttpPeer::Reply &reply);
    // Shorthands for the scripted replies.
    static HttpPeer::Reply jsonReply(int status, const QByteArray &body,
                                     const QList<QPair<QByteArray, QByteArray>> &headers = {});
    static HttpPeer::Reply dropped();

    // What the Apple code exchange answers about the account; unset members are left
    // out of the reply ("is_new_user" false by default).
    struct AppleAccount {
        std::optional<bool> isNewUser = false;
        std::optional<QString> accountID;
        std::optional<QString> email;
    };
    void setAppleAccount(const AppleAccount &account) { m_appleAccount = account; }

    // Every reply carries this "Tolvern-Deprecation" value (empty: none).
    void setDeprecationHeader(const QByteArray &value) { m_deprecation = value; }
    // Refreshes received while held wait unanswered until release().
    void holdRefreshes() { m_holding = true; }
    void release();
    int heldRefreshes() const { return int(m_held.size()); }

    const QList<LoggedRequest> &log() const { return m_log; }
    QList<LoggedRequest> requestsTo(const QByteArray &path) const;
    int count(const QByteArray &path) const { return int(requestsTo(path).size()); }
    void clearLog() { m_log.clear(); }

    // The body of a session reply for `session`, as the exchange and the refresh send it.
    QByteArray tvsResponse(const Session &session) const;

Q_SIGNALS:
    void requestLogged(const QByteArray &path);

private:
    void serve(const QByteArray &path, const HttpPeer::Request &request, const HttpPeer::Respond &respond);
    HttpPeer::Reply answerRefresh(const HttpPeer::Request &request);
    HttpPeer::Reply answerAuthorized(const QByteArray &path, const HttpPeer::Request &request);
    // A consent record wants a live bearer token, a proof (checked like every other)
    // whose key stays the same for that token, and a known kind.
    HttpPeer::Reply answerConsent(const LoggedRequest &entry);
    LoggedRequest inspect(const QByteArray &path, const HttpPeer::Request &request) const;
    void finish(HttpPeer::Reply reply, const HttpPeer::Respond &respond) const;

    HttpPeer m_http;
    QHash<QByteArray, QList<HttpPeer::Reply>> m_queued;
    QSet<QString> m_liveTokens;
    QHash<QString, Session> m_byRefreshToken;
    QSet<QString> m_spentRefreshTokens;
    QList<LoggedRequest> m_log;
    QByteArray m_deprecation;
    bool m_holding = false;
    QList<std::pair<HttpPeer::Request, HttpPeer::Respond>> m_held;
    int m_serial = 0;
    AppleAccount m_appleAccount;
    // The key thumbprint each session token first recorded a consent with.
    QHash<QString, QString> m_consentThumbprints;
};
