#include "IdentityPeer.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QUuid>

#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>

namespace {

QByteArray base64Url(const QByteArray &bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

std::optional<QByteArray> fromBase64Url(const QByteArray &text)
{
    auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

QString isoDate(const QDateTime &when)
{
    return when.toUTC().toString(Qt::ISODateWithMs);
}

using PKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

PKey p256PublicKey(const QByteArray &x, const QByteArray &y)
{
    const QByteArray point = QByteArray(1, '\x04') + x + y;
    std::unique_ptr<OSSL_PARAM_BLD, decltype(&OSSL_PARAM_BLD_free)> builder(OSSL_PARAM_BLD_new(), OSSL_PARAM_BLD_free);
    OSSL_PARAM_BLD_push_utf8_string(builder.get(), OSSL_PKEY_PARAM_GROUP_NAME, "prime256v1", 0);
    OSSL_PARAM_BLD_push_octet_string(builder.get(), OSSL_PKEY_PARAM_PUB_KEY, point.constData(), point.size());
    OSSL_PARAM *params = OSSL_PARAM_BLD_to_param(builder.get());
    EVP_PKEY *key = nullptr;
    EVP_PKEY_CTX *context = EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr);
    if (context && EVP_PKEY_fromdata_init(context) == 1)
        EVP_PKEY_fromdata(context, &key, EVP_PKEY_PUBLIC_KEY, params);
    EVP_PKEY_CTX_free(context);
    OSSL_PARAM_free(params);
    return PKey(key, EVP_PKEY_free);
}

// ES256: the JOSE r || s as DER, checked over SHA-256 of the signing input.
bool verifyEs256(EVP_PKEY *key, const QByteArray &input, const QByteArray &jose)
{
    if (jose.size() != 64)
        return false;
    ECDSA_SIG *signature = ECDSA_SIG_new();
    ECDSA_SIG_set0(signature, BN_bin2bn(reinterpret_cast<const unsigned char *>(jose.constData()), 32, nullptr),
                   BN_bin2bn(reinterpret_cast<const unsigned char *>(jose.constData()) + 32, 32, nullptr));
    unsigned char *der = nullptr;
    const int derLength = i2d_ECDSA_SIG(signature, &der);
    ECDSA_SIG_free(signature);
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    const bool ok = derLength > 0 && EVP_DigestVerifyInit(context, nullptr, EVP_sha256(), nullptr, key) == 1
                    && EVP_DigestVerify(context, der, derLength,
                                        reinterpret_cast<const unsigned char *>(input.constData()), input.size())
                           == 1;
    EVP_MD_CTX_free(context);
    OPENSSL_free(der);
    return ok;
}

QString bearerToken(const HttpPeer::Request &request)
{
    const QByteArray authorization = request.headers.value("authorization");
    return authorization.startsWith("Bearer ") ? QString::fromUtf8(authorization.mid(7)) : QString();
}

} // namespace

IdentityPeer::IdentityPeer(QObject *parent)
    : QObject(parent)
{
    for (const char *path : {kExchange, kRefresh, kRevoke, kAppDataToken, kAppleAuthcode, kConsents, kContactsCapture}) {
        const QByteArray route(path);
        m_http.handle(route, [this, route](const HttpPeer::Request &request, const HttpPeer::Respond &respond) {
            serve(route, request, respond);
        }, "POST");
    }
}

QUrl IdentityPeer::baseUrl() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_http.port()));
}

IdentityPeer::Session IdentityPeer::openSession(const QString &accountId, const QString &email)
{
    ++m_serial;
    Session session{QStringLiteral("tvs_%1_%2").arg(m_serial).arg(QUuid::createUuid().toString(QUuid::Id128)),
                    QStringLiteral("rt_%1_%2").arg(m_serial).arg(QUuid::createUuid().toString(QUuid::Id128)),
                    QDateTime::currentDateTimeUtc().addDays(30), accountId, email};
    m_liveTokens.insert(session.tvs);
    m_byRefreshToken.insert(session.refreshToken, session);
    return session;
}

void IdentityPeer::revokeToken(const QString &tvs)
{
    m_liveTokens.remove(tvs);
}

void IdentityPeer::enqueue(const QByteArray &path, const HttpPeer::Reply &reply)
{
    m_queued[path].append(reply);
}

