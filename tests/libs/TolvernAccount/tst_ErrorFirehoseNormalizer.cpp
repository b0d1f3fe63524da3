#include "ErrorFirehoseNormalizer.h"

#include <QTest>

namespace netlayer {
struct URLError {};
namespace detail {
template<class T>
struct Wrapped {};
} // namespace detail
} // namespace netlayer
struct PlainError {};

class tst_ErrorFirehoseNormalizer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messageTemplates_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("exceptionType");
        QTest::addColumn<QString>("expected");
        const QString none;
        QTest::newRow("e-mail") << "Mail to Jo.Doe+x@mail.example.org bounced" << none << "mail to <email> bounced";
        QTest::newRow("number of ms") << "Timeout after 30000 ms" << none << "timeout after <n> ms";
        QTest::newRow("long number taken as hex") << "Build 1234567890 done" << none << "build <hex> done";
        QTest::newRow("four digits") << "Code 1234 seen" << none << "code <n> seen";
        QTest::newRow("three digits stay") << "Status 500 seen" << none << "status 500 seen";
        QTest::newRow("iso time") << "Started 2026-01-02T03:04:05.678Z ok" << none << "started <ts> ok";
        QTest::newRow("time with space and offset") << "Started 2026-01-02 03:04:05+0100 ok" << none << "started <ts> ok";
        QTest::newRow("upper-case uuid") << "Item 0190ABCD-EF12-4A3B-9C8D-0123456789AB lost" << none << "item <uuid> lost";
        QTest::newRow("account id") << "account ta_0190abcd-ef12 gone" << none << "account <ta_id> gone";
        QTest::newRow("slash path") << "Saving /Users/x/file.md failed" << none << "saving <path> failed";
        QTest::newRow("drive path") << "Saving C:\\Users\\x\\file.md failed" << none << "saving <path> failed";
        QTest::newRow("network path") << "Saving \\\\server\\share\\f.md failed" << none << "saving <path> failed";
        QTest::newRow("scheme loses its last letter") << "Get ftp://files/a" << none << "get ft<path>";
        QTest::newRow("white space runs") << "Hello   World\tAgain" << none << "hello world again";
        QTest::newRow("unicode digits are digits") << QString::fromUtf8("Took \u0661\u0662\u0663\u0664\u0665 ticks")
                                                   << none << "took <n> ticks";
        QTest::newRow("unicode white space splits") << QString::fromUtf8("Disk\u2003full\u00a0again") << none
                                                    << "disk full again";
        QTest::newRow("short with type") << "oops" << "URLError" << "oops URLError";
        QTest::newRow("empty with type") << "" << "URLError" << "URLError";
        QTest::newRow("short without type") << "short" << none << "short";
        QTest::newRow("short with empty type") << "short" << "" << "short";
        QTest::newRow("only white space") << " \t " << none << " \t ";
        QTest::newRow("eight characters ignore the type") << "Abcd efg" << "URLError" << "abcd efg";
        QTest::newRow("unicode lowercasing") << QString::fromUtf8("ÄRGER ÜBERALL") << none
                                             << QString::fromUtf8("ärger überall");
    }
    void messageTemplates()
    {
        QFETCH(QString, message);
        QFETCH(QString, exceptionType);
        QFETCH(QString, expected);
        const std::optional<QString> type = exceptionType.isNull() ? std::nullopt : std::optional(exceptionType);
        QCOMPARE(ErrorFirehoseNormalizer::normalizeMessage(message, type), expected);
    }

    void shortTypeNames()
    {
        QCOMPARE(ErrorFirehoseNormalizer::typeName(netlayer::URLError{}), QStringLiteral("URLError"));
        QCOMPARE(ErrorFirehoseNormalizer::typeName(PlainError{}), QStringLiteral("PlainError"));
        // The "::" inside template arguments is not the type's own.
        QCOMPARE(ErrorFirehoseNormalizer::typeName(netlayer::detail::Wrapped<netlayer::URLError>{}),
                 QStringLiteral("Wrapped<netlayer::URLError>"));
        // The dynamic type, not the static one.
        const std::exception &error = std::runtime_error("x");
        QCOMPARE(ErrorFirehoseNormalizer::typeName(error), QStringLiteral("runtime_error"));
    }

    void frameDigests_data()
    {
        QTest::addColumn<QStringList>("left");
        QTest::addColumn<QStringList>("right");
        QTest::addColumn<bool>("alike");
        QTest::newRow("arrow, arguments, case and spaces") << QStringList{"foo() -> Int"} << QStringList{"  FOO(x: 1)  "} << true;
        QTest::newRow("only the first three count") << QStringList{"a", "b", "c", "d"} << QStringList{"a", "b", "c", "e"} << true;
        QTest::newRow("order counts") << QStringList{"a", "b"} << QStringList{"b", "a"} << false;
        QTest::newRow("different functions") << QStringList{"open()"} << QStringList{"close()"} << false;
    }
    void frameDigests()
    {
        QFETCH(QStringList, left);
        QFETCH(QStringList, right);
        QFETCH(bool, alike);
        const QString digest = ErrorFirehoseNormalizer::computeFrameDigest(left);
        QCOMPARE(digest.size(), 12);
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{12}$")).match(digest).hasMatch());
        QCOMPARE(digest == ErrorFirehoseNormalizer::computeFrameDigest(right), alike);
    }

    void emptyFrameListDigestsTheEmptyText()
    {
        // SHA-256 of "" begins e3b0c44298fc.
        QCOMPARE(ErrorFirehoseNormalizer::computeFrameDigest({}), QStringLiteral("e3b0c44298fc"));
    }

    void fingerprintsSeparateSignals()
    {
        const auto fp = [](const QString &category, std::optional<QString> digest) {
            return ErrorFirehoseNormalizer::fingerprint("sorvane", "linux", "warn", category, "disk full", digest);
        };
        QCOMPARE(fp("io", std::nullopt).size(), 16);
        QVERIFY(fp("io", std::nullopt) != fp("net", std::nullopt));
        // No digest and an empty one are not the same signal as one with frames.
        QVERIFY(fp("io", std::nullopt) != fp("io", QStringLiteral("e3b0c44298fc")));
        QCOMPARE(fp("io", std::nullopt), fp("io", std::nullopt));
        // Exact recipe: the six parts joined with "|".
        QCOMPARE(fp("io", std::nullopt), ErrorFirehoseNormalizer::sha256Prefix("sorvane|linux|warn|io|disk full|", 16));
    }

    void dailyTokenTurnsOverAtMidnightUTC()
    {
        const QDate day(2026, 3, 4);
        const QString token = ErrorFirehoseNormalizer::computeDailyToken("install-a", day);
        QCOMPARE(token, ErrorFirehoseNormalizer::sha256Prefix("install-a|2026-03-04|kestal-crumbs-v3", 16));
        QCOMPARE(ErrorFirehoseNormalizer::computeDailyToken("install-a", day), token);
        QVERIFY(ErrorFirehoseNormalizer::computeDailyToken("install-a", day.addDays(1)) != token);
        QVERIFY(ErrorFirehoseNormalizer::computeDailyToken("install-b", day) != token);
        QCOMPARE(ErrorFirehoseNormalizer::utcDateString(QDate(987, 1, 2)), QStringLiteral("0987-01-02"));
    }
};

QTEST_GUILESS_MAIN(tst_ErrorFirehoseNormalizer)
#include "tst_ErrorFirehoseNormalizer.moc"
