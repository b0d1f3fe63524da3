#include "Base64URL.h"
#include "DPoPSigner.h"
#include "Internal/SecretServiceItems.h"
#include "OidcPeer.h"
#include "PKCE.h"
#include "TolvernError.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

#include <future>
#include <thread>

namespace {

struct Jws {
    QByteArray headerJson;
    QByteArray claimsJson;
    QJsonObject header;
    QJsonObject claims;
    QByteArray signature;
};

Jws split(const QString &proof)
{
    const QStringList parts = proof.split(QLatin1Char('.'));
    Jws jws;
    if (parts.size() != 3)
        return jws;
    jws.headerJson = Base64URL::decode(parts.at(0)).value_or(QByteArray());
    jws.claimsJson = Base64URL::decode(parts.at(1)).value_or(QByteArray());
    jws.header = QJsonDocument::fromJson(jws.headerJson).object();
    jws.claims = QJsonDocument::fromJson(jws.claimsJson).object();
    jws.signature = Base64URL::decode(parts.at(2)).value_or(QByteArray());
    return jws;
}

QString dpopReason(const std::function<void()> &call)
{
    try {
        call();
    } catch (const TolvernError &error) {
        return error.kind() == TolvernError::Case::dpopUnavailable ? error.reason() : QStringLiteral("other error");
    }
    return QString();
}

SecretServiceItems::Attributes keyItem()
{
    return {{QStringLiteral("service"), QString::fromLatin1(DPoPSigner::kService)},
            {QStringLiteral("application_tag"), QString::fromLatin1(DPoPSigner::kApplicationTag)},
            {QStringLiteral("key_class"), QString::fromLatin1(DPoPSigner::kKeyClass)}};
}

// Lines of dpop_probe run with `count` signers, under `environment`.
QStringList probe(int count, const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(DPOP_PROBE_PATH), {QString::number(count)});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {QStringLiteral("probe failed: ") + QString::fromLocal8Bit(process.readAllStandardError())};
    return QString::fromLatin1(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QNetworkReply *waitFor(QNetworkReply *reply)
{
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!reply->isFinished())
        finished.wait(30000);
    return reply;
}

} // namespace

class tst_DPoPSigner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rfc9449Vectors();
    void proofShape_data();
    void proofShape();
    void proofsAreFresh();
    void derToJose_data();
    void derToJose();
    void publicKeyFormat_data();
    void publicKeyFormat();
    void keyringKeyIsShared();
    void concurrentSignersMakeOneKey();
    void damagedKeyItemIsReplaced();
    void discardedKeyIsReplacedForEverySigner();
    void withoutSecretServiceEachSignerHasItsOwnKey();
    void realVerifierBindsTokenToKey();
};

void tst_DPoPSigner::rfc9449Vectors()
{
    // The example key of RFC 9449 section 4.1 and its thumbprint from section 6.1.
    const QMap<QString, QString> jwk{
        {QStringLiteral("kty"), QStringLiteral("EC")},
        {QStringLiteral("x"), QStringLiteral("l8tFrhx-34tV3hRICRDY9zCkDlpBhF42UQUfWVAWBFs")},
        {QStringLiteral("y"), QStringLiteral("9VE4jf_Ok_o64zbTTlcuNJajHmt6v9TDVrU0CdvGRDA")},
        {QStringLiteral("crv"), QStringLiteral("P-256")},
    };
    QCOMPARE(DPoPSigner::jwkThumbprint(jwk), QStringLiteral("0ZcOCORZNYy-DWpqq30jZyJGHTN0d2HglBV3uiguA4I"));

    // Section 7.1: the access token and the "ath" of the proof that goes with it.
    const DPoPSigner signer(DPoPSigner::KeySource::memoryOnly);
    const Jws jws = split(signer.generateProof(QUrl(QStringLiteral("https://resource.example.org/protectedresource")),
                                               QStringLiteral("GET"),
                                               QStringLiteral("Kz~8mXK1EalYznwH-LC-1fBAo.4Ljp~zsPE_NeO.gxU")));
    QCOMPARE(jws.claims.value(QStringLiteral("ath")).toString(),
             QStringLiteral("fUHyO2r2Z3DZ53EsNrWBb0xWXoaNy59IiKCAqksmQEo"));
}

