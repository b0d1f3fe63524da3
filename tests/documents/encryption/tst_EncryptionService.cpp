#include "TestEnvironment.h"

#include "documents/encryption/EncryptionService.h"

#include <QApplication>
#include <QTest>

#include <openssl/evp.h>
#include <openssl/kdf.h>

// Envelopes are built here with OpenSSL's own calls (PBKDF2 through PKCS5, HKDF
// through the EVP_PKEY interface, not the code under test), and the derived keys
// are checked against values computed once with python3's hashlib/hmac.
namespace {
const QByteArray fixedSalt = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f10");
const QByteArray fixedNonce = QByteArray::fromHex("a1a2a3a4a5a6a7a8a9aaabac");
const QString fixedPassphrase = QStringLiteral("correct horse ✓");
// python3: hashlib.pbkdf2_hmac('sha256', passphrase, salt, 210000, 32)
const QByteArray pythonPbkdf2Key =
    QByteArray::fromHex("b1a4363d3b1d9b4aae5c1d1e56683153980fc0d9e2bebe722fad8dc4e8d9398c");
// python3: HKDF-SHA256 (RFC 5869 with hmac) over passphrase, salt, info "sorvane-v1"
const QByteArray pythonHkdfKey =
    QByteArray::fromHex("eb817375f583d9ff0aea116e756168adc138da09e1a26bb468923795a0bb8818");

QByteArray pbkdf2Key(const QByteArray &passphrase, const QByteArray &salt)
{
    QByteArray key(32, '\0');
    PKCS5_PBKDF2_HMAC(passphrase.constData(), int(passphrase.size()),
                      reinterpret_cast<const unsigned char *>(salt.constData()), int(salt.size()), 210000,
                      EVP_sha256(), 32, reinterpret_cast<unsigned char *>(key.data()));
    return key;
}

QByteArray hkdfKey(const QByteArray &passphrase, const QByteArray &salt)
{
    QByteArray key(32, '\0');
    size_t length = 32;
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_HKDF, nullptr);
    EVP_PKEY_derive_init(ctx);
    EVP_PKEY_CTX_set_hkdf_md(ctx, EVP_sha256());
    EVP_PKEY_CTX_set1_hkdf_salt(ctx, reinterpret_cast<const unsigned char *>(salt.constData()), int(salt.size()));
    EVP_PKEY_CTX_set1_hkdf_key(ctx, reinterpret_cast<const unsigned char *>(passphrase.constData()),
                               int(passphrase.size()));
    EVP_PKEY_CTX_add1_hkdf_info(ctx, reinterpret_cast<const unsigned char *>("sorvane-v1"), 10);
    EVP_PKEY_derive(ctx, reinterpret_cast<unsigned char *>(key.data()), &length);
    EVP_PKEY_CTX_free(ctx);
    return key;
}

struct Sealed {
    QByteArray ciphertext;
    QByteArray tag;
};

Sealed seal(const QByteArray &key, const QByteArray &nonce, const QByteArray &plain)
{
    Sealed out{QByteArray(plain.size(), '\0'), QByteArray(16, '\0')};
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    int len = 0;
    EVP_EncryptInit_ex(ctx, EVP_aes_256_gcm(), nullptr, nullptr, nullptr);
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_SET_IVLEN, int(nonce.size()), nullptr);
    EVP_EncryptInit_ex(ctx, nullptr, nullptr, reinterpret_cast<const unsigned char *>(key.constData()),
                       reinterpret_cast<const unsigned char *>(nonce.constData()));
    if (!plain.isEmpty())
        EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char *>(out.ciphertext.data()), &len,
                          reinterpret_cast<const unsigned char *>(plain.constData()), int(plain.size()));
    EVP_EncryptFinal_ex(ctx, reinterpret_cast<unsigned char *>(out.ciphertext.data()) + len, &len);
    EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_GCM_GET_TAG, 16, out.tag.data());
    EVP_CIPHER_CTX_free(ctx);
    return out;
}

QByteArray envelope(char version, const QByteArray &salt, const QByteArray &nonce, const QByteArray &tag,
                    const QByteArray &ciphertext)
{
    QByteArray out("srvn");
    out.append(version);
    out.append(char(salt.size())).append(salt);
    out.append(char(nonce.size())).append(nonce);
    out.append(char(tag.size())).append(tag);
    return out.append(ciphertext);
}

// A version 2 envelope of `plain` under the fixed salt, nonce and passphrase.
QByteArray fixedV2(const QByteArray &plain)
{
    const Sealed s = seal(pbkdf2Key(fixedPassphrase.toUtf8(), fixedSalt), fixedNonce, plain);
    return envelope(2, fixedSalt, fixedNonce, s.tag, s.ciphertext);
}
} // namespace

