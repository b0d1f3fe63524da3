#include "PKCE.h"

#include <QRegularExpression>
#include <QTest>

class tst_PKCE : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void challengeOfAVerifier_data()
    {
        QTest::addColumn<QString>("verifier");
        QTest::addColumn<QString>("challenge");
        // RFC 7636, appendix B.
        QTest::newRow("RFC 7636 B") << "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"
                                    << "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";
        // Used unchanged, however short: SHA-256 of "".
        QTest::newRow("empty") << "" << "47DEQpj8HBSa-_TImW-5JCeuQeRkm5NMpJWZG3hSuFU";
    }
    void challengeOfAVerifier()
    {
        QFETCH(QString, verifier);
        QFETCH(QString, challenge);
        const PKCE pair(verifier);
        QCOMPARE(pair.codeVerifier, verifier);
        QCOMPARE(pair.codeChallenge, challenge);
        QCOMPARE(pair.codeChallengeMethod, QStringLiteral("S256"));
        QCOMPARE(PKCE(verifier), pair);
    }

    void generatedPairsAreFreshAndConsistent()
    {
        static const QRegularExpression verifierShape(QStringLiteral("\\A[A-Za-z0-9_-]{43}\\z"));
        const PKCE first = PKCE::generate();
        const PKCE second = PKCE::generate();
        QVERIFY(verifierShape.match(first.codeVerifier).hasMatch());
        QCOMPARE(first, PKCE(first.codeVerifier));
        QCOMPARE(first.codeChallenge.size(), 43);
        QVERIFY(first != second);
    }
};

QTEST_GUILESS_MAIN(tst_PKCE)
#include "tst_PKCE.moc"
