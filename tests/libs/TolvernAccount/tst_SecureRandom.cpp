#include "PKCE.h"
#include "SecureRandom.h"
#include "TolvernError.h"

#include <QRegularExpression>
#include <QTest>

class tst_SecureRandom : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { SecureRandom::setSource({}); }

    void urlSafeLengths_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("characters");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("16") << 16 << 22;
        QTest::newRow("32") << 32 << 43;
    }
    void urlSafeLengths()
    {
        QFETCH(int, bytes);
        QFETCH(int, characters);
        static const QRegularExpression alphabet(QStringLiteral("\\A[A-Za-z0-9_-]*\\z"));
        QSet<QString> seen;
        for (int i = 0; i < 50; ++i) {
            const QString text = SecureRandom::urlSafeString(bytes);
            QCOMPARE(text.size(), characters);
            QVERIFY2(alphabet.match(text).hasMatch(), qPrintable(text));
            seen.insert(text);
        }
        QCOMPARE(seen.size(), bytes == 0 ? 1 : 50);
    }

    void failingSourceThrowsInsteadOfAWeakerValue()
    {
        int asked = 0;
        SecureRandom::setSource([&asked](unsigned char *out, int count) {
            ++asked;
            std::fill(out, out + count, 0); // what a careless fallback would hand out
            return false;
        });
        const TolvernError expected = TolvernError::dpopUnavailable(QStringLiteral("random_unavailable"));
        QVERIFY_THROWS_EXCEPTION(TolvernError, SecureRandom::urlSafeString(16));
        try {
            PKCE::generate();
            QFAIL("a verifier was made without randomness");
        } catch (const TolvernError &error) {
            QCOMPARE(error, expected);
        }
        QCOMPARE(asked, 2);
        // Asking for nothing needs no randomness.
        QCOMPARE(SecureRandom::urlSafeString(0), QString());

        SecureRandom::setSource({});
        QCOMPARE(SecureRandom::urlSafeString(16).size(), 22);
    }

    void replacedSourceFeedsTheBytes()
    {
        SecureRandom::setSource([](unsigned char *out, int count) {
            for (int i = 0; i < count; ++i)
                out[i] = 0xfb;
            return true;
        });
        // 0xfb bytes use both URL-only characters.
        QCOMPARE(SecureRandom::urlSafeString(3), QStringLiteral("-_v7"));
    }
};

QTEST_GUILESS_MAIN(tst_SecureRandom)
#include "tst_SecureRandom.moc"
