#include "AccountTestBridge.h"
#include "AwaitTask.h"
#include "TestEnvironment.h"

#include "account/SignInStateService.h"
#include "diagnostics/Analytics.h"
#include "diagnostics/DiagnosticLogBuffer.h"
#include "diagnostics/DiagnosticRedaction.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <functional>

using namespace AccountTest;

using MakeError = std::function<TolvernError()>;
Q_DECLARE_METATYPE(MakeError)

class tst_SignInStateService : public QObject
{
    Q_OBJECT

    IdentityPeer *m_identity = nullptr;
    QNetworkAccessManager m_network;
    std::shared_ptr<InMemoryStorage> m_storage;
    std::unique_ptr<TolvernAccountBridge> m_bridge;
    TrackedEvents m_tracked;

    // A bridge restored to an account with this id and e-mail (no request is needed:
    // the stored session has no refresh token).
    TolvernAccountBridge &signedInBridge(const QString &id, const QString &mail)
    {
        m_storage = std::make_shared<InMemoryStorage>();
        StoredSession session = stored(m_identity->openSession(), QDateTime::currentDateTimeUtc().addDays(30));
        session.refreshToken.reset();
        session.account = TolvernAccount{TolvernAccountID{id}, mail, std::nullopt};
        store(*m_storage, session);
        m_bridge = std::make_unique<TolvernAccountBridge>(config(&m_network, m_identity->baseUrl()),
                                                          dependencies(m_storage));
        awaitTask(m_bridge->restore());
        return *m_bridge;
    }

private Q_SLOTS:
    void init()
    {
        m_identity = new IdentityPeer(this);
        m_tracked.events.clear();
    }

    void cleanup()
    {
        m_bridge.reset();
        delete m_identity;
        m_identity = nullptr;
    }