class tst_EncryptionService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void independentKeysMatchPython()
    {
        // Guards the envelope builder below: OpenSSL's derivations agree with python's.
        QCOMPARE(pbkdf2Key(fixedPassphrase.toUtf8(), fixedSalt).toHex(), pythonPbkdf2Key.toHex());
        QCOMPARE(hkdfKey(fixedPassphrase.toUtf8(), fixedSalt).toHex(), pythonHkdfKey.toHex());
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << QString();
        QTest::newRow("ascii") << QStringLiteral("# Notes\n\nPlain *ASCII* text.\n");
        QTest::newRow("multi-byte") << QStringLiteral("\uFEFFGrüße — 日本語 😀 \u0000 end");
        QString big;
        big.reserve(1024 * 1024);
        while (big.size() < 1024 * 1024)
            big += QStringLiteral("Line %1 of a long document with ünïcödé.\n").arg(big.size());
        big.truncate(1024 * 1024);
        QTest::newRow("1 MB") << big;
    }

    void roundTrip()
    {
        QFETCH(QString, text);
        EncryptionError error;
        const auto data = EncryptionService::encrypt(text, QStringLiteral("pässphrase"), &error);
        QVERIFY2(data, qPrintable(error.localizedDescription()));
        QCOMPARE(data->size(), 52 + text.toUtf8().size());
        QCOMPARE(data->left(6), QByteArray("srvn\x02\x10", 6));
        QCOMPARE(quint8(data->at(5)), quint8(16));
        QCOMPARE(quint8(data->at(22)), quint8(12));
        QCOMPARE(quint8(data->at(35)), quint8(16));
        QVERIFY(EncryptionService::isEncrypted(*data));
        if (!text.isEmpty())
            QVERIFY(!data->contains(text.toUtf8().left(16)));

        const auto back = EncryptionService::decrypt(*data, QStringLiteral("pässphrase"), &error);
        QVERIFY2(back, qPrintable(error.localizedDescription()));
        QCOMPARE(back->toUtf8(), text.toUtf8());
    }

    void freshSaltAndNonceEachTime()
    {
        const auto first = EncryptionService::encrypt(QStringLiteral("same"), QStringLiteral("pw"));
        const auto second = EncryptionService::encrypt(QStringLiteral("same"), QStringLiteral("pw"));
        QVERIFY(first && second);
        QVERIFY(first->mid(6, 16) != second->mid(6, 16));
        QVERIFY(first->mid(23, 12) != second->mid(23, 12));
        QVERIFY(*first != *second);
    }

    void fixedEnvelopeDecrypts_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("expected");
        const QString text = QStringLiteral("Known text — ünïcödé ✓\n");
        QTest::newRow("version 2, PBKDF2") << fixedV2(text.toUtf8()) << text;
        const Sealed v1 = seal(pythonHkdfKey, fixedNonce, text.toUtf8());
        QTest::newRow("version 1, HKDF") << envelope(1, fixedSalt, fixedNonce, v1.tag, v1.ciphertext) << text;
        // Lengths other than the written ones are read by their length bytes.
        const QByteArray salt8 = fixedSalt.left(8);
        const QByteArray nonce16 = QByteArray::fromHex("00112233445566778899aabbccddeeff");
        const Sealed odd = seal(pbkdf2Key(fixedPassphrase.toUtf8(), salt8), nonce16, text.toUtf8());
        QTest::newRow("version 2, other salt and nonce lengths")
            << envelope(2, salt8, nonce16, odd.tag, odd.ciphertext) << text;
        QTest::newRow("version 2, empty text") << fixedV2(QByteArray()) << QString();
    }

    void fixedEnvelopeDecrypts()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, expected);
        EncryptionError error;
        const auto text = EncryptionService::decrypt(data, fixedPassphrase, &error);
        QVERIFY2(text, qPrintable(error.localizedDescription()));
        QCOMPARE(*text, expected);
    }

    void badInput_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("passphrase");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("description");

        const QString notOurs = QStringLiteral("This file is not a sorv.ane encrypted document.");
        const QString newer = QStringLiteral("This document uses a newer encryption format. Update sorv.ane to open it.");
        const QString notUtf8 = QStringLiteral("The decrypted content could not be read as UTF-8 text.");
        const QString authentication = EncryptionError::authenticationFailedText();
        const int notEncrypted = EncryptionError::notSorvaneEncrypted;
        const int cipher = EncryptionError::cipherFailure;

        const QByteArray good = fixedV2("A secret worth keeping, long enough to flip a byte in.");
        const QString pw = fixedPassphrase;

        QTest::newRow("empty") << QByteArray() << pw << notEncrypted << notOurs;
        QTest::newRow("magic only") << QByteArray("srvn") << pw << notEncrypted << notOurs;
        QTest::newRow("51 bytes with the magic") << fixedV2(QByteArray()).left(51) << pw << notEncrypted << notOurs;
        QByteArray wrongMagic = good;
        wrongMagic[3] = 'm';
        QTest::newRow("wrong magic") << wrongMagic << pw << notEncrypted << notOurs;
        for (int v : {0, 3, 255}) {
            QByteArray versioned = good;
            versioned[4] = char(v);
            QTest::addRow("version %d", v) << versioned << pw << int(EncryptionError::unsupportedVersion) << newer;
        }

        // Length bytes that point past the end of the data.
        QByteArray saltPastEnd = good;
        saltPastEnd[5] = char(255);
        QTest::newRow("salt length past the end") << saltPastEnd << pw << notEncrypted << notOurs;
        QByteArray noncePastEnd = fixedV2(QByteArray());
        noncePastEnd[22] = char(200);
        QTest::newRow("nonce length past the end") << noncePastEnd << pw << notEncrypted << notOurs;
        QByteArray tagPastEnd = fixedV2(QByteArray());
        tagPastEnd[35] = char(17);
        QTest::newRow("tag length one past the end") << tagPastEnd << pw << notEncrypted << notOurs;
        // 52 bytes or more, but the file ends inside the tag.
        const QByteArray longSalt(40, 's');
        QTest::newRow("file ends inside the tag")
            << envelope(2, longSalt, fixedNonce, QByteArray(16, 't'), QByteArray()).left(60) << pw << notEncrypted
            << notOurs;
        QByteArray lastLengthByte = envelope(2, QByteArray(45, 's'), QByteArray(), QByteArray(), QByteArray());
        lastLengthByte.chop(1); // the tag length byte itself is missing
        QTest::newRow("file ends before the tag length")
            << lastLengthByte << pw << notEncrypted << notOurs;

        // Damage the cipher layer notices.
        const Sealed s = seal(pythonPbkdf2Key, fixedNonce, "A secret worth keeping.");
        QTest::newRow("truncated tag (12 bytes)")
            << envelope(2, fixedSalt, fixedNonce, s.tag.left(12), s.ciphertext) << pw << cipher << authentication;
        QByteArray flippedCiphertext = good;
        flippedCiphertext[60] = char(flippedCiphertext.at(60) ^ 0x01);
        QTest::newRow("flipped ciphertext byte") << flippedCiphertext << pw << cipher << authentication;
        QByteArray flippedTag = good;
        flippedTag[40] = char(flippedTag.at(40) ^ 0x80);
        QTest::newRow("flipped tag byte") << flippedTag << pw << cipher << authentication;
        QByteArray flippedSalt = good;
        flippedSalt[7] = char(flippedSalt.at(7) ^ 0x01);
        QTest::newRow("flipped salt byte") << flippedSalt << pw << cipher << authentication;
        QByteArray cut = good;
        cut.chop(1);
        QTest::newRow("ciphertext cut short") << cut << pw << cipher << authentication;
        QTest::newRow("wrong passphrase") << good << QStringLiteral("Correct horse ✓") << cipher << authentication;
        const Sealed v1 = seal(pythonHkdfKey, fixedNonce, "version one");
        QTest::newRow("wrong passphrase, version 1")
            << envelope(1, fixedSalt, fixedNonce, v1.tag, v1.ciphertext) << QStringLiteral("nope") << cipher
            << authentication;
        QByteArray noNonce = envelope(2, QByteArray(30, 's'), QByteArray(), QByteArray(16, 't'), QByteArray(10, 'c'));
        QTest::newRow("empty nonce") << noNonce << pw << cipher
                                     << QStringLiteral("The cipher refused a nonce of that length.");

        const Sealed latin = seal(pythonPbkdf2Key, fixedNonce, "caf\xe9 \xff\xfe");
        QTest::newRow("plaintext not UTF-8")
            << envelope(2, fixedSalt, fixedNonce, latin.tag, latin.ciphertext) << pw
            << int(EncryptionError::invalidEncoding) << notUtf8;
    }

    void badInput()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, passphrase);
        QFETCH(int, kind);
        QFETCH(QString, description);
        EncryptionError error(EncryptionError::keyDerivationFailed);
        const auto text = EncryptionService::decrypt(data, passphrase, &error);
        QVERIFY2(!text, qPrintable(text.value_or(QString())));
        QCOMPARE(int(error.kind()), kind);
        QCOMPARE(error.localizedDescription(), description);
        // Without an error out-parameter the answer is the same.
        QVERIFY(!EncryptionService::decrypt(data, passphrase));
    }

    void isEncrypted_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("expected");
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("three bytes of the magic") << QByteArray("srv") << false;
        QTest::newRow("magic only") << QByteArray("srvn") << true;
        QTest::newRow("magic and more") << QByteArray("srvn\x09whatever") << true;
        QTest::newRow("magic later") << QByteArray("#srvn") << false;
        QTest::newRow("markdown") << QByteArray("# Title\n") << false;
    }

    void isEncrypted()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, expected);
        QCOMPARE(EncryptionService::isEncrypted(data), expected);
    }

    void keyDerivationText()
    {
        QCOMPARE(EncryptionError(EncryptionError::keyDerivationFailed).localizedDescription(),
                 QStringLiteral("Could not derive an encryption key from that passphrase."));
    }
};

SORVANE_TEST_MAIN(tst_EncryptionService)
#include "tst_EncryptionService.moc"
