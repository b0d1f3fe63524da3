#include "OidcScopeUtilities.h"
#include "OidcTokenUtilities.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

class tst_OidcTokenUtilities : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { OidcTokenUtilities::setRandomSource(nullptr); }

    void redact_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("one") << "a" << "[redacted]";
        QTest::newRow("eight") << "abcdefgh" << "[redacted]";
        QTest::newRow("nine") << "abcdefghi" << "abcdef...[redacted]";
        QTest::newRow("token") << "eyJhbGciOiJFUzI1NiJ9.payload" << "eyJhbG...[redacted]";
    }
    void redact()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(OidcTokenUtilities::redact(text), expected);
        QCOMPARE(OidcTokenUtilities::redact(std::optional<QString>(text)), std::optional<QString>(expected));
        QVERIFY(!OidcTokenUtilities::redact(std::optional<QString>()));
    }

    void formUrlEncode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("space and plus") << "a b+c" << "a+b%2Bc";
        QTest::newRow("kept marks") << "*-._" << "*-._";
        QTest::newRow("reserved") << "a=b&c/d~" << "a%3Db%26c%2Fd%7E";
        QTest::newRow("utf-8 bytes") << QStringLiteral("\u00e9") << "%C3%A9";
    }
    void formUrlEncode()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(OidcTokenUtilities::formUrlEncode(text), expected);
    }

    void base64urlHasNoPaddingAndUrlAlphabet()
    {
        QCOMPARE(OidcTokenUtilities::encodeBase64urlNoPadding(QByteArray("\xfb\xff\xfe", 3)), QStringLiteral("-__-"));
        QCOMPARE(OidcTokenUtilities::encodeBase64urlNoPadding(QByteArray("a")), QStringLiteral("YQ"));
        // RFC 7636 appendix B: the challenge of its verifier.
        QCOMPARE(OidcTokenUtilities::encodeBase64urlNoPadding(
                     OidcTokenUtilities::sha256(QStringLiteral("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"))),
                 QStringLiteral("E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM"));
    }

    void randomStringsAreLongUrlSafeAndDistinct()
    {
        static const QRegularExpression alphabet(QStringLiteral("^[A-Za-z0-9_-]{43}$"));
        QSet<QString> seen;
        for (int i = 0; i < 50; ++i) {
            const std::optional<QString> value = OidcTokenUtilities::randomURLSafeString(32);
            QVERIFY(value);
            QVERIFY2(alphabet.match(*value).hasMatch(), qPrintable(*value));
            seen.insert(*value);
        }
        QCOMPARE(seen.size(), 50);
    }

    void aFailingSourceGivesNothing()
    {
        OidcTokenUtilities::setRandomSource([](unsigned char *, int) { return false; });
        QVERIFY(!OidcTokenUtilities::randomURLSafeString(32));
    }

    void scopes_data()
    {
        QTest::addColumn<QStringList>("scopes");
        QTest::addColumn<bool>("valid");
        QTest::newRow("usual") << QStringList{"openid", "tolvern.account"} << true;
        QTest::newRow("edges of the syntax") << QStringList{"!", "#[]~", "a]b"} << true;
        QTest::newRow("empty scope") << QStringList{"openid", ""} << false;
        QTest::newRow("space") << QStringList{"a b"} << false;
        QTest::newRow("double quote") << QStringList{"a\"b"} << false;
        QTest::newRow("backslash") << QStringList{"a\\b"} << false;
        QTest::newRow("non-ascii") << QStringList{QStringLiteral("caf\u00e9")} << false;
    }
    void scopes()
    {
        QFETCH(QStringList, scopes);
        QFETCH(bool, valid);
        if (!valid)
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Found illegal ")));
        const std::optional<QString> joined = OidcScopeUtilities::scopes(scopes);
        QCOMPARE(joined.has_value(), valid);
        if (valid) {
            QCOMPARE(*joined, scopes.join(QLatin1Char(' ')));
            QCOMPARE(OidcScopeUtilities::scopesArray(*joined), scopes);
        }
    }
};

QTEST_GUILESS_MAIN(tst_OidcTokenUtilities)
#include "tst_OidcTokenUtilities.moc"