HttpPeer::Reply IdentityPeer::jsonReply(int status, const QByteArray &body,
                                        const QList<QPair<QByteArray, QByteArray>> &headers)
{
    HttpPeer::Reply reply;
    reply.status = status;
    reply.body = body;
    reply.headers = headers;
    reply.headers.prepend({"Content-Type", "application/json"});
    return reply;
}

HttpPeer::Reply IdentityPeer::dropped()
{
    HttpPeer::Reply reply;
    reply.drop = true;
    return reply;
}

void IdentityPeer::release()
{
    m_holding = false;
    m_holdingExchanges = false;
    const auto held = std::exchange(m_held, {});
    for (const auto &[request, respond] : held)
        finish(answerRefresh(request), respond);
    const auto exchanges = std::exchange(m_heldExchanges, {});
    for (const auto &[request, respond] : exchanges)
        answerExchange(request, respond);
}

QList<IdentityPeer::LoggedRequest> IdentityPeer::requestsTo(const QByteArray &path) const
{
    QList<LoggedRequest> found;
    for (const LoggedRequest &entry : m_log) {
        if (entry.path == path)
            found.append(entry);
    }
    return found;
}

QByteArray IdentityPeer::tvsResponse(const Session &session) const
{
    const QJsonObject body{
        {QStringLiteral("ok"), true},
        {QStringLiteral("tvs"), session.tvs},
        {QStringLiteral("refresh_token"), session.refreshToken},
        {QStringLiteral("expires_at"), isoDate(session.expiresAt)},
        {QStringLiteral("tolvern_account_id"), session.accountId},
        {QStringLiteral("email"), session.email},
        {QStringLiteral("app_slug"), QStringLiteral("sorvane")},
    };
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

void IdentityPeer::serve(const QByteArray &path, const HttpPeer::Request &request, const HttpPeer::Respond &respond)
{
    const LoggedRequest entry = inspect(path, request);
    m_log.append(entry);
    Q_EMIT requestLogged(path);

    QList<HttpPeer::Reply> &queued = m_queued[path];
    if (!queued.isEmpty()) {
        finish(queued.takeFirst(), respond);
        return;
    }
    if (entry.hasProof && !entry.proofError.isEmpty()) {
        finish(jsonReply(401, R"({"error":"invalid_dpop_proof"})"), respond);
        return;
    }
    if (path == kRefresh) {
        if (m_holding)
            m_held.append({request, respond});
        else
            finish(answerRefresh(request), respond);
    } else if (path == kExchange) {
        if (m_holdingExchanges)
            m_heldExchanges.append({request, respond});
        else
            answerExchange(request, respond);
    } else if (path == kAppleAuthcode) {
        const Session session = openSession(newAccountId(), QString::fromLatin1(kDefaultEmail));
        QJsonObject body{
            {QStringLiteral("ok"), true},
            {QStringLiteral("tolvern_account_id"), session.accountId},
            {QStringLiteral("email"), session.email},
            {QStringLiteral("tvs"), session.tvs},
            {QStringLiteral("refresh_token"), session.refreshToken},
            {QStringLiteral("expires_at"), isoDate(session.expiresAt)},
        };
        if (m_appleIsNewUser)
            body.insert(QStringLiteral("is_new_user"), *m_appleIsNewUser);
        finish(jsonReply(200, QJsonDocument(body).toJson(QJsonDocument::Compact)), respond);
    } else if (path == kConsents) {
        finish(answerConsent(entry), respond);
    } else if (path == kContactsCapture) {
        finish(jsonReply(200, R"({"ok":true})"), respond);
    } else {
        finish(answerAuthorized(path, request), respond);
    }
}

void IdentityPeer::answerExchange(const HttpPeer::Request &request, const HttpPeer::Respond &respond)
{
    if (m_tokenEndpoint.isValid())
        redeem(request, respond);
    else
        finish(jsonReply(200, tvsResponse(openSession())), respond);
}

void IdentityPeer::redeemCodesAt(const QUrl &tokenEndpoint, const QString &clientId)
{
    m_tokenEndpoint = tokenEndpoint;
    m_clientId = clientId;
}

void IdentityPeer::redeem(const HttpPeer::Request &request, const HttpPeer::Respond &respond)
{
    const QJsonObject sent = QJsonDocument::fromJson(request.body).object();
    QByteArray form = "grant_type=authorization_code&client_id=" + QUrl::toPercentEncoding(m_clientId);
    for (const char *key : {"code", "code_verifier", "redirect_uri"}) {
        const QString name = QString::fromLatin1(key);
        if (sent.contains(name))
            form += '&' + QByteArray(key) + '=' + QUrl::toPercentEncoding(sent.value(name).toString());
    }
    QNetworkRequest tokenRequest(m_tokenEndpoint);
    tokenRequest.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *reply = m_network.post(tokenRequest, form);
    connect(reply, &QNetworkReply::finished, this, [this, reply, respond] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QJsonObject tokens = QJsonDocument::fromJson(reply->readAll()).object();
        if (status != 200 || !tokens.contains(QStringLiteral("access_token"))) {
            // The provider's refusal (a wrong verifier, a spent code) is the service's invalid_grant.
            finish(jsonReply(400, R"({"error":"invalid_grant"})"), respond);
            return;
        }
        QString email = QString::fromLatin1(kDefaultEmail);
        const QList<QByteArray> idToken = tokens.value(QStringLiteral("id_token")).toString().toLatin1().split('.');
        if (idToken.size() == 3) {
            const auto claims = fromBase64Url(idToken.at(1));
            const QString claimed =
                claims ? QJsonDocument::fromJson(*claims).object().value(QStringLiteral("email")).toString() : QString();
            if (!claimed.isEmpty())
                email = claimed;
        }
        finish(jsonReply(200, tvsResponse(openSession(newAccountId(), email))), respond);
    });
}