void tst_DPoPSigner::proofShape_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::addColumn<QString>("method");
    QTest::addColumn<std::optional<QString>>("token");
    QTest::addColumn<QString>("htu");
    QTest::addColumn<QString>("htm");
    QTest::addColumn<QString>("claimsOrder");

    QTest::newRow("query and fragment removed")
        << QUrl(QStringLiteral("https://id.example.com:8443/api/app-data-token?x=1&y=2#frag")) << QStringLiteral("POST")
        << std::optional<QString>(QStringLiteral("tvs_1")) << QStringLiteral("https://id.example.com:8443/api/app-data-token")
        << QStringLiteral("POST") << QStringLiteral("ath,htm,htu,iat,jti");
    QTest::newRow("plain url unchanged")
        << QUrl(QStringLiteral("http://127.0.0.1:5000/api/sessions/revoke")) << QStringLiteral("post")
        << std::optional<QString>() << QStringLiteral("http://127.0.0.1:5000/api/sessions/revoke")
        << QStringLiteral("POST") << QStringLiteral("htm,htu,iat,jti");
    QTest::newRow("empty token still bound")
        << QUrl(QStringLiteral("https://id.example.com/a")) << QStringLiteral("get")
        << std::optional<QString>(QString()) << QStringLiteral("https://id.example.com/a") << QStringLiteral("GET")
        << QStringLiteral("ath,htm,htu,iat,jti");
}

void tst_DPoPSigner::proofShape()
{
    QFETCH(QUrl, url);
    QFETCH(QString, method);
    QFETCH(std::optional<QString>, token);
    QFETCH(QString, htu);
    QFETCH(QString, htm);
    QFETCH(QString, claimsOrder);

    const DPoPSigner signer(DPoPSigner::KeySource::memoryOnly);
    const qint64 before = QDateTime::currentSecsSinceEpoch();
    const Jws jws = split(signer.generateProof(url, method, token));
    const qint64 after = QDateTime::currentSecsSinceEpoch();

    // Sorted keys at every level, nothing escaped, no spaces.
    const QMap<QString, QString> jwk = signer.publicJWK();
    QCOMPARE(jws.headerJson,
             QStringLiteral(R"({"alg":"ES256","jwk":{"crv":"P-256","kty":"EC","x":"%1","y":"%2"},"typ":"dpop+jwt"})")
                 .arg(jwk.value(QStringLiteral("x")), jwk.value(QStringLiteral("y")))
                 .toUtf8());
    QCOMPARE(jws.claims.keys().join(QLatin1Char(',')), claimsOrder);
    QVERIFY(jws.claimsJson.startsWith(claimsOrder.startsWith(QLatin1String("ath")) ? "{\"ath\":" : "{\"htm\":"));
    QCOMPARE(jws.claims.value(QStringLiteral("htu")).toString(), htu);
    QCOMPARE(jws.claims.value(QStringLiteral("htm")).toString(), htm);
    const qint64 iat = jws.claims.value(QStringLiteral("iat")).toInteger();
    QVERIFY(iat >= before && iat <= after);
    QCOMPARE(jws.claims.value(QStringLiteral("jti")).toString().size(), 22);
    QCOMPARE(jws.signature.size(), 64);
    QCOMPARE(signer.jktThumbprint(), DPoPSigner::jwkThumbprint(jwk));
}

void tst_DPoPSigner::proofsAreFresh()
{
    const DPoPSigner signer(DPoPSigner::KeySource::memoryOnly);
    const QUrl url(QStringLiteral("https://id.example.com/api/app-data-token"));
    const Jws first = split(signer.generateProof(url, QStringLiteral("POST")));
    const Jws second = split(signer.generateProof(url, QStringLiteral("POST")));
    QVERIFY(first.claims.value(QStringLiteral("jti")) != second.claims.value(QStringLiteral("jti")));
    QVERIFY(first.signature != second.signature);
}

