// The consent records of a new Apple account against the identity stand-in: the
// proofs and headers on the wire, the answer for every kind of reply, the marketing
// capture's opt-in rules, and the sessions that must never reach the service.
#include "ConsentTestBench.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTest>

using namespace ConsentTestBench;

Q_DECLARE_METATYPE(std::optional<QString>)

class tst_SignupConsentService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordsCarryTheSessionAndItsProof();
    void submit_data();
    void submit();
    void refusedWithoutRequest_data();
    void refusedWithoutRequest();
    void expiringSession_data();
    void expiringSession();
    void consentMethod_data();
    void consentMethod();
    void captureURL_data();
    void captureURL();
};

void tst_SignupConsentService::recordsCarryTheSessionAndItsProof()
{
    Bench bench;
    // The stand-in's own answer: a new account of its making.
    bench.peer.setAppleIsNewUser(true);
    QVERIFY(bench.signIn());
    Bench::setRegion(QStringLiteral("US"));
    const TolvernAccountBridge::Session session = *bench.bridge->currentSession();
    const QString tvs = session.tvs;

    QVERIFY(awaitTask(SignupConsentService::submit(*bench.bridge, true, false)));

    QCOMPARE(wireOrder(bench.peer), (QStringList{"terms", "privacy", "capture"}));
    const QList<IdentityPeer::LoggedRequest> consents = bench.peer.requestsTo(IdentityPeer::kConsents);
    for (const IdentityPeer::LoggedRequest &entry : consents) {
        QCOMPARE(entry.request.method, QByteArray("POST"));
        QCOMPARE(entry.request.headers.value("authorization"), "Bearer " + tvs.toUtf8());
        QCOMPARE(entry.request.headers.value("content-type"), QByteArray("application/json"));
        QVERIFY(entry.hasProof);
        // htm, htu, ath and the signature, checked by the stand-in.
        QCOMPARE(entry.proofError, QString());
        QCOMPARE(entry.proofThumbprint, bench.bridge->manager().dpopThumbprint().value_or(QString()));
        const QJsonObject body = bodyOf(entry);
        QCOMPARE(body.size(), 4);
        QCOMPARE(body.value("version").toString(), QStringLiteral("v1-2026-06"));
        QCOMPARE(body.value("surface").toString(), QStringLiteral("sorvane_mac_siwa_confirm"));
        QCOMPARE(body.value("verbatim_text").toString(),
                 QStringLiteral("By creating an account you agree to the Terms of Service and Privacy Policy"));
    }

    const IdentityPeer::LoggedRequest capture = bench.peer.requestsTo(IdentityPeer::kContactsCapture).value(0);
    QVERIFY(!capture.request.headers.contains("authorization"));
    QVERIFY(!capture.request.headers.contains("dpop"));
    QCOMPARE(capture.request.headers.value("content-type"), QByteArray("application/json"));
    const QJsonObject expected{
        {"email", session.email},
        {"list_slug", "sorvane_marketing"},
        {"app_slug", "sorvane"},
        {"source_type", "signup"},
        {"consent_method", "default_checked"},
        {"consent_text", "Send me app updates & offers from Tolvern Studios"},
        {"consent_version", "v1-2026-06"},
        {"tolvern_account_id", session.accountID},
    };
    QVERIFY(session.accountID.startsWith(QLatin1String("ta_")));
    QCOMPARE(bodyOf(capture), expected);
}