QString IdentityPeer::newAccountId()
{
    // A version-7 layout: the version nibble 7 and the RFC 4122 variant.
    QByteArray bytes = QUuid::createUuid().toRfc4122();
    bytes[6] = char((bytes[6] & 0x0f) | 0x70);
    bytes[8] = char((bytes[8] & 0x3f) | 0x80);
    return QStringLiteral("ta_") + QUuid::fromRfc4122(bytes).toString(QUuid::WithoutBraces).toLower();
}

HttpPeer::Reply IdentityPeer::answerRefresh(const HttpPeer::Request &request)
{
    const QString presented =
        QJsonDocument::fromJson(request.body).object().value(QStringLiteral("refresh_token")).toString();
    // Single use: a spent or unknown refresh token is refused as the real service does.
    if (!m_byRefreshToken.contains(presented) || m_spentRefreshTokens.contains(presented))
        return jsonReply(400, R"({"error":"invalid_grant"})");
    m_spentRefreshTokens.insert(presented);
    const Session spent = m_byRefreshToken.value(presented);
    m_liveTokens.remove(spent.tvs);
    return jsonReply(200, tvsResponse(openSession(spent.accountId, spent.email)));
}

HttpPeer::Reply IdentityPeer::answerAuthorized(const QByteArray &path, const HttpPeer::Request &request)
{
    const QString token = bearerToken(request);
    if (token.isEmpty() || !m_liveTokens.contains(token))
        return jsonReply(401, R"({"error":"invalid_token"})");
    if (!request.headers.contains("dpop"))
        return jsonReply(401, R"({"error":"dpop_required"})");
    if (path == kRevoke) {
        m_liveTokens.remove(token);
        return jsonReply(200, R"({"ok":true})");
    }
    const QJsonObject body{
        {QStringLiteral("ok"), true},
        {QStringLiteral("app_data_token"), QStringLiteral("adt_for_") + token},
        {QStringLiteral("expires_at"), isoDate(QDateTime::currentDateTimeUtc().addSecs(3600))},
    };
    return jsonReply(200, QJsonDocument(body).toJson(QJsonDocument::Compact));
}

HttpPeer::Reply IdentityPeer::answerConsent(const LoggedRequest &entry)
{
    const QString token = bearerToken(entry.request);
    if (token.isEmpty() || !m_liveTokens.contains(token))
        return jsonReply(401, R"({"error":"invalid_token"})");
    if (!entry.hasProof)
        return jsonReply(401, R"({"error":"dpop_required"})");
    const QString bound = m_consentThumbprints.value(token, entry.proofThumbprint);
    if (bound != entry.proofThumbprint)
        return jsonReply(401, R"({"error":"invalid_dpop_proof"})");
    m_consentThumbprints.insert(token, bound);
    const QString kind = QJsonDocument::fromJson(entry.request.body).object().value(QStringLiteral("kind")).toString();
    if (kind != QLatin1String("terms") && kind != QLatin1String("privacy"))
        return jsonReply(400, R"({"error":"unknown_kind"})");
    return jsonReply(200, R"({"ok":true})");
}

