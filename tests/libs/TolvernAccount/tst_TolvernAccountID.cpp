#include "TolvernAccountID.h"
#include "TolvernJSON.h"

#include <QSet>
#include <QTest>

class tst_TolvernAccountID : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void wellFormed_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<bool>("wellFormed");
        const QString good = QStringLiteral("ta_0190a1b2-c3d4-7e5f-8a6b-7c8d9e0f1a2b");
        QTest::newRow("version 7, lower case") << good << true;
        QTest::newRow("one upper-case letter") << QStringLiteral("ta_0190A1b2-c3d4-7e5f-8a6b-7c8d9e0f1a2b") << false;
        QTest::newRow("version 4") << QStringLiteral("ta_0190a1b2-c3d4-4e5f-8a6b-7c8d9e0f1a2b") << false;
        QTest::newRow("variant c") << QStringLiteral("ta_0190a1b2-c3d4-7e5f-ca6b-7c8d9e0f1a2b") << false;
        QTest::newRow("trailing newline") << good + QLatin1Char('\n') << false;
        QTest::newRow("trailing space") << good + QLatin1Char(' ') << false;
        QTest::newRow("leading space") << QLatin1Char(' ') + good << false;
        QTest::newRow("no prefix") << good.mid(3) << false;
        QTest::newRow("braces") << QStringLiteral("ta_{0190a1b2-c3d4-7e5f-8a6b-7c8d9e0f1a2b}") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void wellFormed()
    {
        QFETCH(QString, raw);
        QFETCH(bool, wellFormed);
        QCOMPARE(TolvernAccountID{raw}.isWellFormed(), wellFormed);
    }

    void decodesAnyStringAndPrintsItUnchanged()
    {
        const auto id = TolvernAccountID::fromJSON(TolvernJSON::parse(R"(["not an id at all"])").elements().first());
        QCOMPARE(id.raw, QStringLiteral("not an id at all"));
        QCOMPARE(id.description(), id.raw);
    }

    void canonicallyEquivalentSpellingsAreOneIdentifier()
    {
        // "é" precomposed and as e + combining acute.
        const TolvernAccountID composed{QStringLiteral("ta_caf\u00e9")};
        const TolvernAccountID decomposed{QStringLiteral("ta_cafe\u0301")};
        QVERIFY(composed == decomposed);
        QCOMPARE(qHash(composed), qHash(decomposed));
        QCOMPARE(QSet<TolvernAccountID>({composed, decomposed}).size(), 1);
        QVERIFY(TolvernAccountID{QStringLiteral("ta_A")} != TolvernAccountID{QStringLiteral("ta_a")});
    }
};

QTEST_GUILESS_MAIN(tst_TolvernAccountID)
#include "tst_TolvernAccountID.moc"
