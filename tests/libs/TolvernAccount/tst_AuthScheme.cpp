#include "AuthScheme.h"

#include <QTest>

class tst_AuthScheme : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void decodesOnlyExactRawValues_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<int>("expected"); // -1: no value
        QTest::newRow("systemBrowser") << "systemBrowser" << int(AuthScheme::systemBrowser);
        QTest::newRow("aswas") << "aswas" << int(AuthScheme::aswas);
        QTest::newRow("loopback") << "loopback" << int(AuthScheme::loopback);
        QTest::newRow("capitalised") << "SystemBrowser" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("padded") << " aswas" << -1;
    }
    void decodesOnlyExactRawValues()
    {
        QFETCH(QString, raw);
        QFETCH(int, expected);
        const auto scheme = AuthSchemes::fromRawValue(raw);
        QCOMPARE(scheme.has_value() ? int(*scheme) : -1, expected);
    }

    void everyCaseRoundTripsInOrder()
    {
        const QList<AuthScheme> cases = AuthSchemes::allCases();
        QCOMPARE(cases, (QList<AuthScheme>{AuthScheme::aswas, AuthScheme::loopback, AuthScheme::systemBrowser}));
        for (AuthScheme scheme : cases)
            QCOMPARE(AuthSchemes::fromRawValue(AuthSchemes::rawValue(scheme)), scheme);
    }
};

QTEST_GUILESS_MAIN(tst_AuthScheme)
#include "tst_AuthScheme.moc"
