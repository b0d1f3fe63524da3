#include "AuthClient.h"

#include "AppDataTokenResponse.h"
#include "AppleAuthcodeBody.h"
#include "DPoPSigner.h"
#include "EmptyResponse.h"
#include "ExchangeBody.h"
#include "Semver.h"
#include "TolvernDecodingError.h"
#include "TolvernDeprecationParser.h"
#include "TolvernJSON.h"
#include "TolvernRedaction.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <QCoro/QCoroNetworkReply>

namespace {

// Pre-emptive refresh when less than this much of the session is left (48 hours).
constexpr qint64 kRefreshMarginSeconds = 172800;
constexpr int kTimeoutMs = 60000;

bool isSuccess(int status)
{
    return status >= 200 && status <= 299;
}

// Body of POST /api/app-sessions/refresh.
struct RefreshBody
{
    QString appSlug;
    QString refreshToken;
    std::optional<QString> clientVersion;

    void toJSON(TolvernJSONWriter &writer) const
    {
        writer.add(QStringLiteral("app_slug"), appSlug);
        writer.add(QStringLiteral("refresh_token"), refreshToken);
        writer.add(QStringLiteral("client_version"), clientVersion);
    }
};

struct AppDataTokenBody
{
    QString appSlug;

    void toJSON(TolvernJSONWriter &writer) const { writer.add(QStringLiteral("app_slug"), appSlug); }
};

// The code of a failing reply's {"error": ...}; absent when the body does not say.
std::optional<QString> errorCode(const QByteArray &data)
{
    try {
        return TolvernJSON::parse(data).optionalString(QStringLiteral("error"));
    } catch (const TolvernDecodingError &) {
        return std::nullopt;
    }
}

} // namespace

AuthClient::AuthClient(TolvernConfig config, std::shared_ptr<const DPoPSigner> dpopSigner,
                       std::shared_ptr<IdentityThrottle> throttle)
    : m_config(std::move(config))
    , m_dpopSigner(std::move(dpopSigner))
    , m_throttle(throttle ? std::move(throttle)
                          : std::make_shared<IdentityThrottle>(IdentityThrottleOptions{}, m_config.logger()))
{
}

AuthClient::~AuthClient() = default;

void AuthClient::log(TolvernLogLevel level, const QString &event, const TolvernLogFields &fields) const
{
    if (m_config.logger())
        m_config.logger()(level, event, fields);
}

QUrl AuthClient::resolve(const QString &path) const
{
    const QUrl url = m_config.identityURL().resolved(QUrl(path));
    return url.isValid() && !url.isRelative() ? url : QUrl();
}

QString AuthClient::proof(const QUrl &url, const QString &method, const QString &tvs) const
{
    // A session token never travels without its proof.
    if (!m_dpopSigner)
        throw TolvernError::dpopUnavailable(QStringLiteral("no_signer"));
    return m_dpopSigner->generateProof(url, method, tvs);
}

QCoro::Task<AuthClient::Reply> AuthClient::perform(QUrl url, QString method, std::optional<QByteArray> bodyData,
                                                   std::optional<QString> tvs, QString endpoint, CancelToken cancel)
{
    // The first proof is made before the throttle sees the request, so a signer that
    // cannot sign fails the call without counting as a failure of the service.
    std::optional<QString> firstProof;
    if (tvs)
        firstProof = proof(url, method, *tvs);
    auto send = [this, url, method, bodyData, tvs, endpoint, cancel,
                 firstProof]() mutable -> QCoro::Task<IdentityThrottle::SendResult> {
        // Each retry carries a proof of its own.
        std::optional<QString> sendProof = std::exchange(firstProof, std::nullopt);
        if (tvs && !sendProof)
            sendProof = proof(url, method, *tvs);
        auto sending = sendOnce(url, method, bodyData, tvs, sendProof, endpoint, cancel);
        Reply reply = co_await std::move(sending);
        co_return IdentityThrottle::SendResult{reply.data, reply.response};
    };
    try {
        auto running = m_throttle->run(url, method, send, cancel);
        IdentityThrottle::SendResult result = co_await std::move(running);
        co_return Reply{result.data, result.response};
    } catch (const CancellationError &) {
        throw TolvernError::networkUnavailable();
    }
}