// Replies are statuses; 0 drops the connection, -1 leaves the stand-in's own answer.
void tst_SignupConsentService::submit_data()
{
    QTest::addColumn<int>("terms");
    QTest::addColumn<int>("privacy");
    QTest::addColumn<int>("capture");
    QTest::addColumn<QString>("region");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("touched");
    QTest::addColumn<std::optional<QString>>("accountID");
    QTest::addColumn<std::optional<QString>>("email");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QStringList>("wire");
    // The capture's e-mail, method and account id; empty when none is sent.
    QTest::addColumn<QString>("sentEmail");
    QTest::addColumn<QString>("sentMethod");
    QTest::addColumn<QString>("sentAccountID");
    QTest::addColumn<QStringList>("logged");

    const std::optional<QString> id = newAccountID;
    const std::optional<QString> email = newAccountEmail;
    const QStringList both{"terms", "privacy"};
    const QStringList all{"terms", "privacy", "capture"};

    QTest::newRow("opted out") << -1 << -1 << -1 << "US" << false << true << id << email << true << both
                               << "" << "" << "" << QStringList();
    QTest::newRow("US, left checked") << -1 << -1 << -1 << "US" << true << false << id << email << true << all
                                      << newAccountEmail << "default_checked" << newAccountID << QStringList();
    QTest::newRow("US, unchecked and checked again")
        << -1 << -1 << -1 << "US" << true << true << id << email << true << all << newAccountEmail
        << "explicit_checkbox" << newAccountID << QStringList();
    QTest::newRow("elsewhere, checked") << -1 << -1 << -1 << "FR" << true << true << id << email << true << all
                                        << newAccountEmail << "explicit_checkbox" << newAccountID << QStringList();
    QTest::newRow("no region, checked untouched")
        << -1 << -1 << -1 << "" << true << false << id << email << true << all << newAccountEmail
        << "explicit_checkbox" << newAccountID << QStringList();
    QTest::newRow("both 409") << 409 << 409 << -1 << "US" << true << false << id << email << true << all
                              << newAccountEmail << "default_checked" << newAccountID << QStringList();
    QTest::newRow("201 is accepted") << 201 << 204 << -1 << "FR" << false << false << id << email << true << both
                                     << "" << "" << "" << QStringList();
    QTest::newRow("terms 500 still sends privacy")
        << 500 << -1 << -1 << "US" << true << false << id << email << false << both << "" << "" << ""
        << QStringList{"warn Consent terms failed: 500"};
    QTest::newRow("privacy 400") << -1 << 400 << -1 << "US" << true << false << id << email << false << both << ""
                                 << "" << "" << QStringList{"warn Consent privacy failed: 400"};
    QTest::newRow("both refused") << 503 << 401 << -1 << "FR" << true << true << id << email << false << both << ""
                                  << "" << ""
                                  << QStringList{"warn Consent terms failed: 503", "warn Consent privacy failed: 401"};
    QTest::newRow("redirect is no acceptance")
        << 302 << -1 << -1 << "FR" << false << false << id << email << false << both << "" << "" << ""
        << QStringList{"warn Consent terms failed: 302"};
    QTest::newRow("terms dropped") << 0 << -1 << -1 << "FR" << true << true << id << email << false
                                   << QStringList{"terms", "terms", "privacy"} << ""
                                   << "" << "" << QStringList{"warn Consent terms error: *"};
    QTest::newRow("capture 400 changes nothing")
        << -1 << -1 << 400 << "FR" << true << true << id << email << true << all << newAccountEmail
        << "explicit_checkbox" << newAccountID << QStringList{"warn Marketing capture failed: 400"};
    QTest::newRow("capture dropped changes nothing")
        << -1 << -1 << 0 << "FR" << true << true << id << email << true
        << QStringList{"terms", "privacy", "capture", "capture"} << newAccountEmail
        << "explicit_checkbox" << newAccountID << QStringList{"warn Marketing capture error: *"};
    QTest::newRow("e-mail of spaces") << -1 << -1 << -1 << "US" << true << false << id
                                      << std::optional<QString>(QStringLiteral(" \t \n ")) << true << both << ""
                                      << "" << "" << QStringList();
    QTest::newRow("e-mail trimmed") << -1 << -1 << -1 << "FR" << true << true << id
                                    << std::optional<QString>(QStringLiteral("  fern@example.com\n")) << true << all
                                    << newAccountEmail << "explicit_checkbox" << newAccountID << QStringList();
    QTest::newRow("account id without ta_")
        << -1 << -1 << -1 << "FR" << true << true << std::optional<QString>(QStringLiteral("acct_42")) << email
        << true << all << newAccountEmail << "explicit_checkbox" << "" << QStringList();
    QTest::newRow("empty account id") << -1 << -1 << -1 << "FR" << true << true << std::optional<QString>(QString()) << email
                                   << true << all << newAccountEmail << "explicit_checkbox" << "" << QStringList();
}

