#include "KeychainStorage.h"
#include "TolvernAccountLibrary.h"
#include "TolvernConfig.h"
#include "TolvernInstallMetrics.h"

#include <QNetworkAccessManager>
#include <QTest>

namespace {
TolvernConfig config(const QString &slug, std::optional<QString> installID, TolvernLogger logger = {})
{
    static QNetworkAccessManager network;
    return TolvernConfig(QUrl(QStringLiteral("https://auth.example.test")), QUrl(QStringLiteral("https://id.example.test/base/")),
                         slug, QStringLiteral("client-1"), QStringLiteral("1.1.18"),
                         QString::fromLatin1(TolvernAccountLibrary::libVersion),
                         QUrl(QStringLiteral("sorvane://auth/callback")), AuthScheme::systemBrowser,
                         QStringLiteral("some.group"), {QStringLiteral("tolvern.account"), QStringLiteral("openid")},
                         &network, std::move(logger), std::move(installID));
}

const QString idKey = QString::fromLatin1(TolvernInstallMetrics::Keys::installID);
} // namespace

// Runs inside a throwaway keyring: the install identifier lives there.
class tst_TolvernConfig : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void givenIdentifierIsKeptWithoutTouchingTheKeyring_data()
    {
        QTest::addColumn<QString>("installID");
        QTest::newRow("empty counts as a value") << "";
        QTest::newRow("any text") << "host-chosen";
    }
    void givenIdentifierIsKeptWithoutTouchingTheKeyring()
    {
        QFETCH(QString, installID);
        const QString slug = QStringLiteral("given-%1").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
        const TolvernConfig filled = config(slug, installID).withAutoInstallID();
        QCOMPARE(filled.installID(), std::optional<QString>(installID));
        QCOMPARE(KeychainStorage(slug).getData(idKey), std::nullopt);
    }

    void missingIdentifierComesFromTheInstallMetrics()
    {
        int logged = 0;
        const TolvernConfig original = config(QStringLiteral("auto"), std::nullopt,
                                              [&logged](TolvernLogLevel, const QString &, const TolvernLogFields &) { ++logged; });
        const TolvernConfig first = original.withAutoInstallID();
        const TolvernConfig second = config(QStringLiteral("auto"), std::nullopt).withAutoInstallID();
        QVERIFY(first.installID());
        QCOMPARE(first.installID()->size(), 36);
        QCOMPARE(second.installID(), first.installID());
        // Stored without the configuration's access group.
        QCOMPARE(KeychainStorage(QStringLiteral("auto")).getData(idKey), std::optional<QByteArray>(first.installID()->toUtf8()));
        QCOMPARE(original.installID(), std::nullopt);

        // Everything else is the same configuration, the log hook included.
        QCOMPARE(first.identityURL(), original.identityURL());
        QCOMPARE(first.keychainAccessGroup(), original.keychainAccessGroup());
        QCOMPARE(first.scopes(), original.scopes());
        QCOMPARE(first.urlSession(), original.urlSession());
        QCOMPARE(first.preferredScheme(), AuthScheme::systemBrowser);
        first.logger()(TolvernLogLevel::info, QStringLiteral("e"), {});
        QCOMPARE(logged, 1);
    }

    void versionLine_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("line");
        QTest::newRow("host") << "sorvane 1.1.18" << "TolvernAccount/0.9.2 (sorvane 1.1.18)";
        QTest::newRow("empty host") << "" << "TolvernAccount/0.9.2 ()";
    }
    void versionLine()
    {
        QFETCH(QString, host);
        QFETCH(QString, line);
        QCOMPARE(TolvernAccountLibrary::versionLine(host), line);
        QCOMPARE(QString::fromLatin1(TolvernAccountLibrary::libVersion), QStringLiteral("0.9.2"));
    }
};

QTEST_GUILESS_MAIN(tst_TolvernConfig)
#include "tst_TolvernConfig.moc"