QCoro::Task<AuthClient::Reply> AuthClient::sendOnce(QUrl url, QString method, std::optional<QByteArray> bodyData,
                                                    std::optional<QString> tvs, std::optional<QString> proof,
                                                    QString endpoint, CancelToken cancel)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(kTimeoutMs);
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("Accept", "application/json");
    request.setRawHeader("User-Agent", "TolvernAccount/0.9.2 (" + m_config.clientVersion().toUtf8() + ')');
    request.setRawHeader("Tolvern-Lib-Version", m_config.libVersion().toUtf8());
    request.setRawHeader("Tolvern-Client-Version", m_config.clientVersion().toUtf8());
    if (tvs) {
        request.setRawHeader("Authorization", "Bearer " + tvs->toUtf8());
        request.setRawHeader("DPoP", proof.value_or(QString()).toUtf8());
    }

    struct Later {
        void operator()(QNetworkReply *reply) const { reply->deleteLater(); }
    };
    const std::unique_ptr<QNetworkReply, Later> reply(
        m_config.urlSession()->sendCustomRequest(request, method.toLatin1(), bodyData.value_or(QByteArray())));
    if (CancelTokenState *state = cancel.state()) {
        QObject::connect(state, &CancelTokenState::wasCancelled, reply.get(), &QNetworkReply::abort);
        if (cancel.isCancelled())
            reply->abort();
    }
    if (!reply->isFinished()) {
        auto finished = qCoro(reply.get()).waitForFinished();
        co_await std::move(finished);
    }

    const std::optional<HTTPResponse> response = HTTPResponse::fromReply(reply.get());
    if (!response) {
        if (reply->error() != QNetworkReply::NoError) {
            log(TolvernLogLevel::warning, QStringLiteral("request_transport_failed"),
                TolvernRedaction::transportFailure(endpoint, reply->error()));
            throw TolvernError::networkUnavailable();
        }
        log(TolvernLogLevel::error, QStringLiteral("request_decode_failed"),
            TolvernRedaction::decodeFailure(endpoint, QStringLiteral("response")));
        throw TolvernError::malformedResponse(QStringLiteral("response"));
    }
    co_return Reply{reply->readAll(), *response};
}

void AuthClient::handleDeprecationHeaders(const HTTPResponse &response, const QString &endpoint) const
{
    const QList<TolvernDeprecationNotice> notices = TolvernDeprecationParser::notices(response);
    if (!notices.isEmpty() && onDeprecationNotice)
        onDeprecationNotice(notices);
    const QString redacted = TolvernRedaction::endpoint(endpoint);
    if (response.statusCode == 426) {
        std::optional<QUrl> replacement;
        for (const TolvernDeprecationNotice &notice : notices) {
            if (notice.kind == TolvernDeprecationNotice::Case::endpoint && notice.replacement) {
                replacement = notice.replacement;
                break;
            }
        }
        log(TolvernLogLevel::error, QStringLiteral("client_killed"),
            {{QStringLiteral("endpoint"), redacted},
             {QStringLiteral("status"), QStringLiteral("426")},
             {QStringLiteral("class"), QStringLiteral("clientKilled")}});
        throw TolvernError::clientKilled(replacement);
    }
    for (const TolvernDeprecationNotice &notice : notices) {
        if (notice.kind == TolvernDeprecationNotice::Case::client
            && Semver::compare(m_config.clientVersion(), notice.minVersion) < 0) {
            log(TolvernLogLevel::warning, QStringLiteral("requires_upgrade"),
                {{QStringLiteral("endpoint"), redacted},
                 {QStringLiteral("status"), QString::number(response.statusCode)},
                 {QStringLiteral("class"), QStringLiteral("requiresUpgrade")}});
            throw TolvernError::requiresUpgrade(notice.minVersion);
        }
    }
}

