#pragma once

#include "HttpPeer.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
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
// the exchanges open a new session (the web one after redeeming its code, once told
// where); a refresh rotates a known, unspent refresh token
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
        QString accountId = QString::fromLatin1(kDefaultAccountId);
        QString email = QString::fromLatin1(kDefaultEmail);
    };
    // The account of sessions opened without one.
    static constexpr const char *kDefaultAccountId = "ta_0190a1b2-c3d4-7e5f-8a6b-7c8d9e0f1a2b";
    static constexpr const char *kDefaultEmail = "tester@example.com";

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

    // A new live session, as an exchange would open; a refresh keeps its account.
    Session openSession(const QString &accountId = QString::fromLatin1(kDefaultAccountId),
                        const QString &email = QString::fromLatin1(kDefaultEmail));

    // From now on the code exchange redeems its "code" with its "code_verifier" and
    // "redirect_uri" at this token endpoint as the service would, and opens a session
    // for a new account ("ta_" + UUID) with the e-mail of the provider's ID token; a
    // code the provider refuses answers 400 {"error":"invalid_grant"}. Without it,
    // any code opens a session of the default account.
    void redeemCodesAt(const QUrl &tokenEndpoint, const QString &clientId);
    // "is_new_user" of the Apple code exchange's own answers: true, false, or left out.
    void setAppleIsNewUser(std::optional<bool> isNewUser) { m_appleIsNewUser = isNewUser; }
    // Makes a session token unacceptable (401) from now on.
    void revokeToken(const QString &tvs);
    bool isLive(const QString &tvs) const { return m_liveTokens.contains(tvs); }
    QSet<QString> liveTokens() const { return m_liveTokens; }

    // The next request on `path` (POST) gets `reply` instead of the route's own answer;
    // queued replies are used in order, one per request.
    void enqueue(const QByteArray &path, const HttpPeer::Reply &reply);
    // Shorthands for the scripted replies.
    static HttpPeer::Reply jsonReply(int status, const QByteArray &body,
                                     const QList<QPair<QByteArray, QByteArray>> &headers = {});
    static HttpPeer::Reply dropped();

    // Every reply carries this "Tolvern-Deprecation" value (empty: none).
    void setDeprecationHeader(const QByteArray &value) { m_deprecation = value; }
    // Refreshes received while held wait unanswered until release(), which ends every hold.
    void holdRefreshes() { m_holding = true; }
    // Web code exchanges received while held wait unanswered (their code not yet
    // redeemed) until release().
    void holdExchanges() { m_holdingExchanges = true; }
    int heldExchanges() const { return int(m_heldExchanges.size()); }
    void release();
    int heldRefreshes() const { return int(m_held.size()); }

    const QList<LoggedRequest> &log() const { return m_log; }
    QList<LoggedRequest> requestsTo(const QByteArray &path) const;
    int count(const QByteArray &path) const { return int(requestsTo(path).size()); }
    void clearLog() { m_log.clear(); }

    // "ta_" and a new lower-case version-7 UUID.
    static QString newAccountId();

    // The body of a session reply for `session`, as the exchange and the refresh send it.
    QByteArray tvsResponse(const Session &session) const;

Q_SIGNALS:
    void requestLogged(const QByteArray &path);

private:
    void serve(const QByteArray &path, const HttpPeer::Request &request, const HttpPeer::Respond &respond);
    HttpPeer::Reply answerRefresh(const HttpPeer::Request &request);
    void answerExchange(const HttpPeer::Request &request, const HttpPeer::Respond &respond);
    void redeem(const HttpPeer::Request &request, const HttpPeer::Respond &respond);
    HttpPeer::Reply answerAuthorized(const QByteArray &path, const HttpPeer::Request &request);
    // A consent record wants a live bearer token, a proof (checked like every other)
    // whose key stays the same for that token, and a known kind.
    HttpPeer::Reply answerConsent(const LoggedRequest &entry);
    LoggedRequest inspect(const QByteArray &path, const HttpPeer::Request &request) const;
    void finish(HttpPeer::Reply reply, const HttpPeer::Respond &respond) const;

    HttpPeer m_http;
    QNetworkAccessManager m_network;
    QUrl m_tokenEndpoint;
    QString m_clientId;
    std::optional<bool> m_appleIsNewUser = false;
    QHash<QByteArray, QList<HttpPeer::Reply>> m_queued;
    QSet<QString> m_liveTokens;
    QHash<QString, Session> m_byRefreshToken;
    QSet<QString> m_spentRefreshTokens;
    QList<LoggedRequest> m_log;
    QByteArray m_deprecation;
    bool m_holding = false;
    QList<std::pair<HttpPeer::Request, HttpPeer::Respond>> m_held;
    bool m_holdingExchanges = false;
    QList<std::pair<HttpPeer::Request, HttpPeer::Respond>> m_heldExchanges;
    int m_serial = 0;
    // The key thumbprint each session token first recorded a consent with.
    QHash<QString, QString> m_consentThumbprints;
};