void tst_SignupConsentService::submit()
{
    QFETCH(int, terms);
    QFETCH(int, privacy);
    QFETCH(int, capture);
    QFETCH(QString, region);
    QFETCH(bool, checked);
    QFETCH(bool, touched);
    QFETCH(std::optional<QString>, accountID);
    QFETCH(std::optional<QString>, email);
    QFETCH(bool, answer);
    QFETCH(QStringList, wire);
    QFETCH(QString, sentEmail);
    QFETCH(QString, sentMethod);
    QFETCH(QString, sentAccountID);
    QFETCH(QStringList, logged);

    Bench bench;
    QVERIFY(bench.signInNewAccount(accountID, email));
    Bench::setRegion(region);
    if (terms >= 0 || privacy >= 0)
        enqueueReply(bench.peer, IdentityPeer::kConsents, terms >= 0 ? terms : 200);
    if (privacy >= 0)
        enqueueReply(bench.peer, IdentityPeer::kConsents, privacy);
    if (capture >= 0)
        enqueueReply(bench.peer, IdentityPeer::kContactsCapture, capture);
    const qsizetype mark = logMark();

    QCOMPARE(awaitTask(SignupConsentService::submit(*bench.bridge, checked, touched)), answer);

    QCOMPARE(wireOrder(bench.peer), wire);
    const QJsonObject sent = bodyOf(bench.peer.requestsTo(IdentityPeer::kContactsCapture).value(0));
    QCOMPARE(sent.value("email").toString(), sentEmail);
    QCOMPARE(sent.value("consent_method").toString(), sentMethod);
    QCOMPARE(sent.value("tolvern_account_id").toString(), sentAccountID);
    QCOMPARE(sent.contains("tolvern_account_id"), !sentAccountID.isEmpty());

    const QStringList lines = consentLines(mark);
    QCOMPARE(lines.size(), logged.size());
    for (qsizetype i = 0; i < logged.size(); ++i) {
        const QString &want = logged.at(i);
        if (want.endsWith(QLatin1Char('*')))
            QVERIFY2(lines.at(i).startsWith(want.chopped(1)) && lines.at(i).size() > want.size(), qPrintable(lines.at(i)));
        else
            QCOMPARE(lines.at(i), want);
    }
}

void tst_SignupConsentService::refusedWithoutRequest_data()
{
    QTest::addColumn<bool>("signIn");
    QTest::addColumn<QString>("token");

    QTest::newRow("signed out") << false << QString();
    QTest::newRow("token without tvs_") << true << QStringLiteral("session-9f2c");
}

void tst_SignupConsentService::refusedWithoutRequest()
{
    QFETCH(bool, signIn);
    QFETCH(QString, token);

    Bench bench;
    if (signIn) {
        bench.enqueueAppleSession(token, QStringLiteral("rt_consent"), QDateTime::currentDateTimeUtc().addDays(30));
        QVERIFY(bench.signIn());
        QCOMPARE(bench.bridge->currentSession()->tvs, token);
    }
    const qsizetype mark = logMark();

    QVERIFY(!awaitTask(SignupConsentService::submit(*bench.bridge, true, false)));

    QCOMPARE(wireOrder(bench.peer), QStringList());
    QCOMPARE(consentLines(mark), QStringList{"info Missing TVS; consent capture not available."});
}

// A session that has expired is renewed first; when it cannot be, nothing is sent
// rather than a token the service would refuse.
void tst_SignupConsentService::expiringSession_data()
{
    QTest::addColumn<int>("refresh");
    QTest::addColumn<bool>("answer");

    QTest::newRow("renewed") << -1 << true;
    QTest::newRow("renewal refused") << 400 << false;
    QTest::newRow("renewal dropped") << 0 << false;
}

