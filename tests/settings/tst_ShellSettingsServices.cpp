#include "TestEnvironment.h"

#include "ServicePeer.h"

#include "diagnostics/DiagnosticUploader.h"
#include "documents/DocumentManager.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "settings/DiagnosticErrorModal.h"
#include "settings/DiagnosticSuccessModal.h"
#include "settings/DiagnosticsSection.h"
#include "settings/SettingsView.h"
#include "shell/ShellSettingsServices.h"
#include "shell/SorvaneApp.h"
#include "shell/UpdaterService.h"

#include <QAbstractButton>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QTabWidget>
#include <QApplication>
#include <QtTest>

namespace {
class RecordingDiagnostics : public DiagnosticsSeam
{
public:
    QStringList events;
    int setups = 0;
    int resets = 0;
    bool setUp = false;
    void setupAnalytics() override
    {
        ++setups;
        setUp = true;
    }
    void resetAnalytics() override { ++resets; }
    bool analyticsSetUpThisLaunch() const override { return setUp; }
    void track(const QString &event, const QVariantMap &) override { events << event; }
};

class ScriptedAccount : public AccountIntegrationSeam
{
public:
    QString id;
    std::function<void(const QString &)> callback;
    QString accountID() const override { return id; }
    void setAccountIDChangedCallback(std::function<void(const QString &)> changed) override
    {
        callback = std::move(changed);
    }
    void change(const QString &newID)
    {
        id = newID;
        if (callback)
            callback(newID);
    }
};

class RecordingLibrary : public AccountLibrarySeam
{
public:
    QList<bool> consentWrites;
    void setErrorTelemetryEnabled(bool enabled) override { consentWrites << enabled; }
};
} // namespace

class tst_ShellSettingsServices : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { Settings::shared().remove(SettingsKeys::analyticsOptOut); }

    // The Settings command opens one window and brings the same one back.
    void oneWindowRaised()
    {
        RecordingDiagnostics diagnostics;
        LaunchSeams seams;
        seams.diagnostics = &diagnostics;
        SorvaneApp app(seams);
        QVERIFY(!app.settingsWindow());
        app.showSettingsWindow();
        SettingsView *window = app.settingsWindow();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        app.showSettingsWindow();
        QCOMPARE(app.settingsWindow(), window);
        QCOMPARE(diagnostics.events.count(QStringLiteral("settings_viewed")), 1);
        window->tabs()->setCurrentIndex(SettingsView::About);
        window->close();
        QTRY_VERIFY(!app.settingsWindow());
        // Opened again, it starts on the first tab.
        app.showSettingsWindow();
        QVERIFY(app.settingsWindow());
        QVERIFY(app.settingsWindow()->isVisible());
        QCOMPARE(app.settingsWindow()->tabs()->currentIndex(), int(SettingsView::General));
        QCOMPARE(diagnostics.events.count(QStringLiteral("settings_viewed")), 2);
    }

    void signOutClosesTheWindow()
    {
        ScriptedAccount account;
        account.id = QStringLiteral("ta_1");
        LaunchSeams seams;
        seams.accountIntegration = &account;
        SorvaneApp app(seams);
        app.showSettingsWindow();
        QVERIFY(QTest::qWaitForWindowExposed(app.settingsWindow()));
        account.change(QString());
        QVERIFY(!app.settingsWindow()->isVisible());
    }

    void servicesReachTheSeams()
    {
        RecordingDiagnostics diagnostics;
        diagnostics.setUp = true;
        ScriptedAccount account;
        RecordingLibrary library;
        LaunchSeams seams;
        seams.diagnostics = &diagnostics;
        seams.accountIntegration = &account;
        seams.accountLibrary = &library;
        UpdaterService updater;
        {
            ShellSettingsServices services(seams, updater);
            QSignalSpy changes(&services, &SettingsServices::accountIDChanged);
            account.change(QStringLiteral("ta_2"));
            QCOMPARE(services.accountID(), QStringLiteral("ta_2"));
            QCOMPARE(changes.count(), 1);
            services.resetAnalytics();
            services.setErrorTelemetryEnabled(false);
            QVERIFY(services.analyticsSetUpThisLaunch());
            QCOMPARE(services.updaterConfigured(), updater.hasController());
        }
        QCOMPARE(diagnostics.resets, 1);
        QCOMPARE(library.consentWrites, QList<bool>{false});
        // Gone services are no longer called back.
        QVERIFY(!account.callback);
    }

    // The section's report button over the shell's services: the shared uploader
    // sends to the service the environment names and the modal shows its answer.
    void reportThroughTheService_data()
    {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");

        QTest::newRow("the code") << true << 200 << QByteArray(R"({"short_code":"SV-4821"})") << "SV-4821" << "";
        QTest::newRow("the server's message") << true << 500 << QByteArray(R"({"message":"Reports are paused."})")
                                              << "" << "Reports are paused.";
        QTest::newRow("signed out: no button") << false << 0 << QByteArray() << "" << "";
    }
    void reportThroughTheService()
    {
        QFETCH(bool, signedIn);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, code);
        QFETCH(QString, message);

        ServicePeer peer;
        QVERIFY2(peer.start(), qPrintable(peer.errorString()));
        qputenv("SORVANE_IDENTITY_URL", peer.url().toString().toUtf8());
        if (signedIn)
            DiagnosticUploader::shared().setSessionProvider([] { return std::optional<QString>("tvs_settings"); });
        if (status)
            peer.script(QStringLiteral("/diagnostics"), {{status, body}});

        LaunchSeams seams;
        UpdaterService updater;
        ShellSettingsServices services(seams, updater);
        DocumentManager documents;
        QWidget window;
        auto *section = new DiagnosticsSection(services, documents, &window);
        (new QVBoxLayout(&window))->addWidget(section);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(section->sendButton()->isVisible(), signedIn);
        QCOMPARE(section->signInNote()->isVisible(), !signedIn);
        if (signedIn) {
            QTest::mouseClick(section->sendButton(), Qt::LeftButton);
            QVERIFY(QTest::qWaitFor([&] { return section->successModal() || section->errorModal(); }, 30000));
            if (!code.isEmpty()) {
                QVERIFY(section->successModal());
                QCOMPARE(section->successModal()->code(), code);
            } else {
                QVERIFY(section->errorModal());
                QCOMPARE(section->errorModal()->message(), message);
            }
            const QList<QJsonObject> reports = peer.requests(QStringLiteral("/diagnostics"));
            QCOMPARE(reports.size(), 1);
            QCOMPARE(reports.first().value("headers").toObject().value("authorization").toString(),
                     QStringLiteral("Bearer tvs_settings"));
            QVERIFY(!section->isSending());
        }
        DiagnosticUploader::shared().setSessionProvider({});
        qunsetenv("SORVANE_IDENTITY_URL");
    }
};

SORVANE_TEST_MAIN(tst_ShellSettingsServices)
#include "tst_ShellSettingsServices.moc"
