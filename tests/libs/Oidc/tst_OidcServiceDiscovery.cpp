#include "OidcAuthorizationService.h"
#include "OidcServiceDiscovery.h"
#include "OidcURLSessionProvider.h"

#include "HttpPeer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

namespace {
QJsonObject validDocument(const QString &issuer = QStringLiteral("https://auth.example"))
{
    return QJsonObject{
        {"issuer", issuer},
        {"authorization_endpoint", issuer + "/authorize"},
        {"token_endpoint", issuer + "/token"},
        {"jwks_uri", issuer + "/jwks"},
        {"end_session_endpoint", issuer + "/logout"},
        {"response_types_supported", QJsonArray{"code"}},
        {"subject_types_supported", QJsonArray{"public"}},
        {"id_token_signing_alg_values_supported", QJsonArray{"ES256"}},
    };
}

QByteArray withChange(const QString &key, const QJsonValue &value)
{
    QJsonObject document = validDocument();
    if (value.isUndefined())
        document.remove(key);
    else
        document.insert(key, value);
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

struct Outcome {
    std::optional<OidcServiceConfiguration> configuration;
    std::optional<OidcError> error;
    int calls = 0;
};
} // namespace

class tst_OidcServiceDiscovery : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void documentChecks_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("code"); // 0: accepted
        QTest::addColumn<QString>("description");