    void displayName_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("mail");
        QTest::addColumn<QString>("shown");
        QTest::newRow("13 characters whole") << "ta_0123456789" << "" << "ta_0123456789";
        QTest::newRow("14 characters shortened") << "ta_01234567890" << "" << "ta_012345...7890";
        QTest::newRow("usual identifier") << accountID << "" << "ta_0190a1...1a2b";
        QTest::newRow("e-mail wins") << accountID << email << email;
    }

    void displayName()
    {
        QFETCH(QString, id);
        QFETCH(QString, mail);
        QFETCH(QString, shown);
        const std::unique_ptr<SignInStateService> service = SignInStateService::make(signedInBridge(id, mail));
        QCOMPARE(service->accountDisplayName(), shown);
        QVERIFY(service->accountDisplayName().size() <= std::max<qsizetype>(16, mail.size()));
    }

    void signedOutDisplayName()
    {
        m_bridge = std::make_unique<TolvernAccountBridge>(config(&m_network, m_identity->baseUrl()),
                                                          dependencies(std::make_shared<InMemoryStorage>()));
        const std::unique_ptr<SignInStateService> service = SignInStateService::make(*m_bridge);
        QCOMPARE(service->accountDisplayName(), QStringLiteral("Not signed in"));
        QVERIFY(!service->isAuthenticated());
        QVERIFY(!service->isAuthenticating());
    }

    void madeWhileSignedInReadsSignedInAtOnce()
    {
        TolvernAccountBridge &bridge = signedInBridge(accountID, email);
        const std::unique_ptr<SignInStateService> service = SignInStateService::make(bridge);
        // Before any queued mapping has had a chance to run.
        QVERIFY(service->isAuthenticated());
        QCOMPARE(service->tolvernAccountID(), accountID);
        QCOMPARE(service->accountEmail(), email);

        // Unchanged values announce nothing when the queued mapping repeats them.
        QSignalSpy authenticated(service.get(), &SignInStateService::isAuthenticatedChanged);
        QSignalSpy id(service.get(), &SignInStateService::tolvernAccountIDChanged);
        QCoreApplication::processEvents();
        QCOMPARE(authenticated.count(), 0);
        QCOMPARE(id.count(), 0);

        // Signed out: everything cleared, each told once.
        awaitTask(bridge.manager().signOut());
        QTRY_VERIFY(!service->isAuthenticated());
        QCOMPARE(authenticated.count(), 1);
        QCOMPARE(id.count(), 1);
        QVERIFY(service->tolvernAccountID().isEmpty());
        QVERIFY(service->accountEmail().isEmpty());
        QCOMPARE(service->accountDisplayName(), QStringLiteral("Not signed in"));
    }

    void failedSignInKeepsTheAccount()
    {
        TolvernAccountBridge &bridge = signedInBridge(accountID, email);
        const std::unique_ptr<SignInStateService> service = SignInStateService::make(bridge);
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        // The auth server's address answers nothing: the library fails the sign-in.
        const SignInResult result = awaitTask(service->beginSignIn(OAuthDriver::ProviderHint::google));
        QCOMPARE(result.kind, SignInResult::Kind::failed);
        QTRY_COMPARE(bridge.manager().state().kind(), TolvernAccountManager::State::Kind::failed);
        const TolvernError error = *bridge.manager().state().error();
        QCOMPARE(result.message, error.errorDescription());
        QTRY_VERIFY(!service->isAuthenticating());
        QVERIFY(service->isAuthenticated());
        QCOMPARE(service->tolvernAccountID(), accountID);
        QCOMPARE(service->accountEmail(), email);

        const QString reason = SignInStateService::rendering(error);
        QCOMPARE(m_tracked.events.size(), 2);
        QCOMPARE(m_tracked.events.at(0).first, QStringLiteral("auth_started"));
        QCOMPARE(m_tracked.events.at(0).second, (QVariantMap{{"purpose", "sign_in"}, {"auth_transport", "aswas"}}));
        QCOMPARE(m_tracked.events.at(1).first, QStringLiteral("auth_failed"));
        QCOMPARE(m_tracked.events.at(1).second, (QVariantMap{{"reason", reason}, {"auth_transport", "aswas"}}));
        const DiagnosticLogEntry last = DiagnosticLogBuffer::shared().entries().last();
        QCOMPARE(last.level, QStringLiteral("error"));
        QCOMPARE(last.category, QStringLiteral("auth"));
        // The log keeps it redacted, like every line.
        QCOMPARE(last.msg, DiagnosticRedaction::redact(QStringLiteral("Sign-in failed: ") + reason
                                                       + QStringLiteral(" step=onboarding_s6")));
        QVERIFY(last.exceptionMessage.has_value());
    }

    void cannotStart_data()
    {
        QTest::addColumn<bool>("window");
        QTest::addColumn<bool>("bridge");
        QTest::newRow("no window") << false << true;
        QTest::newRow("bridge gone") << true << false;
    }

    void cannotStart()
    {
        QFETCH(bool, window);
        QFETCH(bool, bridge);
        m_bridge = std::make_unique<TolvernAccountBridge>(config(&m_network, m_identity->baseUrl()),
                                                          dependencies(std::make_shared<InMemoryStorage>()));
        const std::unique_ptr<SignInStateService> service = SignInStateService::make(*m_bridge);
        QWidget shown;
        if (window) {
            shown.show();
            QVERIFY(QTest::qWaitForWindowExposed(&shown));
        }
        if (!bridge)
            m_bridge.reset();
        QSignalSpy authenticating(service.get(), &SignInStateService::isAuthenticatingChanged);
        const SignInResult result = awaitTask(service->beginSignIn(OAuthDriver::ProviderHint::email));
        QCOMPARE(result, SignInResult::failed(QStringLiteral("Could not open sign-in. Please try again.")));
        QCOMPARE(authenticating.count(), 0);
        QVERIFY(m_tracked.events.isEmpty());
    }

    void rendering_data()
    {
        QTest::addColumn<MakeError>("error");
        QTest::addColumn<QString>("text");
        QTest::newRow("no values") << MakeError([] { return TolvernError::networkUnavailable(); })
                                   << "networkUnavailable";
        QTest::newRow("status and code")
            << MakeError([] { return TolvernError::serverError(400, QStringLiteral("invalid_grant")); })
            << "serverError(status: 400, code: \"invalid_grant\")";
        QTest::newRow("absent code") << MakeError([] { return TolvernError::serverError(503); })
                                     << "serverError(status: 503, code: nil)";
        QTest::newRow("keychain status") << MakeError([] { return TolvernError::keychainFailure(-25308); })
                                         << "keychainFailure(status: -25308)";
        QTest::newRow("reason")
            << MakeError([] { return TolvernError::authorizationFailed(QStringLiteral("state_mismatch")); })
            << "authorizationFailed(reason: \"state_mismatch\")";
        QTest::newRow("cancelled") << MakeError([] { return TolvernError::authorizationCancelled(); })
                                   << "authorizationCancelled";
    }

    void rendering()
    {
        QFETCH(MakeError, error);
        QFETCH(QString, text);
        QCOMPARE(SignInStateService::rendering(error()), text);
    }
};

SORVANE_TEST_MAIN(tst_SignInStateService)
#include "tst_SignInStateService.moc"
