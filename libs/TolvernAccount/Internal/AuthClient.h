#pragma once

#include "AppleAuthcodeResponse.h"
#include "CancelToken.h"
#include "HTTPResponse.h"
#include "IdentityThrottle.h"
#include "StoredSession.h"
#include "TokenRefresher.h"
#include "TolvernConfig.h"
#include "TolvernDeprecationNotice.h"
#include "TvsResponse.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <QCoro/QCoroTask>

#include <functional>
#include <memory>
#include <optional>

class DPoPSigner;

// The account library's one client of the identity service. Every call resolves its
// path against the configured base URL, sends one JSON request with the library's
// headers, the session token and a DPoP proof through the request throttle, acts on
// the deprecation header and maps failing statuses to TolvernError. Calls made with a
// session token refresh the session when less than 48 hours of it remain and once
// more after a 401, always through the one TokenRefresher.
//
// A request that carries a session token is never sent without a proof: with no
// signer, or a signer that fails, the call fails with dpopUnavailable.
//
// Lives on the thread of the configuration's network access manager and takes no
// lock; calls may overlap. The object must outlive the calls it runs.
class AuthClient
{
public:
    struct Reply {
        QByteArray data;
        HTTPResponse response;
    };
    using DeprecationHook = std::function<void(const QList<TolvernDeprecationNotice> &notices)>;
    // The stored session, read synchronously (never over the network).
    using SessionProvider = std::function<std::optional<StoredSession>()>;
    using SessionRefreshedHook = std::function<void(const QString &presentedRefreshToken, const TvsResponse &response)>;

    static constexpr const char *kRefreshPath = "/api/app-sessions/refresh";
    static constexpr const char *kExchangePath = "/api/app-sessions/exchange";
    static constexpr const char *kAppleAuthcodePath = "/api/integrations/apple/authcode";
    static constexpr const char *kAppDataTokenPath = "/api/app-data-token";
    static constexpr const char *kRevokePath = "/api/sessions/revoke";

    // Without a throttle, makes one with the default options and the config's logger.
    AuthClient(TolvernConfig config, std::shared_ptr<const DPoPSigner> dpopSigner,
               std::shared_ptr<IdentityThrottle> throttle = {});
    ~AuthClient();
    AuthClient(const AuthClient &) = delete;
    AuthClient &operator=(const AuthClient &) = delete;

    // Set once by the account manager, before any request.
    DeprecationHook onDeprecationNotice;
    SessionProvider currentSessionProvider;
    SessionRefreshedHook onSessionRefreshed;

    // The reply of `method` on `path`, whatever its status (map it with mapStatusError).
    QCoro::Task<Reply> performWithAuthRecovery(QString path, QString method, std::optional<QByteArray> bodyData,
                                               std::optional<QString> tvs, bool allowAuthRecovery,
                                               CancelToken cancel = {});
    // Returns for 2xx; else throws clientKilled (426), sessionExpired (401) or serverError.
    void mapStatusError(const HTTPResponse &http, const QByteArray &data, const QString &endpoint) const;
    // Refreshes through the one TokenRefresher; every refresh of the process goes here.
    QCoro::Task<TvsResponse> refreshSerialized(QString refreshToken);

    // Session operations.
    // The web sign-in's code exchange; the body's other members come from the config.
    QCoro::Task<TvsResponse> exchangeCode(QString code, std::optional<QString> codeVerifier,
                                          std::optional<QString> installID, CancelToken cancel = {});
    QCoro::Task<AppleAuthcodeResponse> exchangeAppleAuthCode(QString authorizationCode,
                                                             std::optional<QString> identityToken,
                                                             std::optional<QString> installID,
                                                             CancelToken cancel = {});
    QCoro::Task<QString> getAppDataToken(QString tvs, CancelToken cancel = {});
    // No refresh and no retry: a 401 ends in sessionExpired.
    QCoro::Task<void> revokeSession(QString tvs, CancelToken cancel = {});

private:
    QUrl resolve(const QString &path) const;
    QCoro::Task<Reply> perform(QUrl url, QString method, std::optional<QByteArray> bodyData,
                               std::optional<QString> tvs, QString endpoint, CancelToken cancel);
    QCoro::Task<Reply> sendOnce(QUrl url, QString method, std::optional<QByteArray> bodyData,
                                std::optional<QString> tvs, std::optional<QString> proof, QString endpoint,
                                CancelToken cancel);
    QString proof(const QUrl &url, const QString &method, const QString &tvs) const;
    void handleDeprecationHeaders(const HTTPResponse &response, const QString &endpoint) const;
    QCoro::Task<TokenRefresher::Rotation> refresh(QString refreshToken);
    template<class Record>
    QCoro::Task<Record> postForRecord(QString path, QByteArray body, std::optional<QString> tvs, QString recordName,
                                      CancelToken cancel);
    template<class Record>
    Record decodeReply(const QByteArray &data, const QString &endpoint, const QString &recordName) const;
    void log(TolvernLogLevel level, const QString &event, const TolvernLogFields &fields) const;

    TolvernConfig m_config;
    std::shared_ptr<const DPoPSigner> m_dpopSigner;
    std::shared_ptr<IdentityThrottle> m_throttle;
    TokenRefresher m_tokenRefresher;
    // Lets a refresh that outlives the client see that it is gone.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
};