IdentityPeer::LoggedRequest IdentityPeer::inspect(const QByteArray &path, const HttpPeer::Request &request) const
{
    LoggedRequest entry{request, path, request.headers.contains("dpop"), {}, {}};
    if (!entry.hasProof)
        return entry;
    auto fail = [&entry](const QString &why) {
        entry.proofError = why;
        return entry;
    };
    const QList<QByteArray> parts = request.headers.value("dpop").split('.');
    if (parts.size() != 3)
        return fail(QStringLiteral("not a compact JWS"));
    const auto headerBytes = fromBase64Url(parts.at(0));
    const auto claimBytes = fromBase64Url(parts.at(1));
    const auto signature = fromBase64Url(parts.at(2));
    if (!headerBytes || !claimBytes || !signature)
        return fail(QStringLiteral("not base64url"));
    const QJsonObject header = QJsonDocument::fromJson(*headerBytes).object();
    const QJsonObject claims = QJsonDocument::fromJson(*claimBytes).object();
    if (header.value(QStringLiteral("typ")).toString() != QLatin1String("dpop+jwt"))
        return fail(QStringLiteral("typ"));
    if (header.value(QStringLiteral("alg")).toString() != QLatin1String("ES256"))
        return fail(QStringLiteral("alg"));
    const QJsonObject jwk = header.value(QStringLiteral("jwk")).toObject();
    const auto x = fromBase64Url(jwk.value(QStringLiteral("x")).toString().toLatin1());
    const auto y = fromBase64Url(jwk.value(QStringLiteral("y")).toString().toLatin1());
    if (jwk.value(QStringLiteral("kty")).toString() != QLatin1String("EC")
        || jwk.value(QStringLiteral("crv")).toString() != QLatin1String("P-256") || !x || !y || x->size() != 32
        || y->size() != 32)
        return fail(QStringLiteral("jwk"));
    const PKey key = p256PublicKey(*x, *y);
    if (!key || !verifyEs256(key.get(), parts.at(0) + '.' + parts.at(1), *signature))
        return fail(QStringLiteral("signature"));
    entry.proofThumbprint = QString::fromLatin1(base64Url(QCryptographicHash::hash(
        QStringLiteral(R"({"crv":"P-256","kty":"EC","x":"%1","y":"%2"})")
            .arg(jwk.value(QStringLiteral("x")).toString(), jwk.value(QStringLiteral("y")).toString())
            .toUtf8(),
        QCryptographicHash::Sha256)));
    if (claims.value(QStringLiteral("htm")).toString().toLatin1() != request.method)
        return fail(QStringLiteral("htm"));
    const qsizetype query = request.target.indexOf('?');
    const QString htu = baseUrl().toString() + QString::fromUtf8(query < 0 ? request.target : request.target.left(query));
    if (claims.value(QStringLiteral("htu")).toString() != htu)
        return fail(QStringLiteral("htu"));
    const qint64 iat = claims.value(QStringLiteral("iat")).toInteger(-1);
    if (qAbs(QDateTime::currentSecsSinceEpoch() - iat) > 300)
        return fail(QStringLiteral("iat"));
    if (claims.value(QStringLiteral("jti")).toString().isEmpty())
        return fail(QStringLiteral("jti"));
    const QString token = bearerToken(request);
    const QString ath = claims.value(QStringLiteral("ath")).toString();
    const QString expectedAth =
        QString::fromLatin1(base64Url(QCryptographicHash::hash(token.toUtf8(), QCryptographicHash::Sha256)));
    if (token.isEmpty() ? claims.contains(QStringLiteral("ath")) : ath != expectedAth)
        return fail(QStringLiteral("ath"));
    return entry;
}

void IdentityPeer::finish(HttpPeer::Reply reply, const HttpPeer::Respond &respond) const
{
    if (!m_deprecation.isEmpty())
        reply.headers.append({"Tolvern-Deprecation", m_deprecation});
    respond(reply);
}
