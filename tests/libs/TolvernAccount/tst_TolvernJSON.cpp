#include "TolvernAccount.h"
#include "TolvernDecodingError.h"
#include "TolvernJSON.h"
#include "TvsResponse.h"

#include <QTest>
#include <QTimeZone>

namespace {
// A complete refresh reply; rows take members out or change them.
QByteArray tvsReply(const QByteArray &replace = {}, const QByteArray &with = {})
{
    QByteArray json = R"({"ok":true,"tvs":"tvs-1","refresh_token":"rt-1","expires_at":"2026-03-01T10:00:00Z",)"
                      R"("tolvern_account_id":"ta_1","email":"ana@example.test","app_slug":"sorvane","extra":[1,2]})";
    if (!replace.isEmpty())
        json.replace(replace, with);
    return json;
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone::utc());
}
} // namespace

class tst_TolvernJSON : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsDates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("expected"); // invalid: refused
        QTest::newRow("whole seconds, Z") << "2026-03-01T10:00:00Z" << utc(2026, 3, 1, 10, 0, 0);
        QTest::newRow("milliseconds") << "2026-03-01T10:00:00.250Z" << utc(2026, 3, 1, 10, 0, 0, 250);
        QTest::newRow("one fraction digit") << "2026-03-01T10:00:00.5Z" << utc(2026, 3, 1, 10, 0, 0, 500);
        QTest::newRow("microseconds cut to ms") << "2026-03-01T10:00:00.123456Z" << utc(2026, 3, 1, 10, 0, 0, 123);
        QTest::newRow("numeric offset") << "2026-03-01T11:00:00+01:00" << utc(2026, 3, 1, 10, 0, 0);
        QTest::newRow("negative offset") << "2026-03-01T05:30:00-04:30" << utc(2026, 3, 1, 10, 0, 0);
        QTest::newRow("bare date") << "2026-03-01" << QDateTime();
        QTest::newRow("no zone") << "2026-03-01T10:00:00" << QDateTime();
        QTest::newRow("no zone, fraction") << "2026-03-01T10:00:00.5" << QDateTime();
        QTest::newRow("space for T") << "2026-03-01 10:00:00Z" << QDateTime();
        QTest::newRow("lower-case z") << "2026-03-01T10:00:00z" << QDateTime();
        QTest::newRow("dot without digits") << "2026-03-01T10:00:00.Z" << QDateTime();
        QTest::newRow("compact offset") << "2026-03-01T10:00:00+0100" << QDateTime();
        QTest::newRow("no seconds") << "2026-03-01T10:00Z" << QDateTime();
        QTest::newRow("February 30") << "2026-02-30T10:00:00Z" << QDateTime();
        QTest::newRow("hour 24") << "2026-03-01T24:00:00Z" << QDateTime();
        QTest::newRow("trailing text") << "2026-03-01T10:00:00Zx" << QDateTime();
        QTest::newRow("empty") << "" << QDateTime();
    }
    void readsDates()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, expected);
        const QByteArray json = "[" + TolvernJSONWriter::quoted(text) + "]";
        const TolvernJSONValue value = TolvernJSON::parse(json).elements().first();
        if (expected.isValid()) {
            QCOMPARE(value.toDate(), expected);
            return;
        }
        try {
            value.toDate();
            QFAIL("the date was accepted");
        } catch (const TolvernDecodingError &error) {
            QCOMPARE(error.kind(), TolvernDecodingError::Kind::dataCorrupted);
            QCOMPARE(error.debugDescription(), QStringLiteral("Bad ISO 8601 date: ") + text);
        }
    }

    void writesDatesInUtcWithMillisecondsAndRoundTrips()
    {
        const QDateTime local(QDate(2026, 3, 1), QTime(11, 0, 0, 7), QTimeZone(3600));
        QCOMPARE(TolvernJSON::formatDate(local), QStringLiteral("2026-03-01T10:00:00.007Z"));
        const QDateTime now = QDateTime::currentDateTimeUtc();
        TolvernJSONWriter writer;
        writer.add(QStringLiteral("at"), now);
        QCOMPARE(TolvernJSON::parse(writer.data()).date(QStringLiteral("at")), now);
    }

    void tvsResponse_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("errorKind"); // -1: decodes
        QTest::addColumn<QString>("failingKey");
        QTest::addColumn<QString>("description");
        const int ok = -1;
        const int missing = int(TolvernDecodingError::Kind::keyNotFound);
        const int mismatch = int(TolvernDecodingError::Kind::typeMismatch);
        const int corrupted = int(TolvernDecodingError::Kind::dataCorrupted);
        QTest::newRow("complete") << tvsReply() << ok << "" << "";
        QTest::newRow("without refresh_token") << tvsReply(R"("refresh_token":"rt-1",)", "") << ok << "" << "";
        QTest::newRow("null refresh_token") << tvsReply(R"("rt-1")", "null") << ok << "" << "";
        QTest::newRow("fractional expiry") << tvsReply("10:00:00Z", "10:00:00.123Z") << ok << "" << "";
        QTest::newRow("without expires_at")
            << tvsReply(R"("expires_at":"2026-03-01T10:00:00Z",)", "") << missing << "expires_at"
            << R"(No value associated with key "expires_at".)";
        QTest::newRow("without email") << tvsReply(R"("email":"ana@example.test",)", "") << missing << "email" << "";
        QTest::newRow("bare date") << tvsReply("2026-03-01T10:00:00Z", "2026-03-01") << corrupted << "expires_at"
                                   << "Bad ISO 8601 date: 2026-03-01";
        QTest::newRow("number for a date") << tvsReply(R"("2026-03-01T10:00:00Z")", "1772359200") << mismatch
                                           << "expires_at" << "";
        // Declaration order decides which of two faults is reported.
        QTest::newRow("first fault wins") << tvsReply(R"("tvs":"tvs-1",)", R"("tvs":7,)").replace("\"email\"", "\"x\"")
                                          << mismatch << "tvs" << "Expected to decode String but found a number instead.";
        QTest::newRow("null for a required string") << tvsReply(R"("tvs-1")", "null") << mismatch << "tvs" << "";
        QTest::newRow("fractional expires_in") << tvsReply(R"("ok":true,)", R"("ok":true,"expires_in":1.5,)")
                                               << corrupted << "expires_in" << "";
        QTest::newRow("not JSON") << QByteArray("{\"ok\":") << corrupted << "" << "The given data was not valid JSON.";
        QTest::newRow("array at the top") << QByteArray("[]") << mismatch << "" << "";
    }
    void tvsResponse()
    {
        QFETCH(QByteArray, json);
        QFETCH(int, errorKind);
        QFETCH(QString, failingKey);
        QFETCH(QString, description);
        try {
            const auto reply = TolvernJSON::decode<TvsResponse>(json);
            QCOMPARE(errorKind, -1);
            QCOMPARE(reply.tvs, QStringLiteral("tvs-1"));
            QCOMPARE(reply.tolvernAccountId.raw, QStringLiteral("ta_1"));
            QCOMPARE(reply.expiresAt.toUTC().time().hour(), 10);
            QCOMPARE(reply.refreshToken.has_value(), json.contains("\"rt-1\""));
        } catch (const TolvernDecodingError &error) {
            QCOMPARE(int(error.kind()), errorKind);
            QCOMPARE(error.codingPath().value(error.codingPath().size() - 1), failingKey);
            if (!description.isEmpty())
                QCOMPARE(error.debugDescription(), description);
        }
    }

    void libVersionPolicyInsideTheReply()
    {
        const auto empty = TolvernJSON::decode<TvsResponse>(tvsReply(R"("ok":true,)", R"("ok":true,"tolvern_lib_version":{},)"));
        QCOMPARE(empty.libVersionPolicy, std::optional<LibVersionPolicy>(LibVersionPolicy{}));
        const auto full = TolvernJSON::decode<TvsResponse>(tvsReply(
            R"("ok":true,)",
            R"("ok":true,"tolvern_lib_version":{"minVersion":"1.2","reason":"old","expires":"2027-01-01T00:00:00Z"},)"));
        QVERIFY(full.libVersionPolicy);
        QCOMPARE(full.libVersionPolicy->minVersion, std::optional<QString>(QStringLiteral("1.2")));
        QCOMPARE(full.libVersionPolicy->currentVersion, std::nullopt);
        QCOMPARE(full.libVersionPolicy->expires, std::optional<QDateTime>(utc(2027, 1, 1, 0, 0, 0)));
    }

    void accountProviders_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QList<int>>("providers"); // empty with hasList false: absent
        QTest::addColumn<bool>("hasList");
        QTest::addColumn<QByteArray>("reencoded");
        QTest::newRow("no providers") << QByteArray(R"({"tolvern_account_id":"ta_1","email_primary":"a@b.test"})")
                                      << true << QList<int>{} << false
                                      << QByteArray(R"({"tolvern_account_id":"ta_1","email_primary":"a@b.test"})");
        QTest::newRow("passkey, password")
            << QByteArray(R"({"providers":["passkey","password"],"email_primary":"a@b.test","tolvern_account_id":"ta_1"})")
            << true << QList<int>{int(TolvernProvider::passkey), int(TolvernProvider::password)} << true
            << QByteArray(R"({"tolvern_account_id":"ta_1","email_primary":"a@b.test","providers":["passkey","password"]})");
        QTest::newRow("domain-named providers")
            << QByteArray(R"({"tolvern_account_id":"ta_1","email_primary":"a@b.test","providers":["google.com","apple.com","email-link"]})")
            << true << QList<int>{int(TolvernProvider::google), int(TolvernProvider::apple), int(TolvernProvider::emailLink)}
            << true << QByteArray();
        QTest::newRow("unknown provider") << QByteArray(R"({"tolvern_account_id":"ta_1","email_primary":"a@b.test","providers":["github"]})")
                                          << false << QList<int>{} << false << QByteArray();
        QTest::newRow("empty list stays a list")
            << QByteArray(R"({"tolvern_account_id":"ta_1","email_primary":"a@b.test","providers":[]})") << true
            << QList<int>{} << true
            << QByteArray(R"({"tolvern_account_id":"ta_1","email_primary":"a@b.test","providers":[]})");
    }
    void accountProviders()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, decodes);
        QFETCH(QList<int>, providers);
        QFETCH(bool, hasList);
        QFETCH(QByteArray, reencoded);
        try {
            const auto account = TolvernJSON::decode<TolvernAccount>(json);
            QVERIFY(decodes);
            QCOMPARE(account.providers.has_value(), hasList);
            QList<int> got;
            for (TolvernProvider provider : account.providers.value_or(QList<TolvernProvider>{}))
                got.append(int(provider));
            QCOMPARE(got, providers);
            if (!reencoded.isEmpty())
                QCOMPARE(TolvernJSON::encode(account), reencoded);
        } catch (const TolvernDecodingError &error) {
            QVERIFY2(!decodes, error.what());
            QCOMPARE(error.kind(), TolvernDecodingError::Kind::dataCorrupted);
            QCOMPARE(error.debugDescription(),
                     QStringLiteral("Cannot initialize TolvernProvider from invalid String value github"));
        }
    }

    void accountEqualityComparesEveryField()
    {
        const TolvernAccount a{{QStringLiteral("ta_1")}, QStringLiteral("a@b.test"), std::nullopt};
        TolvernAccount b = a;
        QVERIFY(a == b);
        b.providers = QList<TolvernProvider>{};
        QVERIFY(a != b); // an absent list equals only an absent list
        b.providers = QList<TolvernProvider>{TolvernProvider::apple, TolvernProvider::google};
        TolvernAccount c = b;
        c.providers = QList<TolvernProvider>{TolvernProvider::google, TolvernProvider::apple};
        QVERIFY(b != c);
        QCOMPARE(qHash(b), qHash(TolvernAccount(b)));
    }

    void writerKeepsOrderAndEscapes()
    {
        TolvernJSONWriter writer;
        writer.add(QStringLiteral("z"), QStringLiteral("a/b \"q\" \\ \n\t\x01 \u00e9"));
        writer.add(QStringLiteral("a"), true);
        writer.add(QStringLiteral("m"), qint64(-42));
        writer.add(QStringLiteral("absent"), std::optional<QString>());
        QCOMPARE(writer.data(), QByteArray("{\"z\":\"a\\/b \\\"q\\\" \\\\ \\n\\t\\u0001 \xc3\xa9\",\"a\":true,\"m\":-42}"));
        // What we write, Qt's reader reads back to the same text.
        QCOMPARE(TolvernJSON::parse(writer.data()).string(QStringLiteral("z")),
                 QStringLiteral("a/b \"q\" \\ \n\t\x01 \u00e9"));
    }
};

QTEST_GUILESS_MAIN(tst_TolvernJSON)
#include "tst_TolvernJSON.moc"
