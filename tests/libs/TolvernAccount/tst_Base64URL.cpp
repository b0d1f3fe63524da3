#include "Base64URL.h"

#include <QTest>

class tst_Base64URL : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << "" << true << QByteArray();
        QTest::newRow("22 characters, two = appended") << "AAECAwQFBgcICQoLDA0ODw" << true
                                                      << QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
        QTest::newRow("url alphabet") << "-_8" << true << QByteArray::fromHex("fbff");
        QTest::newRow("21 characters") << "AAECAwQFBgcICQoLDA0OD" << false << QByteArray();
        QTest::newRow("one character") << "A" << false << QByteArray();
        QTest::newRow("standard alphabet + and /") << "+/8" << true << QByteArray::fromHex("fbff");
        QTest::newRow("padding already there") << "AQ==" << true << QByteArray::fromHex("01");
        QTest::newRow("padding in the middle") << "AQ==AQ==" << false << QByteArray();
        QTest::newRow("white space") << "AQ ID" << false << QByteArray();
        QTest::newRow("non-ASCII") << QStringLiteral("AQ\u00e9D") << false << QByteArray();
        QTest::newRow("three pads") << "A===" << false << QByteArray();
    }
    void decode()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QByteArray, bytes);
        const auto decoded = Base64URL::decode(text);
        QCOMPARE(decoded.has_value(), valid);
        if (valid)
            QCOMPARE(*decoded, bytes);
    }

    void encodeRoundTripsEveryLength()
    {
        QByteArray bytes;
        for (int length = 0; length < 40; ++length) {
            const QString text = Base64URL::encode(bytes);
            QVERIFY(!text.contains(QLatin1Char('=')) && !text.contains(QLatin1Char('+')) && !text.contains(QLatin1Char('/')));
            QCOMPARE(Base64URL::decode(text), std::optional<QByteArray>(bytes));
            bytes.append(char(0xf8 + length % 8));
        }
    }
};

QTEST_GUILESS_MAIN(tst_Base64URL)
#include "tst_Base64URL.moc"