void tst_DPoPSigner::derToJose_data()
{
    QTest::addColumn<QByteArray>("der");
    QTest::addColumn<QByteArray>("jose");
    QTest::addColumn<QString>("reason");

    const QByteArray r32(32, '\x11');
    const QByteArray s32(32, '\x22');
    const QByteArray r33 = QByteArray(1, '\0') + QByteArray(32, '\x81');
    const QByteArray s31(31, '\x33');
    auto integer = [](const QByteArray &value) { return QByteArray(1, '\x02') + char(value.size()) + value; };
    auto sequence = [](const QByteArray &body) { return QByteArray(1, '\x30') + char(body.size()) + body; };

    QTest::newRow("32 and 32") << sequence(integer(r32) + integer(s32)) << r32 + s32 << QString();
    QTest::newRow("33 with leading zero becomes 32, 31 gets a zero in front")
        << sequence(integer(r33) + integer(s31)) << QByteArray(32, '\x81') + QByteArray(1, '\0') + s31 << QString();
    QTest::newRow("long-form sequence length skipped")
        << QByteArray("\x30\x81", 2) + char(68) + integer(r32) + integer(s32) << r32 + s32 << QString();
    QTest::newRow("long-form integer length")
        << sequence(QByteArray("\x02\x81\x20", 3) + r32 + integer(s32)) << r32 + s32 << QString();
    QTest::newRow("bytes after s ignored")
        << sequence(integer(r32) + integer(s32)) + hex("0500") << r32 + s32 << QString();
    QTest::newRow("not a sequence") << QByteArray("\x31\x44\x02", 3) + r32 << QByteArray() << QStringLiteral("der_not_sequence");
    QTest::newRow("too short") << hex("3000") << QByteArray() << QStringLiteral("der_not_sequence");
    QTest::newRow("not an integer")
        << sequence(QByteArray("\x04\x20", 2) + r32 + integer(s32)) << QByteArray() << QStringLiteral("der_not_integer");
    QTest::newRow("r runs past the end")
        << QByteArray("\x30\x44\x02\x20", 4) + r32.left(10) << QByteArray() << QStringLiteral("sign_failed");
    QTest::newRow("s missing") << sequence(integer(r32)) << QByteArray() << QStringLiteral("sign_failed");
    QTest::newRow("long form with zero length bytes")
        << sequence(QByteArray("\x02\x80", 2) + r32 + integer(s32)) << QByteArray() << QStringLiteral("sign_failed");
    QTest::newRow("long-form count runs past the end") << hex("3084010203") << QByteArray() << QStringLiteral("sign_failed");
    QTest::newRow("integer wider than the curve")
        << sequence(integer(QByteArray(33, '\x7f')) + integer(s32)) << QByteArray() << QStringLiteral("sign_failed");
}

void tst_DPoPSigner::derToJose()
{
    QFETCH(QByteArray, der);
    QFETCH(QByteArray, jose);
    QFETCH(QString, reason);

    QByteArray result;
    QCOMPARE(dpopReason([&] { result = DPoPSigner::derToJoseECDSA(der, 32); }), reason);
    if (reason.isEmpty()) {
        QCOMPARE(result.size(), 64);
        QCOMPARE(result, jose);
    }
}

void tst_DPoPSigner::publicKeyFormat_data()
{
    QTest::addColumn<QByteArray>("point");
    QTest::addColumn<QString>("reason");
    const QByteArray xy = QByteArray(32, '\x01') + QByteArray(32, '\x02');
    QTest::newRow("uncompressed") << QByteArray(1, '\x04') + xy << QString();
    QTest::newRow("64 bytes") << xy << QStringLiteral("public_key_format");
    QTest::newRow("65 bytes, compressed prefix") << QByteArray(1, '\x02') + xy << QStringLiteral("public_key_format");
}