void AuthClient::mapStatusError(const HTTPResponse &http, const QByteArray &data, const QString &endpoint) const
{
    const int status = http.statusCode;
    if (isSuccess(status))
        return;
    const std::optional<QString> code = errorCode(data);
    TolvernLogFields fields{{QStringLiteral("endpoint"), TolvernRedaction::endpoint(endpoint)},
                            {QStringLiteral("status"), QString::number(status)}};
    if (code && !code->isEmpty())
        fields.insert(QStringLiteral("code"), *code);
    if (status == 426) {
        fields.insert(QStringLiteral("class"), QStringLiteral("clientKilled"));
        log(TolvernLogLevel::error, QStringLiteral("client_killed"), fields);
        throw TolvernError::clientKilled();
    }
    if (status == 401) {
        fields.insert(QStringLiteral("class"), QStringLiteral("auth"));
        log(TolvernLogLevel::warning, QStringLiteral("request_auth_failed"), fields);
        throw TolvernError::sessionExpired();
    }
    fields.insert(QStringLiteral("class"), QStringLiteral("server"));
    log(TolvernLogLevel::error, QStringLiteral("request_server_failed"), fields);
    throw TolvernError::serverError(status, code);
}

template<class Record>
Record AuthClient::decodeReply(const QByteArray &data, const QString &endpoint, const QString &recordName) const
{
    try {
        return TolvernJSON::decode<Record>(data);
    } catch (const TolvernDecodingError &) {
        log(TolvernLogLevel::error, QStringLiteral("request_decode_failed"),
            TolvernRedaction::decodeFailure(endpoint, recordName));
        throw TolvernError::malformedResponse(recordName);
    }
}

QCoro::Task<TokenRefresher::Rotation> AuthClient::refresh(QString refreshToken)
{
    const QString endpoint = QString::fromLatin1(kRefreshPath);
    const QByteArray body =
        TolvernJSON::encode(RefreshBody{m_config.appSlug(), refreshToken, m_config.clientVersion()});
    const QUrl url = resolve(endpoint);
    if (url.isEmpty())
        throw TolvernError::malformedResponse(QStringLiteral("url"));
    auto sending = perform(url, QStringLiteral("POST"), body, std::nullopt, endpoint, CancelToken());
    const Reply reply = co_await std::move(sending);

    // The service has spent the presented token once it answers 2xx: a blocking client
    // notice on that reply must not drop the session it rotated to.
    std::optional<TolvernError> rejection;
    try {
        handleDeprecationHeaders(reply.response, endpoint);
    } catch (const TolvernError &error) {
        if (error.kind() != TolvernError::Case::requiresUpgrade || !isSuccess(reply.response.statusCode))
            throw;
        rejection = error;
    }
    mapStatusError(reply.response, reply.data, endpoint);
    if (rejection) {
        try {
            co_return TokenRefresher::Rotation{TolvernJSON::decode<TvsResponse>(reply.data), rejection};
        } catch (const TolvernDecodingError &) {
            throw *rejection;
        }
    }
    co_return TokenRefresher::Rotation{decodeReply<TvsResponse>(reply.data, endpoint, QStringLiteral("TvsResponse")),
                                       std::nullopt};
}

QCoro::Task<TvsResponse> AuthClient::refreshSerialized(QString refreshToken)
{
    const std::weak_ptr<int> alive = m_alive;
    auto perform = [this, alive, refreshToken]() -> QCoro::Task<TokenRefresher::Rotation> {
        if (alive.expired())
            throw TolvernError::networkUnavailable();
        auto refreshing = refresh(refreshToken);
        co_return co_await std::move(refreshing);
    };
    auto refreshing = m_tokenRefresher.refresh(refreshToken, perform, onSessionRefreshed);
    co_return co_await std::move(refreshing);
}

