#include "OidcURLQueryComponent.h"

#include <QTest>

class tst_OidcURLQueryComponent : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void valuesRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("plus") << "a+b" << "a%2Bb";
        QTest::newRow("ampersand and equals") << "a&b=c" << "a%26b%3Dc";
        QTest::newRow("space") << "a b" << "a%20b";
        QTest::newRow("kept marks") << "-._~!$'()*,;:@/?" << "-._~!$'()*,;:@/?";
        QTest::newRow("percent") << "100%" << "100%25";
        QTest::newRow("utf-8") << QStringLiteral("\u00e9") << "%C3%A9";
    }
    void valuesRoundTrip()
    {
        QFETCH(QString, value);
        QFETCH(QString, encoded);
        OidcURLQueryComponent query;
        query.addParameter(QStringLiteral("v"), value);
        QCOMPARE(query.URLEncodedParameters(), QStringLiteral("v=") + encoded);
        const QUrl url = query.URLByReplacingQueryInURL(QUrl(QStringLiteral("https://id.example/authorize")));
        QCOMPARE(url.toString(QUrl::FullyEncoded), QStringLiteral("https://id.example/authorize?v=") + encoded);
        QCOMPARE(OidcURLQueryComponent(url).valuesForParameter(QStringLiteral("v")), QStringList{value});
    }

    void parsesRedirectQueries_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QVariantMap>("expected");
        QTest::newRow("plus is a space")
            << "sorvane://auth/callback?code=a+b&state=s" << QVariantMap{{"code", "a b"}, {"state", "s"}};
        QTest::newRow("item without equals skipped")
            << "sorvane://auth/callback?flag&code=c" << QVariantMap{{"code", "c"}};
        QTest::newRow("split at the first equals")
            << "sorvane://auth/callback?code=a=b" << QVariantMap{{"code", "a=b"}};
        QTest::newRow("name twice keeps both in order")
            << "sorvane://auth/callback?x=1&x=2" << QVariantMap{{"x", QStringList{"1", "2"}}};
        QTest::newRow("malformed escape stays")
            << "sorvane://auth/callback?code=a%zzb%4" << QVariantMap{{"code", "a%zzb%4"}};
        QTest::newRow("empty value") << "sorvane://auth/callback?code=" << QVariantMap{{"code", ""}};
        QTest::newRow("no query") << "sorvane://auth/callback" << QVariantMap{};
    }
    void parsesRedirectQueries()
    {
        QFETCH(QString, url);
        QFETCH(QVariantMap, expected);
        QCOMPARE(OidcURLQueryComponent(QUrl(url)).dictionaryValue(), expected);
    }

    void replacingTheQueryKeepsTheRestOfTheEndpoint()
    {
        OidcURLQueryComponent query;
        query.addParameter(QStringLiteral("client_id"), QStringLiteral("sorvane"));
        query.addParameters({{QStringLiteral("client_id"), QStringLiteral("second")}});
        const QUrl url = query.URLByReplacingQueryInURL(
            QUrl(QStringLiteral("https://id.example:8443/oauth/authorize?old=1#frag")));
        QCOMPARE(url.scheme(), QStringLiteral("https"));
        QCOMPARE(url.host(), QStringLiteral("id.example"));
        QCOMPARE(url.port(), 8443);
        QCOMPARE(url.path(), QStringLiteral("/oauth/authorize"));
        QCOMPARE(url.fragment(), QStringLiteral("frag"));
        QCOMPARE(url.query(QUrl::FullyEncoded), QStringLiteral("client_id=sorvane&client_id=second"));
        QCOMPARE(query.queryItems().size(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_OidcURLQueryComponent)
#include "tst_OidcURLQueryComponent.moc"