        QTest::newRow("valid") << withChange("x", QJsonValue::Undefined) << 0 << "";
        QTest::newRow("no jwks_uri") << withChange("jwks_uri", QJsonValue::Undefined) << -2 << "Missing field: jwks_uri";
        QJsonObject twoMissing = validDocument();
        twoMissing.remove("issuer");
        twoMissing.remove("token_endpoint");
        QTest::newRow("issuer named first") << QJsonDocument(twoMissing).toJson() << -2 << "Missing field: issuer";
        QTest::newRow("token endpoint no URL") << withChange("token_endpoint", "http://[::1") << -2
                                               << "Invalid URL: token_endpoint";
        QTest::newRow("issuer a number") << withChange("issuer", 7) << -2 << "Invalid URL: issuer";
        QTest::newRow("bad authorization endpoint passes") << withChange("authorization_endpoint", "http://[::1") << 0
                                                           << "";
        QTest::newRow("array") << QByteArray("[1,2]") << -2 << "Discovery document isn't a dictionary";
        QTest::newRow("not JSON") << QByteArray("<html>") << -7 << "";
    }
    void documentChecks()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, code);
        QFETCH(QString, description);
        OidcError error;
        const std::optional<OidcServiceDiscovery> document = OidcServiceDiscovery::fromJSONData(body, &error);
        QCOMPARE(document.has_value(), code == 0);
        if (code == 0) {
            if (QTest::currentDataTag() == QByteArray("bad authorization endpoint passes"))
                QVERIFY(OidcServiceConfiguration(*document).authorizationEndpoint().isEmpty());
            return;
        }
        QCOMPARE(error.domain, OidcErrorDomain::general);
        QCOMPARE(error.code, code);
        if (!description.isEmpty())
            QCOMPARE(error.description(), description);
        else
            QVERIFY(error.underlyingError);
    }

    void propertiesReadTheDocument()
    {
        const auto document = OidcServiceDiscovery::fromDictionary(validDocument());
        QVERIFY(document);
        QCOMPARE(document->tokenEndpoint(), QUrl("https://auth.example/token"));
        QVERIFY(document->registrationEndpoint().isEmpty());
        QCOMPARE(document->responseTypesSupported(), QJsonValue(QJsonArray{"code"}));
        QVERIFY(document->requestURIParameterSupported());
        QVERIFY(!document->claimsParameterSupported());
        QVERIFY(!document->requestParameterSupported());
        QVERIFY(!document->requireRequestURIRegistration());

        const OidcServiceConfiguration configuration(*document);
        QCOMPARE(configuration.issuer(), QUrl("https://auth.example"));
        QCOMPARE(configuration.endSessionEndpoint(), QUrl("https://auth.example/logout"));
        QVERIFY(!configuration.registrationEndpoint());
        QCOMPARE(OidcServiceConfiguration::fromArchive(configuration.archive()), configuration);
        // An archive of the bare document's members reads too; one without both endpoints does not.
        QCOMPARE(OidcServiceDiscovery::fromArchive(validDocument()), document);
        QVERIFY(!OidcServiceConfiguration::fromArchive(QJsonObject{{"tokenEndpoint", "https://auth.example/t"}}));
    }

    void discoveryURL_data()
    {
        QTest::addColumn<QString>("issuer");
        QTest::addColumn<QString>("expected");
        QTest::newRow("bare") << "https://auth.example" << "https://auth.example/.well-known/openid-configuration";
        QTest::newRow("slash") << "https://auth.example/" << "https://auth.example/.well-known/openid-configuration";
        QTest::newRow("path") << "https://auth.example/t/" << "https://auth.example/t/.well-known/openid-configuration";
    }
    void discoveryURL()
    {
        QFETCH(QString, issuer);
        QFETCH(QString, expected);
        QCOMPARE(OidcAuthorizationService::discoveryURLForIssuer(QUrl(issuer)).toString(), expected);
    }

    void fetches_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("issuerAsked"); // empty: the peer's own
        QTest::addColumn<int>("code");            // 0: a configuration
        QTest::addColumn<QString>("descriptionStart");
        QTest::addColumn<int>("underlyingCode");

        QTest::newRow("ok") << 200 << QByteArray() << "" << 0 << "" << 0;
        QTest::newRow("asked with a slash") << 200 << QByteArray() << "/" << 0 << "" << 0;
        QTest::newRow("404") << 404 << QByteArray("gone") << "" << -5 << "Non-200 HTTP response (404) fetching" << 404;
        QTest::newRow("not JSON") << 200 << QByteArray("<html>") << "" << -5 << "JSON error parsing document at" << -7;
        QTest::newRow("array") << 200 << QByteArray("[]") << "" << -5 << "JSON error parsing document at" << -2;
        QTest::newRow("another issuer") << 200 << withChange("issuer", "https://evil.example") << "" << -2
                                        << "Issuer mismatch: https://evil.example" << 0;
    }
    void fetches()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, issuerAsked);
        QFETCH(int, code);
        QFETCH(QString, descriptionStart);
        QFETCH(int, underlyingCode);

        HttpPeer peer;
        const QString issuer = peer.url(QStringLiteral("/t")).toString();
        if (body.isEmpty())
            body = QJsonDocument(validDocument(issuer)).toJson();
        peer.route("/t/.well-known/openid-configuration", {status, body});
        QNetworkAccessManager session;
        OidcURLSessionProvider::setSession(&session);

        Outcome outcome;
        OidcAuthorizationService::discoverServiceConfigurationForIssuer(
            QUrl(issuer + issuerAsked), [&outcome](auto configuration, auto error) {
                outcome.configuration = configuration;
                outcome.error = error;
                ++outcome.calls;
            });
        QCOMPARE(outcome.calls, 0); // never inside the call
        QTRY_COMPARE(outcome.calls, 1);
        QCOMPARE(outcome.configuration.has_value(), code == 0);
        QCOMPARE(outcome.error.has_value(), code != 0);
        if (code == 0) {
            QCOMPARE(outcome.configuration->tokenEndpoint(), QUrl(issuer + "/token"));
            return;
        }
        QCOMPARE(outcome.error->domain, OidcErrorDomain::general);
        QCOMPARE(outcome.error->code, code);
        QVERIFY2(outcome.error->description().startsWith(descriptionStart), qPrintable(outcome.error->description()));
        if (underlyingCode) {
            QVERIFY(outcome.error->underlyingError);
            QCOMPARE(outcome.error->underlyingError->code, underlyingCode);
        }
    }

    void aClosedPortIsAConnectionError()
    {
        quint16 port;
        {
            HttpPeer gone;
            port = gone.port();
        }
        QNetworkAccessManager session;
        OidcURLSessionProvider::setSession(&session);
        Outcome outcome;
        OidcAuthorizationService::discoverServiceConfigurationForDiscoveryURL(
            QUrl(QStringLiteral("http://127.0.0.1:%1/.well-known/openid-configuration").arg(port)),
            [&outcome](auto configuration, auto error) {
                outcome.configuration = configuration;
                outcome.error = error;
                ++outcome.calls;
            });
        QTRY_COMPARE(outcome.calls, 1);
        QVERIFY(outcome.error);
        QCOMPARE(outcome.error->code, -5);
        QVERIFY(outcome.error->description().startsWith("Connection error fetching discovery document"));
        QCOMPARE(outcome.error->underlyingError->domain, OidcErrorDomain::networkReply);
    }
};

QTEST_GUILESS_MAIN(tst_OidcServiceDiscovery)
#include "tst_OidcServiceDiscovery.moc"