QCoro::Task<AuthClient::Reply> AuthClient::performWithAuthRecovery(QString path, QString method,
                                                                   std::optional<QByteArray> bodyData,
                                                                   std::optional<QString> tvs, bool allowAuthRecovery,
                                                                   CancelToken cancel)
{
    const QUrl url = resolve(path);
    if (url.isEmpty())
        throw TolvernError::malformedResponse(QStringLiteral("url"));
    // Nothing goes out, not even a refresh, for a call that could never carry a proof.
    if (tvs && !m_dpopSigner)
        throw TolvernError::dpopUnavailable(QStringLiteral("no_signer"));

    std::optional<QString> token = tvs;
    const bool recovers = allowAuthRecovery && tvs && currentSessionProvider;
    if (recovers) {
        const std::optional<StoredSession> session = currentSessionProvider();
        if (session && session->refreshToken
            && QDateTime::currentDateTimeUtc().secsTo(session->expiresAt) < kRefreshMarginSeconds) {
            try {
                auto refreshing = refreshSerialized(*session->refreshToken);
                const TvsResponse refreshed = co_await std::move(refreshing);
                token = refreshed.tvs;
            } catch (const TolvernError &) {
                // The given token is sent as it is.
            }
        }
    }

    auto sendingFirst = perform(url, method, bodyData, token, path, cancel);
    Reply first = co_await std::move(sendingFirst);
    handleDeprecationHeaders(first.response, path);
    if (first.response.statusCode != 401 || !recovers)
        co_return first;
    const std::optional<StoredSession> session = currentSessionProvider();
    if (!session || !session->refreshToken)
        co_return first;
    QString renewed;
    try {
        auto refreshing = refreshSerialized(*session->refreshToken);
        renewed = (co_await std::move(refreshing)).tvs;
    } catch (const TolvernError &) {
        co_return first;
    }
    auto sendingSecond = perform(url, method, bodyData, renewed, path, cancel);
    Reply second = co_await std::move(sendingSecond);
    handleDeprecationHeaders(second.response, path);
    co_return second;
}

template<class Record>
QCoro::Task<Record> AuthClient::postForRecord(QString path, QByteArray body, std::optional<QString> tvs,
                                              QString recordName, CancelToken cancel)
{
    auto sending = performWithAuthRecovery(path, QStringLiteral("POST"), body, tvs, true, cancel);
    const Reply reply = co_await std::move(sending);
    mapStatusError(reply.response, reply.data, path);
    co_return decodeReply<Record>(reply.data, path, recordName);
}

QCoro::Task<TvsResponse> AuthClient::exchangeCode(QString code, std::optional<QString> codeVerifier,
                                                  std::optional<QString> installID, CancelToken cancel)
{
    const ExchangeBody body{m_config.appSlug(),
                            code,
                            codeVerifier,
                            m_config.redirectURI().toString(QUrl::FullyEncoded),
                            m_config.clientVersion(),
                            installID ? installID : m_config.installID()};
    // Named task: GCC 12 destroys temporaries inside a co_await expression twice.
    auto request = postForRecord<TvsResponse>(QString::fromLatin1(kExchangePath), TolvernJSON::encode(body),
                                              std::nullopt, QStringLiteral("TvsResponse"), cancel);
    co_return co_await std::move(request);
}

QCoro::Task<AppleAuthcodeResponse> AuthClient::exchangeAppleAuthCode(QString authorizationCode,
                                                                     std::optional<QString> identityToken,
                                                                     std::optional<QString> installID,
                                                                     CancelToken cancel)
{
    const AppleAuthcodeBody body{m_config.appSlug(), authorizationCode, identityToken,
                                 installID ? installID : m_config.installID()};
    auto request = postForRecord<AppleAuthcodeResponse>(QString::fromLatin1(kAppleAuthcodePath),
                                                        TolvernJSON::encode(body), std::nullopt,
                                                        QStringLiteral("AppleAuthcodeResponse"), cancel);
    co_return co_await std::move(request);
}

QCoro::Task<QString> AuthClient::getAppDataToken(QString tvs, CancelToken cancel)
{
    auto request = postForRecord<AppDataTokenResponse>(
        QString::fromLatin1(kAppDataTokenPath), TolvernJSON::encode(AppDataTokenBody{m_config.appSlug()}), tvs,
        QStringLiteral("AppDataTokenResponse"), cancel);
    const AppDataTokenResponse reply = co_await std::move(request);
    co_return reply.appDataToken;
}

QCoro::Task<void> AuthClient::revokeSession(QString tvs, CancelToken cancel)
{
    const QString endpoint = QString::fromLatin1(kRevokePath);
    const QUrl url = resolve(endpoint);
    if (url.isEmpty())
        throw TolvernError::malformedResponse(QStringLiteral("url"));
    auto sending = perform(url, QStringLiteral("POST"), std::nullopt, tvs, endpoint, cancel);
    const Reply reply = co_await std::move(sending);
    handleDeprecationHeaders(reply.response, endpoint);
    mapStatusError(reply.response, reply.data, endpoint);
    decodeReply<EmptyResponse>(reply.data, endpoint, QStringLiteral("EmptyResponse"));
}
