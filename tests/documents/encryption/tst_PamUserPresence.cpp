#include "EncryptionDoubles.h"
#include "TestEnvironment.h"

#include "documents/encryption/PamUserPresence.h"

#include <QApplication>
#include <QTest>

Q_DECLARE_METATYPE(std::optional<PassphraseAnswer>)

// Runs under pam_wrapper: PAM reads the service files of this test's fixture
// folder, whose pam_matrix module knows alice with the password "s3cret" for the
// service "sorvane_test" only.
class tst_PamUserPresence : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariable("PAM_WRAPPER") != QLatin1String("1"))
            QSKIP("needs pam_wrapper (run through ctest)");
    }

    void checkPassword_data()
    {
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right password") << "sorvane_test" << "alice" << "s3cret" << true;
        QTest::newRow("wrong password") << "sorvane_test" << "alice" << "s3cret " << false;
        QTest::newRow("empty password") << "sorvane_test" << "alice" << "" << false;
        QTest::newRow("another user's password") << "sorvane_test" << "alice" << "hunter2" << false;
        QTest::newRow("user of another service") << "sorvane_test" << "bob" << "hunter2" << false;
        QTest::newRow("unknown user") << "sorvane_test" << "mallory" << "s3cret" << false;
        QTest::newRow("service without a policy") << "no_such_service" << "alice" << "s3cret" << false;
    }

    void checkPassword()
    {
        QFETCH(QString, service);
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(bool, accepted);
        QCOMPARE(PamUserPresence(service, user).checkPassword(password), accepted);
    }

    void confirmAsksForTheLoginPassword_data()
    {
        QTest::addColumn<std::optional<PassphraseAnswer>>("answer");
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("right password") << std::optional<PassphraseAnswer>(PassphraseAnswer{"s3cret", {}}) << true;
        QTest::newRow("wrong password") << std::optional<PassphraseAnswer>(PassphraseAnswer{"guess", {}}) << false;
        QTest::newRow("cancelled") << std::optional<PassphraseAnswer>() << false;
    }

    void confirmAsksForTheLoginPassword()
    {
        QFETCH(std::optional<PassphraseAnswer>, answer);
        QFETCH(bool, confirmed);
        ScriptedPassphrasePrompt prompt;
        prompt.answers = {answer};
        PassphrasePrompt::setShared(&prompt);
        PamUserPresence presence(QStringLiteral("sorvane_test"), QStringLiteral("alice"));
        const bool result = presence.confirm(QStringLiteral("Unlock this sorv.ane document"));
        PassphrasePrompt::setShared(nullptr);
        QCOMPARE(result, confirmed);
        QCOMPARE(prompt.requests.size(), 1);
        QCOMPARE(prompt.requests.first().messageText, QStringLiteral("Unlock this sorv.ane document"));
        QVERIFY(!prompt.requests.first().confirming);
    }

    void defaultUserIsTheProcessOwner()
    {
        QVERIFY(!PamUserPresence().user().isEmpty());
    }
};


SORVANE_TEST_MAIN(tst_PamUserPresence)
#include "tst_PamUserPresence.moc"
