// Ed25519 checks of update files: the published test vectors, and the ways a key or
// signature can be wrong.
#include "platform/UpdateSignature.h"

#include <QTest>

namespace {

// Test vectors of RFC 8032, section 7.1: public key, message, signature.
struct Vector {
    const char *publicKey;
    const char *message;
    const char *signature;
};

const Vector test1 = {"d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
                      "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"};
const Vector test2 = {"3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
                      "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"};
const Vector test3 = {"fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
                      "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a"};

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray flipped(QByteArray bytes, qsizetype index)
{
    bytes[index] = char(bytes.at(index) ^ 0x01);
    return bytes;
}

} // namespace

class tst_UpdateSignature : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void verify_data()
    {
        QTest::addColumn<QByteArray>("publicKey");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("signature");
        QTest::addColumn<bool>("valid");

        for (const auto &[name, vector] : {std::pair{"TEST 1", test1}, {"TEST 2", test2}, {"TEST 3", test3}}) {
            QTest::addRow("%s", name) << hex(vector.publicKey) << hex(vector.message) << hex(vector.signature) << true;
        }
        QTest::newRow("TEST 2, other message") << hex(test2.publicKey) << QByteArray("\x73") << hex(test2.signature) << false;
        QTest::newRow("TEST 3, one byte more") << hex(test3.publicKey) << hex("af8200") << hex(test3.signature) << false;
        QTest::newRow("TEST 1, message added") << hex(test1.publicKey) << QByteArray("x") << hex(test1.signature) << false;
        QTest::newRow("TEST 3, flipped bit in R") << hex(test3.publicKey) << hex(test3.message) << flipped(hex(test3.signature), 0) << false;
        QTest::newRow("TEST 3, flipped bit in S") << hex(test3.publicKey) << hex(test3.message) << flipped(hex(test3.signature), 40) << false;
        QTest::newRow("TEST 2 signed, TEST 3 key") << hex(test3.publicKey) << hex(test2.message) << hex(test2.signature) << false;
        QTest::newRow("short signature") << hex(test2.publicKey) << hex(test2.message) << hex(test2.signature).left(63) << false;
        QTest::newRow("long signature") << hex(test2.publicKey) << hex(test2.message) << hex(test2.signature) + '\0' << false;
        QTest::newRow("short key") << hex(test2.publicKey).left(31) << hex(test2.message) << hex(test2.signature) << false;
        QTest::newRow("no key") << QByteArray() << hex(test2.message) << hex(test2.signature) << false;
        QTest::newRow("zero signature") << hex(test1.publicKey) << hex(test1.message) << QByteArray(64, '\0') << false;
    }

    void verify()
    {
        QFETCH(QByteArray, publicKey);
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, signature);
        QFETCH(bool, valid);
        QCOMPARE(UpdateSignature::verify(publicKey, message, signature), valid);
    }

    void decodePublicKey_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray key = hex(test1.publicKey);
        const QString base64 = QString::fromLatin1(key.toBase64());
        QTest::newRow("base64 of 32 bytes") << base64 << key;
        QTest::newRow("white space around") << QStringLiteral("  ") + base64 + QStringLiteral("\n") << key;
        QTest::newRow("31 bytes") << QString::fromLatin1(key.left(31).toBase64()) << QByteArray();
        QTest::newRow("33 bytes") << QString::fromLatin1((key + 'x').toBase64()) << QByteArray();
        QTest::newRow("not base64") << QStringLiteral("REPLACE_WITH_YOUR_KEY") << QByteArray();
        QTest::newRow("hex instead") << QString::fromLatin1(test1.publicKey) << QByteArray();
        QTest::newRow("empty") << QString() << QByteArray();
    }

    void decodePublicKey()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        const std::optional<QByteArray> decoded = UpdateSignature::decodePublicKey(text);
        QCOMPARE(decoded.has_value(), !expected.isEmpty());
        if (decoded)
            QCOMPARE(*decoded, expected);
    }
};

QTEST_GUILESS_MAIN(tst_UpdateSignature)
#include "tst_UpdateSignature.moc"