void tst_DPoPSigner::publicKeyFormat()
{
    QFETCH(QByteArray, point);
    QFETCH(QString, reason);
    QMap<QString, QString> jwk;
    QCOMPARE(dpopReason([&] { jwk = DPoPSigner::publicJWK(point); }), reason);
    if (reason.isEmpty()) {
        QCOMPARE(jwk.keys(), (QStringList{"crv", "kty", "x", "y"}));
        QCOMPARE(jwk.value(QStringLiteral("x")), Base64URL::encode(QByteArray(32, '\x01')));
        QCOMPARE(jwk.value(QStringLiteral("y")), Base64URL::encode(QByteArray(32, '\x02')));
    }
}

void tst_DPoPSigner::keyringKeyIsShared()
{
    const DPoPSigner first;
    QCOMPARE(first.backend(), DPoPSigner::Backend::keyring);
    const SecretServiceItems::Lookup item = SecretServiceItems::lookup(keyItem());
    QCOMPARE(item.status, SecretServiceItems::success);
    // PKCS#8 DER: a SEQUENCE holding the EC key.
    QCOMPARE(item.secret.at(0), '\x30');

    const DPoPSigner second;
    QCOMPARE(second.publicJWK(), first.publicJWK());
    QCOMPARE(second.jktThumbprint(), first.jktThumbprint());

    // A later launch on the same keyring signs with the same key.
    QCOMPARE(probe(1), QStringList{QStringLiteral("keyring ") + first.jktThumbprint()});
}

void tst_DPoPSigner::concurrentSignersMakeOneKey()
{
    SecretServiceItems::clear(keyItem());
    std::vector<std::future<QString>> made;
    for (int i = 0; i < 4; ++i)
        made.push_back(std::async(std::launch::async, [] { return DPoPSigner().jktThumbprint(); }));
    const QString thumbprint = made.front().get();
    for (std::size_t i = 1; i < made.size(); ++i)
        QCOMPARE(made[i].get(), thumbprint);
    QCOMPARE(DPoPSigner().jktThumbprint(), thumbprint);
}

void tst_DPoPSigner::damagedKeyItemIsReplaced()
{
    QCOMPARE(SecretServiceItems::store(keyItem(), QStringLiteral("damaged"), QByteArray("not a key")),
             SecretServiceItems::success);
    const DPoPSigner first;
    QCOMPARE(first.backend(), DPoPSigner::Backend::keyring);
    QCOMPARE(DPoPSigner().jktThumbprint(), first.jktThumbprint());
}

void tst_DPoPSigner::discardedKeyIsReplacedForEverySigner()
{
    const DPoPSigner live;
    const DPoPSigner inMemory(DPoPSigner::KeySource::memoryOnly);
    const QString before = live.jktThumbprint();
    const QString memoryBefore = inMemory.jktThumbprint();

    DPoPSigner::discardKeyringKey();
    // A signer made before the discard moves to the new key at its next use, and stores
    // it, so a signer made later and the next launch both sign with it.
    const QString after = live.jktThumbprint();
    QVERIFY(after != before);
    QCOMPARE(live.backend(), DPoPSigner::Backend::keyring);
    QCOMPARE(SecretServiceItems::lookup(keyItem()).status, SecretServiceItems::success);
    QCOMPARE(DPoPSigner().jktThumbprint(), after);
    QCOMPARE(probe(1), QStringList{QStringLiteral("keyring ") + after});
    QVERIFY(inMemory.jktThumbprint() != memoryBefore);

    // Proofs carry the key they are signed with.
    const Jws proof = split(live.generateProof(QUrl(QStringLiteral("https://id.example/x")), QStringLiteral("POST")));
    const QJsonObject jwk = proof.header.value(QStringLiteral("jwk")).toObject();
    QMap<QString, QString> members;
    for (auto it = jwk.begin(); it != jwk.end(); ++it)
        members.insert(it.key(), it.value().toString());
    QCOMPARE(DPoPSigner::jwkThumbprint(members), after);
}

