#include "HTTPResponse.h"
#include "Semver.h"
#include "TolvernDeprecationParser.h"

#include <QTest>
#include <QTimeZone>

Q_DECLARE_METATYPE(TolvernDeprecationNotice)
using Notices = QList<TolvernDeprecationNotice>;
using Notice = TolvernDeprecationNotice;

namespace {
std::optional<QString> text(const char *value)
{
    return QString::fromUtf8(value);
}
} // namespace

class tst_TolvernDeprecationParser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<Notices>("notices");
        const QDateTime midnight(QDate(2027, 1, 31), QTime(0, 0), QTimeZone::utc());
        QTest::newRow("empty") << "" << Notices{};
        QTest::newRow("commas and spaces") << " , ,, " << Notices{};
        QTest::newRow("endpoint alone") << "endpoint" << Notices{Notice::endpoint({}, {}, {})};
        QTest::newRow("capitals in kind and name")
            << "Client; Min-Version=2.0.1" << Notices{Notice::client(QStringLiteral("2.0.1"), {}, {})};
        QTest::newRow("client without min-version") << "client; current=3.0" << Notices{};
        QTest::newRow("unknown kind") << "library; min-version=2.0" << Notices{};
        QTest::newRow("two in order, unreadable skipped")
            << "client;min-version=1.0;current=1.5, bogus, endpoint;reason=gone"
            << Notices{Notice::client(QStringLiteral("1.0"), text("1.5"), {}), Notice::endpoint({}, {}, text("gone"))};
        QTest::newRow("comma cuts a reason")
            << "endpoint;reason=old, use v2" << Notices{Notice::endpoint({}, {}, text("old"))};
        QTest::newRow("full endpoint")
            << "endpoint; replacement=https://id.example.test/v2/refresh; expires=2027-01-31T12:30:00Z; reason=moved"
            << Notices{Notice::endpoint(QUrl(QStringLiteral("https://id.example.test/v2/refresh")),
                                        QDateTime(QDate(2027, 1, 31), QTime(12, 30), QTimeZone::utc()), text("moved"))};
        QTest::newRow("quoted values keep their quotes")
            << "endpoint; replacement=\"https://id.example.test/v2\"; expires=\"2027-01-31\"; reason=\"why\""
            << Notices{Notice::endpoint({}, {}, text("\"why\""))};
        QTest::newRow("plain date is midnight UTC") << "endpoint; expires=2027-01-31"
                                                    << Notices{Notice::endpoint({}, midnight, {})};
        QTest::newRow("date with offset") << "endpoint; expires=2027-01-31T01:00:00+01:00"
                                          << Notices{Notice::endpoint({}, midnight, {})};
        QTest::newRow("fractional seconds are unreadable") << "endpoint; expires=2027-01-31T00:00:00.000Z"
                                                           << Notices{Notice::endpoint({}, {}, {})};
        QTest::newRow("impossible day") << "endpoint; expires=2027-02-30" << Notices{Notice::endpoint({}, {}, {})};
        QTest::newRow("no = and empty value ignored")
            << "client; min-version=2.0; reason; current=" << Notices{Notice::client(QStringLiteral("2.0"), {}, {})};
        QTest::newRow("later = stays in the value")
            << "client; min-version=2.0; reason=a=b" << Notices{Notice::client(QStringLiteral("2.0"), {}, text("a=b"))};
        QTest::newRow("leading = skipped")
            << "client; =min-version=2.0" << Notices{Notice::client(QStringLiteral("2.0"), {}, {})};
        QTest::newRow("later parameter wins")
            << "client; min-version=1.0; MIN-VERSION=1.1" << Notices{Notice::client(QStringLiteral("1.1"), {}, {})};
        QTest::newRow("relative replacement is a URL")
            << "endpoint; replacement=/v2/x" << Notices{Notice::endpoint(QUrl(QStringLiteral("/v2/x")), {}, {})};
    }
    void parse()
    {
        QFETCH(QString, header);
        QFETCH(Notices, notices);
        QCOMPARE(TolvernDeprecationParser::parse(header), notices);
    }

    void readsTheHeaderOfAReply()
    {
        HTTPResponse response;
        response.statusCode = 200;
        QCOMPARE(TolvernDeprecationParser::notices(response), Notices{});
        response.headerFields = {{"tolvern-deprecation", "client; min-version=9"}};
        QCOMPARE(TolvernDeprecationParser::notices(response), Notices{Notice::client(QStringLiteral("9"), {}, {})});
    }

    void semver_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("order");
        QTest::newRow("equal") << "1.2.3" << "1.2.3" << 0;
        QTest::newRow("missing counts 0") << "1.2" << "1.2.0" << 0;
        QTest::newRow("numeric, not text") << "1.9" << "1.10" << -1;
        QTest::newRow("first difference decides") << "2" << "1.99.99" << 1;
        QTest::newRow("empty") << "" << "0.0.1" << -1;
        QTest::newRow("pre-release counts 0") << "2.0.0-rc1" << "2.0.0" << 0;
        QTest::newRow("space before digits counts 0") << "1. 5" << "1.0" << 0;
        QTest::newRow("signs") << "1.-1" << "1.+0" << -1;
        QTest::newRow("empty pieces dropped") << "1..2" << "1.2" << 0;
        QTest::newRow("too big counts 0") << "1.99999999999999999999" << "1.0" << 0;
    }
    void semver()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, order);
        QCOMPARE(Semver::compare(a, b), order);
        QCOMPARE(Semver::compare(b, a), -order);
    }
};

QTEST_GUILESS_MAIN(tst_TolvernDeprecationParser)
#include "tst_TolvernDeprecationParser.moc"
