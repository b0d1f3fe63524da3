#include "TestEnvironment.h"

#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "settings/SettingsView.h"
#include "shell/ShellSettingsServices.h"
#include "shell/SorvaneApp.h"
#include "shell/UpdaterService.h"

#include <QAbstractButton>
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
};

SORVANE_TEST_MAIN(tst_ShellSettingsServices)
#include "tst_ShellSettingsServices.moc"