void tst_SignupConsentService::expiringSession()
{
    QFETCH(int, refresh);
    QFETCH(bool, answer);

    Bench bench;
    const IdentityPeer::Session issued = bench.peer.openSession();
    bench.enqueueAppleSession(issued.tvs, issued.refreshToken, QDateTime::currentDateTimeUtc().addSecs(-60));
    QVERIFY(bench.signIn());
    if (refresh == 400)
        bench.peer.enqueue(IdentityPeer::kRefresh, IdentityPeer::jsonReply(400, "{\"error\":\"invalid_grant\"}"));
    else if (refresh == 0)
        enqueueReply(bench.peer, IdentityPeer::kRefresh, 0);

    QCOMPARE(awaitTask(SignupConsentService::submit(*bench.bridge, false, false)), answer);

    const QList<IdentityPeer::LoggedRequest> consents = bench.peer.requestsTo(IdentityPeer::kConsents);
    QCOMPARE(consents.size(), answer ? 2 : 0);
    for (const IdentityPeer::LoggedRequest &entry : consents) {
        const QByteArray bearer = entry.request.headers.value("authorization");
        QVERIFY(bearer != "Bearer " + issued.tvs.toUtf8());
        QVERIFY(bench.peer.isLive(QString::fromUtf8(bearer.mid(7))));
        QCOMPARE(entry.proofError, QString());
    }
}

void tst_SignupConsentService::consentMethod_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("touched");
    QTest::addColumn<QString>("method");

    QTest::newRow("US, untouched") << "US" << true << false << "default_checked";
    QTest::newRow("US, touched") << "US" << true << true << "explicit_checkbox";
    QTest::newRow("US, unchecked") << "US" << false << false << "explicit_checkbox";
    QTest::newRow("Canada, untouched") << "CA" << true << false << "explicit_checkbox";
    QTest::newRow("lower-case us") << "us" << true << false << "explicit_checkbox";
    QTest::newRow("no region") << "" << true << false << "explicit_checkbox";
}

void tst_SignupConsentService::consentMethod()
{
    QFETCH(QString, region);
    QFETCH(bool, checked);
    QFETCH(bool, touched);
    QFETCH(QString, method);

    Bench::setRegion(region);
    QCOMPARE(SignupConsentService::consentMethod(checked, touched), method);
    SignupConsentService::setRegionSource({});
}

// Only https, or plain http to this machine, may replace the built-in service.
void tst_SignupConsentService::captureURL_data()
{
    QTest::addColumn<QByteArray>("configured");
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("warned");

    const QString builtIn = QStringLiteral("https://marketing.tolvern.dev/api/v1/contacts/capture");
    QTest::newRow("unset") << QByteArray() << builtIn << false;
    QTest::newRow("https") << QByteArray("https://mkt.example.org/") << "https://mkt.example.org/api/v1/contacts/capture"
                           << false;
    QTest::newRow("https with a path") << QByteArray("https://example.org/base")
                                       << "https://example.org/base/api/v1/contacts/capture" << false;
    QTest::newRow("http loopback") << QByteArray("http://127.0.0.1:8123") << "http://127.0.0.1:8123/api/v1/contacts/capture"
                                   << false;
    QTest::newRow("http localhost") << QByteArray("http://localhost:8123")
                                    << "http://localhost:8123/api/v1/contacts/capture" << false;
    QTest::newRow("http IPv6 loopback") << QByteArray("http://[::1]:8123") << "http://[::1]:8123/api/v1/contacts/capture"
                                        << false;
    QTest::newRow("http elsewhere") << QByteArray("http://mkt.example.org") << builtIn << true;
    QTest::newRow("http to a name ending in localhost") << QByteArray("http://localhost.example.org") << builtIn << true;
    QTest::newRow("other scheme") << QByteArray("ftp://127.0.0.1") << builtIn << true;
    QTest::newRow("no host") << QByteArray("https:///path") << builtIn << true;
}

void tst_SignupConsentService::captureURL()
{
    QFETCH(QByteArray, configured);
    QFETCH(QString, url);
    QFETCH(bool, warned);

    const QByteArray saved = qgetenv(SignupConsentService::marketingURLVariable);
    qputenv(SignupConsentService::marketingURLVariable, configured);
    const QRegularExpression warning("Ignoring.*SORVANE_MARKETING_URL");
    if (warned)
        QTest::ignoreMessage(QtWarningMsg, warning);
    else
        QTest::failOnWarning(warning);
    const QUrl resolved = SignupConsentService::captureURL();
    qputenv(SignupConsentService::marketingURLVariable, saved);

    QCOMPARE(resolved.toString(), url);
}

SORVANE_TEST_MAIN(tst_SignupConsentService)
#include "tst_SignupConsentService.moc"
