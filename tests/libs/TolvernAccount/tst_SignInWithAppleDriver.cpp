#include "SignInWithAppleDriver.h"

#include "AwaitTask.h"

#include <QTest>

namespace {
using Authorization = SignInWithAppleDriver::AppleAuthorization;
using Credential = SignInWithAppleDriver::Credential;

TolvernConfig config()
{
    return TolvernConfig(QUrl("https://auth.example"), QUrl("https://id.example"), "sorvane", "client", "1.0.0", "0.1.0",
                         QUrl("sorvane://auth/callback"), AuthScheme::systemBrowser, std::nullopt, {"openid"}, nullptr,
                         nullptr, std::nullopt);
}

Credential full()
{
    return Credential{true, QByteArray("c0de"), QByteArray("id.token.sig"), "001.user", "Ada", "Lovelace", "ada@example.com"};
}
} // namespace

Q_DECLARE_METATYPE(Credential)
Q_DECLARE_METATYPE(std::optional<Authorization>)

class tst_SignInWithAppleDriver : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void unavailableHere()
    {
        SignInWithAppleDriver driver(config());
        QVERIFY(!SignInWithAppleDriver::isAvailable());
        QObject window;
        try {
            awaitTask(driver.authorize(&window));
            QFAIL("an Apple sign-in cannot succeed here");
        } catch (const TolvernError &error) {
            QCOMPARE(error, TolvernError::authorizationFailed("siwa_unavailable"));
            QCOMPARE(error.errorDescription(), QStringLiteral("Sign-in failed: siwa_unavailable"));
        }
        QCOMPARE(driver.config().clientID(), QStringLiteral("client"));
    }

    void completion_data()
    {
        QTest::addColumn<Credential>("credential");
        QTest::addColumn<std::optional<Authorization>>("expected");
        QTest::addColumn<QString>("reason"); // when no record

        QTest::newRow("everything shared")
            << full()
            << std::optional(Authorization{"c0de", "id.token.sig", "001.user", "Ada", "Lovelace", "ada@example.com"})
            << "";
        Credential private_ = full();
        private_.givenName.reset();
        private_.familyName.reset();
        private_.email.reset();
        QTest::newRow("neither name nor e-mail")
            << private_ << std::optional(Authorization{"c0de", "id.token.sig", "001.user", {}, {}, {}}) << "";
        Credential noToken = full();
        noToken.identityToken = std::nullopt;
        QTest::newRow("no identity token")
            << noToken << std::optional(Authorization{"c0de", {}, "001.user", "Ada", "Lovelace", "ada@example.com"})
            << "";
        Credential badToken = full();
        badToken.identityToken = QByteArray("\xff\xfe", 2);
        QTest::newRow("identity token not UTF-8")
            << badToken << std::optional(Authorization{"c0de", {}, "001.user", "Ada", "Lovelace", "ada@example.com"})
            << "";
        Credential other = full();
        other.isAppleIDCredential = false;
        QTest::newRow("not an Apple ID credential") << other << std::optional<Authorization>() << "siwa_missing_credential";
        Credential noCode = full();
        noCode.authorizationCode = std::nullopt;
        QTest::newRow("no code") << noCode << std::optional<Authorization>() << "siwa_missing_authcode";
        Credential badCode = full();
        badCode.authorizationCode = QByteArray("c0\xc3", 3);
        QTest::newRow("code not UTF-8") << badCode << std::optional<Authorization>() << "siwa_missing_authcode";
    }
    void completion()
    {
        QFETCH(Credential, credential);
        QFETCH(std::optional<Authorization>, expected);
        QFETCH(QString, reason);
        try {
            const Authorization authorization = SignInWithAppleDriver::authorizationFromCredential(credential);
            QVERIFY(expected);
            QVERIFY(authorization == *expected);
        } catch (const TolvernError &error) {
            QVERIFY2(!expected, error.what());
            QCOMPARE(error, TolvernError::authorizationFailed(reason));
        }
    }

    void platformErrors_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("the user dismissed the sheet") << 1001 << true;
        QTest::newRow("failed") << 1000 << false;
        QTest::newRow("unknown") << -1 << false;
    }
    void platformErrors()
    {
        QFETCH(int, code);
        QFETCH(bool, cancelled);
        const TolvernError error = SignInWithAppleDriver::errorFromPlatformError(code, "The operation couldn't be completed.");
        QCOMPARE(error, cancelled ? TolvernError::authorizationCancelled()
                                  : TolvernError::authorizationFailed("The operation couldn't be completed."));
    }
};

QTEST_GUILESS_MAIN(tst_SignInWithAppleDriver)
#include "tst_SignInWithAppleDriver.moc"