void tst_DPoPSigner::withoutSecretServiceEachSignerHasItsOwnKey()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/tolvern-test-bus"));
    const QStringList lines = probe(2, environment);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).startsWith(QLatin1String("memory ")), qPrintable(lines.at(0)));
    QVERIFY(lines.at(1).startsWith(QLatin1String("memory ")));
    QVERIFY(lines.at(0) != lines.at(1));
    // And a second launch without it differs again.
    QVERIFY(!probe(2, environment).contains(lines.at(0)));
}

void tst_DPoPSigner::realVerifierBindsTokenToKey()
{
    OidcPeer provider;
    QVERIFY2(provider.start(), qPrintable(provider.errorText()));

    QNetworkAccessManager browser;
    browser.setCookieJar(new QNetworkCookieJar(&browser));
    const PKCE pkce = PKCE::generate();
    // A loopback redirect with a port of its own: the registered one has none.
    const QString redirect = QStringLiteral("http://127.0.0.1:49152/callback");
    QUrl authorize = provider.url(QStringLiteral("/auth"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("client_id"), OidcPeer::clientId());
    query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
    query.addQueryItem(QStringLiteral("scope"), QStringLiteral("openid tolvern.account"));
    query.addQueryItem(QStringLiteral("redirect_uri"), redirect);
    query.addQueryItem(QStringLiteral("state"), QStringLiteral("s1"));
    query.addQueryItem(QStringLiteral("code_challenge"), pkce.codeChallenge);
    query.addQueryItem(QStringLiteral("code_challenge_method"), pkce.codeChallengeMethod);
    authorize.setQuery(query);
    const QUrl callback = provider.followToRedirect(browser, authorize);
    QVERIFY2(callback.toString().startsWith(redirect), qPrintable(provider.errorText() + callback.toString()));
    const QString code = QUrlQuery(callback).queryItemValue(QStringLiteral("code"));
    QVERIFY(!code.isEmpty());

    const DPoPSigner signer;
    QNetworkAccessManager client;
    const QUrl tokenUrl = provider.url(QStringLiteral("/token"));
    QNetworkRequest tokenRequest(tokenUrl);
    tokenRequest.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    tokenRequest.setRawHeader("DPoP", signer.generateProof(tokenUrl, QStringLiteral("POST")).toLatin1());
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("grant_type"), QStringLiteral("authorization_code"));
    form.addQueryItem(QStringLiteral("code"), code);
    form.addQueryItem(QStringLiteral("redirect_uri"), redirect);
    form.addQueryItem(QStringLiteral("client_id"), OidcPeer::clientId());
    form.addQueryItem(QStringLiteral("code_verifier"), pkce.codeVerifier);
    std::unique_ptr<QNetworkReply> tokenReply(waitFor(client.post(tokenRequest, form.toString(QUrl::FullyEncoded).toLatin1())));
    const QByteArray tokenBody = tokenReply->readAll();
    QCOMPARE(tokenReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    const QJsonObject tokens = QJsonDocument::fromJson(tokenBody).object();
    QCOMPARE(tokens.value(QStringLiteral("token_type")).toString(), QStringLiteral("DPoP"));
    const QString accessToken = tokens.value(QStringLiteral("access_token")).toString();

    const QUrl userinfo = provider.url(QStringLiteral("/me"));
    auto askUserinfo = [&](const DPoPSigner &proofSigner) {
        QNetworkRequest request(userinfo);
        request.setRawHeader("Authorization", "DPoP " + accessToken.toLatin1());
        request.setRawHeader("DPoP", proofSigner.generateProof(userinfo, QStringLiteral("GET"), accessToken).toLatin1());
        std::unique_ptr<QNetworkReply> reply(waitFor(client.get(request)));
        return std::pair(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll());
    };
    const auto [status, body] = askUserinfo(signer);
    QCOMPARE(status, 200);
    QCOMPARE(QJsonDocument::fromJson(body).object().value(QStringLiteral("sub")).toString(), QStringLiteral("tester"));

    const DPoPSigner otherKey(DPoPSigner::KeySource::memoryOnly);
    QCOMPARE(askUserinfo(otherKey).first, 401);
}

QTEST_GUILESS_MAIN(tst_DPoPSigner)
#include "tst_DPoPSigner.moc"
