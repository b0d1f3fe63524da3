// "Check for Updates…" on the launched application with a feed configured: the item
// follows the updater, and choosing it reaches the feed and then the user.
#include "Ed25519TestKey.h"
#include "HttpPeer.h"
#include "ScriptedAlertPresenter.h"
#include "WebEngineTest.h"

#include "platform/AppcastFeed.h"
#include "platform/BundleInfo.h"
#include "platform/Settings.h"
#include "shell/SorvaneApp.h"
#include "shell/SorvaneCommands.h"
#include "shell/UpdaterService.h"

#include <QAction>
#include <QtTest>

class tst_UpdateMenu : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void checkFromTheMenu()
    {
        Settings &settings = Settings::shared();
        settings.setValue(QStringLiteral("hasOpenedWelcomeDoc"), true);
        settings.setValue(QStringLiteral("hasPromptedForDefaultHandler"), true);
        settings.setValue(QStringLiteral("restoreSession"), false);

        HttpPeer peer;
        Ed25519TestKey key;
        // Only an older release: the check ends with "up to date".
        const QByteArray feed = "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:sorvane=\""
            + AppcastFeed::namespaceUri.toUtf8()
            + "\"><channel><item><sorvane:version>1.0.0</sorvane:version><enclosure url=\""
            + peer.url(QStringLiteral("/old.tar.gz")).toEncoded() + "\" length=\"10\" sorvane:edSignature=\"x\"/>"
            + "</item></channel></rss>";
        peer.route("/appcast.xml", {200, feed});
        BundleInfo::setInfoForTesting(QVariantMap{
            {QStringLiteral("CFBundleShortVersionString"), QStringLiteral("1.2.0")},
            {QStringLiteral("SUFeedURL"), peer.url(QStringLiteral("/appcast.xml")).toString()},
            {QStringLiteral("SUPublicEDKey"), key.publicKeyBase64()}});
        ScriptedAlertPresenter alerts;

        AppDelegate::LaunchEnvironment environment;
        environment.executablePath = QStringLiteral("/usr/local/bin/sorvane");
        {
            SorvaneApp app({}, environment);
            app.launch();
            QAction *check = app.commands()->action(QStringLiteral("Check for Updates…"));
            QVERIFY(check);
            QTRY_VERIFY(check->isEnabled());
            QVERIFY(peer.requests().isEmpty()); // nothing is fetched until asked

            check->trigger();
            QVERIFY(!check->isEnabled()); // one cycle at a time
            QTRY_VERIFY_WITH_TIMEOUT(!alerts.alerts.isEmpty(), 30000);
            QCOMPARE(alerts.alerts.size(), 1);
            QCOMPARE(alerts.alerts.constFirst().messageText, QStringLiteral("You're up to date!"));
            QCOMPARE(peer.requests().size(), 1);
            QCOMPARE(peer.requests().constFirst().target, QByteArray("/appcast.xml"));
            QTRY_VERIFY(check->isEnabled());
            QVERIFY(app.updaterService().statusMessage().isEmpty());
        }
        BundleInfo::setInfoForTesting(std::nullopt);
    }
};

SORVANE_WEBENGINE_TEST_MAIN(tst_UpdateMenu)
#include "tst_UpdateMenu.moc"
