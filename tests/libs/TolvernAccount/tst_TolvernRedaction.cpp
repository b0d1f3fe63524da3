#include "TolvernError.h"
#include "TolvernLogLevel.h"
#include "TolvernRedaction.h"

#include <QTest>

#include <stdexcept>

class tst_TolvernRedaction : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void endpoint_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("endpoint");
        QTest::newRow("query and fragment") << "/api/x?token=abc#frag" << "/api/x";
        QTest::newRow("fragment before query") << "/api/x#a?b" << "/api/x";
        QTest::newRow("neither") << "https://id.example.test/api/app-sessions/refresh"
                                 << "https://id.example.test/api/app-sessions/refresh";
        QTest::newRow("starts with ?") << "?secret=1" << "";
        QTest::newRow("empty") << "" << "";
        // A "?" with a combining mark on it is another character, not a query start.
        QTest::newRow("? with combining mark") << QStringLiteral("/a?\u0301b?c") << QStringLiteral("/a?\u0301b");
        QTest::newRow("non-BMP before the query") << QStringLiteral("/\U0001F600?x") << QStringLiteral("/\U0001F600");
    }
    void endpoint()
    {
        QFETCH(QString, text);
        QFETCH(QString, endpoint);
        QCOMPARE(TolvernRedaction::endpoint(text), endpoint);
    }

    void decodeFailureFields()
    {
        QCOMPARE(TolvernRedaction::decodeFailure(QStringLiteral("/api/app-sessions/exchange?x=1")),
                 (TolvernLogFields{{"endpoint", "/api/app-sessions/exchange"}, {"class", "decode"}}));
        QCOMPARE(TolvernRedaction::decodeFailure(QStringLiteral("/e"), QStringLiteral("TvsResponse")),
                 (TolvernLogFields{{"endpoint", "/e"}, {"class", "decode"}, {"field", "TvsResponse"}}));
    }

    void transportFailureFields()
    {
        QCOMPARE(TolvernRedaction::transportFailure(QStringLiteral("/api/x?q#f"),
                                                    QNetworkReply::ConnectionRefusedError),
                 (TolvernLogFields{{"endpoint", "/api/x"},
                                   {"class", "transport"},
                                   {"error_domain", "QNetworkReply"},
                                   {"error_code", "1"},
                                   {"url_error", "1"}}));
        QCOMPARE(TolvernRedaction::transportFailure(QStringLiteral("/api/x"), QNetworkReply::TimeoutError)
                     .value(QStringLiteral("url_error")),
                 QStringLiteral("4"));

        // Any other error: exactly four keys.
        const TolvernLogFields other =
            TolvernRedaction::transportFailure(QStringLiteral("/api/x"), std::runtime_error("boom"));
        QCOMPARE(other.keys(), (QStringList{"class", "endpoint", "error_code", "error_domain"}));
        QCOMPARE(other.value(QStringLiteral("error_domain")), QStringLiteral("std::runtime_error"));
        const TolvernLogFields ours =
            TolvernRedaction::transportFailure(QStringLiteral("/x"), TolvernError::networkUnavailable());
        QCOMPARE(ours.value(QStringLiteral("error_domain")), QStringLiteral("TolvernError"));
        QCOMPARE(ours.value(QStringLiteral("error_code")), QString::number(int(TolvernError::Case::networkUnavailable)));
        QVERIFY(!ours.contains(QStringLiteral("url_error")));
    }

    void logLevels_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("level"); // -1: none
        QTest::newRow("debug") << "debug" << int(TolvernLogLevel::debug);
        QTest::newRow("warning") << "warning" << int(TolvernLogLevel::warning);
        QTest::newRow("abbreviation") << "warn" << -1;
        QTest::newRow("capitalised") << "Error" << -1;
        QTest::newRow("empty") << "" << -1;
    }
    void logLevels()
    {
        QFETCH(QString, raw);
        QFETCH(int, level);
        const auto parsed = TolvernLogLevels::fromRawValue(raw);
        QCOMPARE(parsed ? int(*parsed) : -1, level);
        QCOMPARE(TolvernLogLevels::allCases(),
                 (QList<TolvernLogLevel>{TolvernLogLevel::debug, TolvernLogLevel::info, TolvernLogLevel::warning,
                                         TolvernLogLevel::error}));
    }
};

QTEST_GUILESS_MAIN(tst_TolvernRedaction)
#include "tst_TolvernRedaction.moc"
