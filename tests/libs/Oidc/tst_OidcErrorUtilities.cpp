#include "OidcErrorUtilities.h"

#include <QJsonDocument>
#include <QTest>

namespace {
// JSON written with single quotes, to keep the tables readable.
QByteArray json(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}
} // namespace

class tst_OidcErrorUtilities : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oauthErrors_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("expectedDomain");
        QTest::addColumn<int>("expectedCode");
        QTest::addColumn<QString>("expectedDescription");

        const QString authorization = OidcErrorDomain::oauthAuthorization;
        const QString token = OidcErrorDomain::oauthToken;
        const QString general = OidcErrorDomain::general;
        QTest::newRow("denied with a text")
            << authorization << json("{'error':'access_denied','error_description':'End-User denied the request'}")
            << authorization << -4 << "access_denied: End-User denied the request";
        QTest::newRow("error, description and uri")
            << token << json("{'error':'invalid_grant','error_description':'spent','error_uri':'https://x/e'}")
            << token << -10 << "invalid_grant: spent - https://x/e";
        QTest::newRow("uri without a description")
            << token << json("{'error':'invalid_client','error_uri':'https://x/e'}")
            << token << -9 << "invalid_client - https://x/e";
        QTest::newRow("numeric description reads as text")
            << token << json("{'error':'server_error','error_description':42}")
            << token << -7 << "server_error: 42";
        QTest::newRow("empty error gets the generic text")
            << token << json("{'error':''}")
            << token << -61440 << "OAuth error:  - https://tools.ietf.org/html/rfc6749#section-5.2";
        QTest::newRow("unknown error value")
            << OidcErrorDomain::oauthRegistration << json("{'error':'invalid_redirect_uri'}")
            << OidcErrorDomain::oauthRegistration << -61440 << "invalid_redirect_uri";
        QTest::newRow("error not a string")
            << token << json("{'error':7}") << general << -5 << "connection reset";
        QTest::newRow("not an OAuth domain")
            << OidcErrorDomain::resourceServer << json("{'error':'access_denied'}")
            << general << -5 << "connection reset";
    }
    void oauthErrors()
    {
        QFETCH(QString, domain);
        QFETCH(QByteArray, response);
        QFETCH(QString, expectedDomain);
        QFETCH(int, expectedCode);
        QFETCH(QString, expectedDescription);

        const auto underlying = OidcErrorUtilities::networkReplyError(2, QStringLiteral("connection reset"));
        const OidcError error =
            OidcErrorUtilities::OAuthError(domain, QJsonDocument::fromJson(response).object(), underlying);
        QCOMPARE(error.domain, expectedDomain);
        QCOMPARE(error.code, expectedCode);
        QCOMPARE(error.description(), expectedDescription);
        QVERIFY(error.underlyingError);
        if (expectedDomain != OidcErrorDomain::general)
            QCOMPARE(error.oauthErrorResponse, QJsonDocument::fromJson(response).object());
        else
            QVERIFY(!error.oauthErrorResponse);
    }

    void httpErrors_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<bool>("hasBody");
        QTest::addColumn<bool>("described");
        QTest::newRow("utf-8") << QByteArray("Bad gateway \xc3\xa9") << true << true;
        QTest::newRow("not utf-8") << QByteArray("\xff\xfe\x80") << true << false;
        QTest::newRow("no body") << QByteArray() << false << false;
    }
    void httpErrors()
    {
        QFETCH(QByteArray, body);
        QFETCH(bool, hasBody);
        QFETCH(bool, described);
        const OidcError error = OidcErrorUtilities::HTTPError(502, hasBody ? std::optional(body) : std::nullopt);
        QCOMPARE(error.domain, OidcErrorDomain::remoteHTTP);
        QCOMPARE(error.code, 502);
        QCOMPARE(error.localizedDescription.has_value(), described);
        if (described)
            QCOMPARE(*error.localizedDescription, QString::fromUtf8(body));
    }

    void generalErrorsCarryOnlyWhatIsGiven()
    {
        const OidcError bare = OidcErrorUtilities::errorWithCode(OidcErrorCode::tokenRefreshError);
        QCOMPARE(bare.domain, OidcErrorDomain::general);
        QVERIFY(!bare.localizedDescription && !bare.underlyingError);
        QCOMPARE(bare.description(), QStringLiteral("The operation couldn\u2019t be completed. (dev.tolvern.oidc.general error -11.)"));

        QVERIFY(OidcErrorUtilities::isOAuthErrorDomain(OidcErrorDomain::oauthToken));
        QVERIFY(!OidcErrorUtilities::isOAuthErrorDomain(OidcErrorDomain::general));
        try {
            OidcErrorUtilities::raiseException(QStringLiteral("Invalid redirect"), QStringLiteral("no scheme"));
            QFAIL("no exception");
        } catch (const OidcException &exception) {
            QCOMPARE(exception.name(), QStringLiteral("Invalid redirect"));
            QCOMPARE(exception.reason(), QStringLiteral("no scheme"));
        }
    }
};

QTEST_GUILESS_MAIN(tst_OidcErrorUtilities)
#include "tst_OidcErrorUtilities.moc"
