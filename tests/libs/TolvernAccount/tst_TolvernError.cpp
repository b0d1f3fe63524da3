#include "TolvernError.h"

#include <QTest>

Q_DECLARE_METATYPE(TolvernError)

class tst_TolvernError : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void texts_data()
    {
        QTest::addColumn<TolvernError>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("server, no code") << TolvernError::serverError(503) << "Server error (503).";
        QTest::newRow("server, code") << TolvernError::serverError(503, QStringLiteral("busy"))
                                      << QString::fromUtf8("Server error (503 \u2014 busy).");
        QTest::newRow("server, empty code keeps the dash")
            << TolvernError::serverError(400, QString()) << QString::fromUtf8("Server error (400 \u2014 ).");
        QTest::newRow("malformed, no field") << TolvernError::malformedResponse()
                                             << "Couldn't read the server response.";
        QTest::newRow("malformed, keychain field")
            << TolvernError::malformedResponse(QStringLiteral("keychain.tolvern_session"))
            << "Couldn't read the server response (keychain.tolvern_session).";
        QTest::newRow("authorization failed") << TolvernError::authorizationFailed(QStringLiteral("state mismatch"))
                                              << "Sign-in failed: state mismatch";
        QTest::newRow("keychain, negative status") << TolvernError::keychainFailure(-25300)
                                                   << "Couldn't read your stored sign-in (-25300).";
        QTest::newRow("client killed hides the URL")
            << TolvernError::clientKilled(QUrl(QStringLiteral("https://example.test/new")))
            << "This version is no longer supported. Please update.";
        QTest::newRow("requires upgrade") << TolvernError::requiresUpgrade(QStringLiteral("2.1.0"))
                                          << "Please update to version 2.1.0 or later.";
        QTest::newRow("dpop") << TolvernError::dpopUnavailable(QStringLiteral("sign_failed"))
                              << "Device security key unavailable: sign_failed";
        QTest::newRow("not signed in") << TolvernError::notSignedIn() << "Sign in to continue.";
        QTest::newRow("session expired") << TolvernError::sessionExpired()
                                         << "Your session expired. Please sign in again.";
        QTest::newRow("network") << TolvernError::networkUnavailable() << "Can't reach the network. Try again.";
        QTest::newRow("cancelled") << TolvernError::authorizationCancelled() << "Sign-in was cancelled.";
    }
    void texts()
    {
        QFETCH(TolvernError, error);
        QFETCH(QString, text);
        QCOMPARE(error.errorDescription(), text);
        // Whoever catches it as a std::exception reads the same text.
        QCOMPARE(QString::fromUtf8(error.what()), text);
    }

    void equality_data()
    {
        QTest::addColumn<TolvernError>("a");
        QTest::addColumn<TolvernError>("b");
        QTest::addColumn<bool>("equal");
        QTest::newRow("code vs no code") << TolvernError::serverError(400, QStringLiteral("invalid_grant"))
                                         << TolvernError::serverError(400) << false;
        QTest::newRow("empty code vs no code")
            << TolvernError::serverError(400, QString()) << TolvernError::serverError(400) << false;
        QTest::newRow("same code") << TolvernError::serverError(400, QStringLiteral("invalid_grant"))
                                   << TolvernError::serverError(400, QStringLiteral("invalid_grant")) << true;
        QTest::newRow("other status") << TolvernError::serverError(400) << TolvernError::serverError(401) << false;
        QTest::newRow("session expired") << TolvernError::sessionExpired() << TolvernError::sessionExpired() << true;
        QTest::newRow("two plain cases") << TolvernError::sessionExpired() << TolvernError::notSignedIn() << false;
        QTest::newRow("field vs none") << TolvernError::malformedResponse(QStringLiteral("url"))
                                       << TolvernError::malformedResponse() << false;
        QTest::newRow("same text, other case")
            << TolvernError::dpopUnavailable(QStringLiteral("x")) << TolvernError::authorizationFailed(QStringLiteral("x"))
            << false;
        QTest::newRow("replacement vs none")
            << TolvernError::clientKilled(QUrl(QStringLiteral("https://a.test"))) << TolvernError::clientKilled()
            << false;
        QTest::newRow("equal URLs") << TolvernError::clientKilled(QUrl(QStringLiteral("https://a.test/x")))
                                    << TolvernError::clientKilled(QUrl(QStringLiteral("https://a.test/x"))) << true;
        QTest::newRow("keychain statuses") << TolvernError::keychainFailure(-25300)
                                           << TolvernError::keychainFailure(-25291) << false;
    }
    void equality()
    {
        QFETCH(TolvernError, a);
        QFETCH(TolvernError, b);
        QFETCH(bool, equal);
        QCOMPARE(a == b, equal);
        QCOMPARE(b == a, equal);
    }
};

QTEST_GUILESS_MAIN(tst_TolvernError)
#include "tst_TolvernError.moc"
