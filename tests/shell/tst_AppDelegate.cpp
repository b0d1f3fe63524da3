#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"
#include "WebEngineTest.h"
#include "documents/DocumentManager.h"
#include "documents/DocumentSessionKeeper.h"
#include "documents/TabDocument.h"
#include "export/DocumentExporter.h"
#include "platform/Settings.h"
#include "platform/XdgMime.h"
#include "preview/ThemeService.h"
#include "shell/AppDelegate.h"
#include "shell/MenuSanitizerDelegate.h"
#include "shell/QuitGate.h"
#include "shell/SorvaneApp.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

namespace {
// Every seam in one recorder: start-up calls land in one ordered log.
class RecordingSeams : public WorkspaceSeam,
                       public DiagnosticsSeam,
                       public AccountLibrarySeam,
                       public AccountIntegrationSeam
{
public:
    QStringList log;
    bool bridge = false;
    bool resumes = false;
    bool sessionTakesCallbacks = true;
    QList<std::pair<QString, QVariantMap>> events;

    LaunchSeams seams() { return {this, this, this, this}; }

    void attachDocumentManager(DocumentManager *manager) override
    {
        log << QStringLiteral("workspace.attach %1").arg(manager ? "manager" : "none");
    }
    void installCrashCapture() override { log << QStringLiteral("crashCapture.install"); }
    void setupAnalytics() override { log << QStringLiteral("analytics.setup"); }
    void track(const QString &event, const QVariantMap &properties) override { events.append({event, properties}); }
    QString installID(const QString &appSlug) override
    {
        log << QStringLiteral("installMetrics.installID ") + appSlug;
        return QStringLiteral("install-1");
    }
    void configureErrorTelemetry(const TelemetryContext &context) override
    {
        log << QStringLiteral("telemetry.configure %1 %2 %3 %4")
                   .arg(context.appSlug, context.platform, context.installId, context.identityURL.toString());
    }
    void startErrorTelemetry() override { log << QStringLiteral("telemetry.start"); }
    void startRegionProbe(const QUrl &url) override { log << QStringLiteral("geoProbe ") + url.toString(); }
    void activateForAuthReturn() override { log << QStringLiteral("activateForAuthReturn"); }
    void createBridge() override { log << QStringLiteral("bridge.create"); }
    void attachSession() override { log << QStringLiteral("session.attach"); }
    void makeSignInState() override { log << QStringLiteral("signInState.make"); }
    bool hasBridge() const override { return bridge; }
    bool resumeSignIn(const QUrl &url) override
    {
        log << QStringLiteral("resume ") + url.toString();
        return resumes;
    }
    bool handleOpenURL(const QUrl &url) override
    {
        const bool consumed = sessionTakesCallbacks && AccountIntegrationSeam::handleOpenURL(url);
        log << QStringLiteral("handleOpenURL %1 %2").arg(url.toString(), consumed ? "consumed" : "passed");
        return consumed;
    }
};

// Answers xdg-mime in place of the desktop and keeps the calls.
struct ScriptedXdgMime {
    QString currentDefault;
    bool queryStarts = true;
    int setDefaultExit = 0;
    QList<QStringList> calls;

    ScriptedXdgMime()
    {
        XdgMime::setRunner([this](const QStringList &arguments, const XdgMime::Completion &completion) {
            calls.append(arguments);
            XdgMime::Result result;
            result.started = arguments.first() != QLatin1String("query") || queryStarts;
            result.exitCode = result.started ? 0 : -1;
            if (arguments.first() == QLatin1String("query"))
                result.output = currentDefault;
            else if (setDefaultExit != 0) {
                result.exitCode = setDefaultExit;
                result.error = QStringLiteral("xdg-mime: no writable mimeapps.list");
            }
            completion(result);
        });
    }
    ~ScriptedXdgMime() { XdgMime::setRunner({}); }
};

AppDelegate::LaunchEnvironment environmentAt(const QString &path, const QString &appImage = QString())
{
    AppDelegate::LaunchEnvironment environment;
    environment.executablePath = path;
    environment.appImagePath = appImage;
    environment.welcomeDelayMs = 0;
    environment.installWarningDelayMs = 0;
    environment.defaultHandlerDelayMs = 0;
    return environment;
}

const QString stablePath = QStringLiteral("/usr/local/bin/sorvane");

void forgetLaunches()
{
    Settings &settings = Settings::shared();
    for (const char *key : {"hasOpenedWelcomeDoc", "hasWarnedAboutInstallLocation", "hasPromptedForDefaultHandler",
                            "distractionFree", "showWorkspace"})
        settings.remove(QString::fromLatin1(key));
    QFile::remove(QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(QStringLiteral("SessionState.json")));
    settings.setValue(QStringLiteral("restoreSession"), false);
}

QString welcomeText()
{
    QFile file(AppDelegate::welcomeResource);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Keeps every Qt message logged while it lives, in place of the console.
class MessageCapture
{
public:
    struct Message {
        QString category;
        QString text;
    };
    MessageCapture()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&MessageCapture::handle);
    }
    ~MessageCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QList<Message> messages;

    QStringList inCategory(const char *category) const
    {
        QStringList texts;
        for (const Message &message : messages)
            if (message.category == QLatin1String(category))
                texts << message.text;
        return texts;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext &context, const QString &text)
    {
        s_current->messages.append({QString::fromLatin1(context.category ? context.category : "default"), text});
    }
    static inline MessageCapture *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
};

// Runs the delayed launch steps (all shortened to 0 ms) to their end.
void settle()
{
    QTest::qWait(50);
}
} // namespace

class tst_AppDelegate : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { forgetLaunches(); }

    // The initialiser builds the delegate first, then the account library's telemetry,
    // the region probe and the account objects; launching adds crash capture,
    // analytics and the folder search, then shows the window.
    void startUpRunsInOrder()
    {
        ScriptedAlertPresenter alerts;
        ScriptedXdgMime xdg;
        xdg.currentDefault = AppDelegate::desktopId;
        RecordingSeams recorder;
        Settings::shared().setValue(QStringLiteral("distractionFree"), true);
        SorvaneApp app(recorder.seams(), environmentAt(stablePath));
        QVERIFY(!Settings::shared().boolValue(QStringLiteral("distractionFree"), true));
        const QString url = SorvaneApp::identityServiceURL().toString();
        QCOMPARE(recorder.log, (QStringList{
                                   QStringLiteral("installMetrics.installID sorvane"),
                                   QStringLiteral("telemetry.configure sorvane linux install-1 ") + url,
                                   QStringLiteral("telemetry.start"),
                                   QStringLiteral("geoProbe ") + url,
                                   QStringLiteral("bridge.create"),
                                   QStringLiteral("session.attach"),
                                   QStringLiteral("signInState.make"),
                               }));
        QVERIFY(!app.mainWindow());
        recorder.log.clear();
        app.launch();
        QCOMPARE(recorder.log, (QStringList{QStringLiteral("crashCapture.install"), QStringLiteral("analytics.setup"),
                                            QStringLiteral("workspace.attach manager")}));
        QVERIFY(app.delegate().appEntered());
        QVERIFY(app.mainWindow()->isVisible());
        QCOMPARE(app.delegate().mainWindow(), app.mainWindow());
    }

    // The window stays hidden until the app is entered, even when registered twice.
    void windowHiddenUntilEntered()
    {
        ScriptedAlertPresenter alerts;
        ScriptedXdgMime xdg;
        AppDelegate delegate({}, environmentAt(stablePath));
        QuitGate &gate = delegate.quitGate();
        MainWindow window(delegate.documentManager(), [&gate] { return gate.requestQuit(); });
        window.show();
        delegate.registerMainWindow(&window);
        delegate.registerMainWindow(&window);
        QVERIFY(!window.isVisible());
        delegate.enterApp();
        QVERIFY(window.isVisible());
    }

    // First launch opens the welcome text as a clean untitled tab, once; a second
    // launch (or a second entry) does not open it again.
    void welcomeOpensOnce()
    {
        ScriptedAlertPresenter alerts;
        ScriptedXdgMime xdg;
        xdg.currentDefault = AppDelegate::desktopId;
        QVERIFY(!welcomeText().isEmpty());
        {
            SorvaneApp app({}, environmentAt(stablePath));
            QSignalSpy opened(&app.delegate(), &AppDelegate::welcomeDocumentOpened);
            app.launch();
            DocumentManager &manager = app.delegate().documentManager();
            QCOMPARE(manager.documents().size(), 0); // not before the delay
            QVERIFY(opened.wait());
            QCOMPARE(manager.documents().size(), 1);
            TabDocument *welcome = manager.selectedDocument();
            QVERIFY(welcome);
            QCOMPARE(welcome->title(), QStringLiteral("Untitled"));
            QCOMPARE(welcome->text(), welcomeText());
            QVERIFY(!welcome->isModified());
            QVERIFY(Settings::shared().boolValue(QStringLiteral("hasOpenedWelcomeDoc")));
            app.delegate().enterApp();
            settle();
            QCOMPARE(manager.documents().size(), 1);
        }
        SorvaneApp again({}, environmentAt(stablePath));
        QSignalSpy opened(&again.delegate(), &AppDelegate::welcomeDocumentOpened);
        again.launch();
        settle();
        QCOMPARE(opened.count(), 0);
        QCOMPARE(again.delegate().documentManager().documents().size(), 0);
    }

    void welcomeLeavesNamedFileSelected_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<bool>("fileSelected");
        QTest::addColumn<int>("errors");
        QTest::newRow("no arguments") << QString() << false << 0;
        QTest::newRow("file named") << QStringLiteral("notes.md") << true << 0;
        QTest::newRow("named file missing") << QStringLiteral("gone.md") << false << 1;
    }

    // On the first launch the welcome tab opens beside the file named on the command
    // line without taking the selection from it; with nothing open it is selected.
    void welcomeLeavesNamedFileSelected()
    {
        QFETCH(QString, argument);
        QFETCH(bool, fileSelected);
        ScriptedAlertPresenter alerts;
        ScriptedXdgMime xdg;
        xdg.currentDefault = AppDelegate::desktopId;
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("notes.md")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("# notes\n");
        file.close();
        const QStringList arguments = argument.isEmpty() ? QStringList() : QStringList{dir.filePath(argument)};

        SorvaneApp app({}, environmentAt(stablePath));
        QSignalSpy opened(&app.delegate(), &AppDelegate::welcomeDocumentOpened);
        app.launch(arguments);
        QVERIFY(opened.wait());
        QTEST(int(alerts.alerts.size()), "errors");
        DocumentManager &manager = app.delegate().documentManager();
        const QList<TabDocument *> documents = manager.documents();
        QCOMPARE(documents.size(), fileSelected ? 2 : 1);
        TabDocument *welcome = documents.last();
        QCOMPARE(welcome->text(), welcomeText());
        QCOMPARE(manager.selectedDocument(), fileSelected ? documents.first() : welcome);
        if (fileSelected)
            QCOMPARE(documents.first()->fileURL(), QUrl::fromLocalFile(arguments.first()));
    }

    // A file on the command line does not make the previous session's unsaved tab go:
    // the session comes back first, then the file opens beside it.
    void sessionComesBackBeforeArguments()
    {
        ScriptedAlertPresenter alerts;
        ScriptedXdgMime xdg;
        xdg.currentDefault = AppDelegate::desktopId;
        Settings::shared().setValue(QStringLiteral("hasOpenedWelcomeDoc"), true);
        Settings::shared().setValue(QStringLiteral("restoreSession"), true);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.md"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("# a\n");
        file.close();
        {
            SorvaneApp first({}, environmentAt(stablePath));
            first.launch();
            first.delegate().documentManager().newDocument(QStringLiteral("unsaved draft"), false);
            first.delegate().documentManager().sessionKeeper().persistSessionState();
        }
        SorvaneApp second({}, environmentAt(stablePath));
        second.launch({path});
        const auto documents = second.delegate().documentManager().documents();
        QCOMPARE(documents.size(), 2);
        QCOMPARE(documents.at(0)->text(), QStringLiteral("unsaved draft"));
        QCOMPARE(documents.at(1)->fileURL(), QUrl::fromLocalFile(path));
        QCOMPARE(second.delegate().documentManager().selectedDocument(), documents.at(1));
    }

    // The offer comes when nobody or another program is the default; answering either
    // way records it, so a later launch never asks again.
    void defaultEditorOffer_data()
    {
        QTest::addColumn<QString>("currentDefault");
        QTest::addColumn<bool>("queryStarts");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("offered");
        QTest::addColumn<QString>("choice");
        QTest::newRow("another editor, set") << QStringLiteral("gedit.desktop") << true << 0 << true << QStringLiteral("set_default");
        QTest::newRow("another editor, not now") << QStringLiteral("gedit.desktop") << true << 1 << true << QStringLiteral("not_now");
        QTest::newRow("no default, dismissed") << QString() << true << -1 << true << QStringLiteral("not_now");
        QTest::newRow("xdg-mime missing") << QString() << false << 1 << true << QStringLiteral("not_now");
        QTest::newRow("already the default") << AppDelegate::desktopId << true << 0 << false << QString();
    }

    void defaultEditorOffer()
    {
        QFETCH(QString, currentDefault);
        QFETCH(bool, queryStarts);
        QFETCH(int, answer);
        QFETCH(bool, offered);
        QFETCH(QString, choice);
        Settings::shared().setValue(QStringLiteral("hasOpenedWelcomeDoc"), true);
        ScriptedAlertPresenter alerts;
        ScriptedXdgMime xdg;
        xdg.currentDefault = currentDefault;
        xdg.queryStarts = queryStarts;
        alerts.alertAnswers = {answer};
        RecordingSeams recorder;
        {
            SorvaneApp app(recorder.seams(), environmentAt(stablePath));
            app.launch();
            settle();
        }
        QCOMPARE(xdg.calls.first(), (QStringList{QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/markdown")}));
        QCOMPARE(alerts.alerts.size(), offered ? 1 : 0);
        QCOMPARE(Settings::shared().boolValue(QStringLiteral("hasPromptedForDefaultHandler")), offered);
        if (offered) {
            const AlertRequest &offer = alerts.alerts.first();
            QCOMPARE(offer.messageText, QStringLiteral("Set sorv.ane as your default Markdown editor?"));
            QCOMPARE(offer.informativeText, QStringLiteral("Double-clicking .md files will open them in sorv.ane."));
            QCOMPARE(offer.buttons, (QStringList{QStringLiteral("Set as Default"), QStringLiteral("Not Now")}));
            QCOMPARE(recorder.events.size(), 1);
            QCOMPARE(recorder.events.first().first, QStringLiteral("default_handler_prompt_viewed"));
            QCOMPARE(recorder.events.first().second.value(QStringLiteral("choice")).toString(), choice);
        }
        const QList<QStringList> expectedSets = answer == 0 && offered
            ? QList<QStringList>{{QStringLiteral("default"), AppDelegate::desktopId, QStringLiteral("text/markdown")},
                                 {QStringLiteral("default"), AppDelegate::desktopId, QStringLiteral("text/x-markdown")}}
            : QList<QStringList>{};
        QCOMPARE(xdg.calls.mid(1), expectedSets);

        // The next launch: asked already (or still the default), so no alert.
        alerts.alerts.clear();
        alerts.alertAnswers = {0};
        SorvaneApp again({}, environmentAt(stablePath));
        again.launch();
        settle();
        QCOMPARE(alerts.alerts.size(), 0);
    }

    // When xdg-mime refuses, the user hears about it; the offer stays answered.
    void settingTheDefaultCanFail()
    {
        Settings::shared().setValue(QStringLiteral("hasOpenedWelcomeDoc"), true);
        ScriptedAlertPresenter alerts;
        ScriptedXdgMime xdg;
        xdg.setDefaultExit = 2;
        alerts.alertAnswers = {0, 0};
        SorvaneApp app({}, environmentAt(stablePath));
        app.launch();
        settle();
        QCOMPARE(alerts.alerts.size(), 2);
        QCOMPARE(alerts.alerts.at(1).messageText, QStringLiteral("Could not set default"));
        QCOMPARE(alerts.alerts.at(1).informativeText, QStringLiteral("xdg-mime: no writable mimeapps.list"));
        QCOMPARE(alerts.alerts.at(1).style, AlertRequest::Style::Critical);
        QCOMPARE(xdg.calls.size(), 2); // query, then the first type only
        QVERIFY(Settings::shared().boolValue(QStringLiteral("hasPromptedForDefaultHandler")));
    }

    void stableLocations_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("appImage");
        QTest::addColumn<bool>("stable");
        QTest::newRow("installed") << stablePath << QString() << true;
        QTest::newRow("home build") << QStringLiteral("/home/ann/src/sorvane/build/sorvane/sorvane") << QString() << true;
        QTest::newRow("appimage mount") << QStringLiteral("/tmp/.mount_sorvaXYZ/usr/bin/sorvane") << QString() << false;
        QTest::newRow("appimage anywhere") << QStringLiteral("/opt/x/usr/bin/sorvane") << QStringLiteral("/home/ann/Apps/sorvane.AppImage") << false;
        QTest::newRow("tmp") << QStringLiteral("/tmp/sorvane") << QString() << false;
        QTest::newRow("tmp lookalike") << QStringLiteral("/tmpfs/sorvane") << QString() << true;
        QTest::newRow("usb stick") << QStringLiteral("/media/ann/STICK/sorvane") << QString() << false;
        QTest::newRow("udisks mount") << QStringLiteral("/run/media/ann/STICK/sorvane") << QString() << false;
        QTest::newRow("dotted path into tmp") << QStringLiteral("/usr/../tmp/sorvane") << QString() << false;
    }

    void stableLocations()
    {
        QFETCH(QString, path);
        QFETCH(QString, appImage);
        QFETCH(bool, stable);
        QCOMPARE(AppDelegate::isStableLocation(path, appImage), stable);
    }

    // From a temporary place: the warning, once, and no offer in that launch; a
    // later launch from an installed copy makes the offer.
    void warningAndOfferNeverShareALaunch()
    {
        Settings::shared().setValue(QStringLiteral("hasOpenedWelcomeDoc"), true);
        ScriptedAlertPresenter alerts;
        ScriptedXdgMime xdg;
        const QString mounted = QStringLiteral("/tmp/.mount_sorvaXYZ/usr/bin/sorvane");
        {
            SorvaneApp app({}, environmentAt(mounted, QStringLiteral("/home/ann/sorvane.AppImage")));
            QSignalSpy warned(&app.delegate(), &AppDelegate::installLocationWarningShown);
            app.launch();
            QVERIFY(warned.wait());
            settle();
        }
        QCOMPARE(alerts.alerts.size(), 1);
        QCOMPARE(alerts.alerts.first().messageText, QStringLiteral("Move sorv.ane to Applications"));
        QCOMPARE(alerts.alerts.first().buttons, (QStringList{QStringLiteral("Show in File Manager"), QStringLiteral("Later")}));
        QVERIFY(xdg.calls.isEmpty());
        QVERIFY(!Settings::shared().boolValue(QStringLiteral("hasPromptedForDefaultHandler")));

        {
            SorvaneApp again({}, environmentAt(mounted));
            again.launch();
            settle();
        }
        QCOMPARE(alerts.alerts.size(), 1);

        SorvaneApp installed({}, environmentAt(stablePath));
        installed.launch();
        settle();
        QCOMPARE(alerts.alerts.size(), 2);
        QCOMPARE(alerts.alerts.at(1).messageText, QStringLiteral("Set sorv.ane as your default Markdown editor?"));
    }

    // Account callbacks go to the account side (the library first when a bridge
    // exists); paths and local file URLs are opened as documents.
    void urlRouting_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<bool>("bridge");
        QTest::addColumn<bool>("resumes");
        QTest::addColumn<QStringList>("accountLog");
        QTest::addColumn<int>("tabs");
        QTest::addColumn<int>("errors");
        const QString file = QStringLiteral("FILE");
        QTest::newRow("sign-in resumed") << QStringLiteral("sorvane://auth/callback?code=1") << true << true
                                         << QStringList{QStringLiteral("resume sorvane://auth/callback?code=1"), QStringLiteral("activateForAuthReturn")}
                                         << 0 << 0;
        QTest::newRow("capitals resumed") << QStringLiteral("SORVANE://AUTH/callback") << true << true
                                          << QStringList{QStringLiteral("resume sorvane://auth/callback"), QStringLiteral("activateForAuthReturn")}
                                          << 0 << 0;
        QTest::newRow("no pending sign-in") << QStringLiteral("sorvane://signed-in") << true << false
                                            << QStringList{QStringLiteral("resume sorvane://signed-in"), QStringLiteral("handleOpenURL sorvane://signed-in consumed")}
                                            << 0 << 0;
        QTest::newRow("no bridge yet") << QStringLiteral("sorvane://auth-callback/x") << false << false
                                       << QStringList{QStringLiteral("handleOpenURL sorvane://auth-callback/x consumed")} << 0 << 0;
        QTest::newRow("other host") << QStringLiteral("sorvane://open/notes.md") << true << true
                                    << QStringList{QStringLiteral("handleOpenURL sorvane://open/notes.md passed")} << 0 << 0;
        QTest::newRow("file path") << file << true << true << QStringList() << 1 << 0;
        QTest::newRow("file url") << QStringLiteral("file:FILE") << true << true << QStringList{QStringLiteral("handleOpenURL FILEURL passed")} << 1 << 0;
        QTest::newRow("missing file") << QStringLiteral("MISSING") << true << true << QStringList() << 0 << 1;
    }

    void urlRouting()
    {
        QFETCH(QString, argument);
        QFETCH(bool, bridge);
        QFETCH(bool, resumes);
        QFETCH(QStringList, accountLog);
        QFETCH(int, tabs);
        QFETCH(int, errors);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("a.md"));
        const QString missing = dir.filePath(QStringLiteral("gone.md"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("# a\n");
        out.close();
        const auto fill = [&](QString text) {
            text.replace(QStringLiteral("MISSINGURL"), QUrl::fromLocalFile(missing).toString());
            text.replace(QStringLiteral("FILEURL"), QUrl::fromLocalFile(file).toString());
            text.replace(QStringLiteral("MISSING"), missing);
            return text.replace(QStringLiteral("FILE"), file);
        };
        argument = fill(argument);
        for (QString &line : accountLog)
            line = fill(line);

        ScriptedAlertPresenter alerts;
        RecordingSeams recorder;
        recorder.bridge = bridge;
        recorder.resumes = resumes;
        AppDelegate delegate(recorder.seams(), environmentAt(stablePath));
        delegate.openArguments({argument});
        QCOMPARE(recorder.log, accountLog);
        QCOMPARE(delegate.documentManager().documents().size(), tabs);
        QCOMPARE(alerts.alerts.size(), errors);
        if (errors)
            QCOMPARE(alerts.alerts.first().messageText, QStringLiteral("Could not open file"));
    }

    // A list is handled in order: the sign-in resumes and the file still opens.
    void callbackAndFileTogether()
    {
        ScriptedAlertPresenter alerts;
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("b.md"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.close();
        RecordingSeams recorder;
        recorder.bridge = true;
        recorder.resumes = true;
        AppDelegate delegate(recorder.seams(), environmentAt(stablePath));
        delegate.openURLs({QUrl(QStringLiteral("sorvane://auth/cb")), QUrl::fromLocalFile(file)});
        QCOMPARE(recorder.log.first(), QStringLiteral("resume sorvane://auth/cb"));
        QCOMPARE(delegate.documentManager().documents().size(), 1);
        QVERIFY(alerts.alerts.isEmpty());
    }

    void urlListRouting_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("bridge");
        QTest::addColumn<bool>("resumes");
        QTest::addColumn<bool>("sessionTakesCallbacks");
        QTest::addColumn<QStringList>("accountLog");
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<QStringList>("shellLog");
        const QString callback = QStringLiteral("SORVANE://AUTH/callback?code=c0de&state=st8");
        const QString lowered = QStringLiteral("sorvane://auth/callback?code=c0de&state=st8");
        const QString resume = QStringLiteral("resume ") + lowered;
        const QString dropped = QStringLiteral("Dropped an account callback no sign-in was waiting for: sorvane://auth");
        const QString refused = QStringLiteral("Refused to open a URL that is not a file on this machine: ");
        const QStringList none;
        QTest::newRow("callback in capitals resumes a sign-in")
            << QStringList{callback} << true << true << true
            << QStringList{resume, QStringLiteral("activateForAuthReturn")} << none << none;
        QTest::newRow("callback without a pending sign-in is consumed")
            << QStringList{callback} << true << false << true
            << QStringList{resume, QStringLiteral("handleOpenURL ") + lowered + QStringLiteral(" consumed")} << none << none;
        QTest::newRow("callback nobody takes is dropped")
            << QStringList{callback} << true << false << false
            << QStringList{resume, QStringLiteral("handleOpenURL ") + lowered + QStringLiteral(" passed")} << none
            << QStringList{dropped};
        QTest::newRow("callback before the bridge, refused by the session")
            << QStringList{callback} << false << false << false
            << QStringList{QStringLiteral("handleOpenURL ") + lowered + QStringLiteral(" passed")} << none
            << QStringList{dropped};
        QTest::newRow("callback and a file in one list")
            << QStringList{callback, QStringLiteral("file://DIR/a.md")} << true << true << true
            << QStringList{resume, QStringLiteral("activateForAuthReturn"), QStringLiteral("handleOpenURL file://DIR/a.md passed")}
            << QStringList{QStringLiteral("a.md")} << none;
        QTest::newRow("another host of the scheme")
            << QStringList{QStringLiteral("sorvane://other/x?secret=1")} << true << true << true
            << QStringList{QStringLiteral("handleOpenURL sorvane://other/x?secret=1 passed")} << none
            << QStringList{refused + QStringLiteral("sorvane://other")};
        QTest::newRow("the scheme without a host")
            << QStringList{QStringLiteral("sorvane:///notes.md")} << true << true << true
            << QStringList{QStringLiteral("handleOpenURL sorvane:///notes.md passed")} << none
            << QStringList{refused + QStringLiteral("sorvane://")};
        QTest::newRow("a file on another host")
            << QStringList{QStringLiteral("file://otherhost/x.md"), QStringLiteral("file://otherhostDIR/a.md")} << true
            << true << true
            << QStringList{QStringLiteral("handleOpenURL file://otherhost/x.md passed"),
                           QStringLiteral("handleOpenURL file://otherhostDIR/a.md passed")}
            << none << QStringList{refused + QStringLiteral("file://otherhost"), refused + QStringLiteral("file://otherhost")};
        QTest::newRow("a file on localhost")
            << QStringList{QStringLiteral("file://LocalHostDIR/a.md")} << true << true << true
            << QStringList{QStringLiteral("handleOpenURL file://localhostDIR/a.md passed")}
            << QStringList{QStringLiteral("a.md")} << none;
        QTest::newRow("a plain file URL and a second one")
            << QStringList{QStringLiteral("file://DIR/a.md"), QStringLiteral("file:DIR/b.md")} << true << true << true
            << QStringList{QStringLiteral("handleOpenURL file://DIR/a.md passed"), QStringLiteral("handleOpenURL file://DIR/b.md passed")}
            << QStringList{QStringLiteral("a.md"), QStringLiteral("b.md")} << none;
        QTest::newRow("path arguments, one with a doubled slash")
            << QStringList{QStringLiteral("DIR/b.md"), QStringLiteral("/DIR/a.md")} << true << true << true << none
            << QStringList{QStringLiteral("b.md"), QStringLiteral("a.md")} << none;
    }

    // URLs from outside: account callbacks resume or are consumed, local files open,
    // and anything else is refused quietly. Nothing raises an alert, only opened files
    // reach the recent list, and no log line holds a path, a code or a query.
    void urlListRouting()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, bridge);
        QFETCH(bool, resumes);
        QFETCH(bool, sessionTakesCallbacks);
        QFETCH(QStringList, accountLog);
        QFETCH(QStringList, opened);
        QFETCH(QStringList, shellLog);
        QTemporaryDir dir;
        for (const char *name : {"a.md", "b.md"}) {
            QFile out(dir.filePath(QString::fromLatin1(name)));
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write("# text\n");
        }
        const QString folder = QFileInfo(dir.path()).canonicalFilePath();
        for (QString &argument : arguments)
            argument.replace(QStringLiteral("DIR"), folder);
        for (QString &line : accountLog)
            line.replace(QStringLiteral("DIR"), folder);

        ScriptedAlertPresenter alerts;
        RecordingSeams recorder;
        recorder.bridge = bridge;
        recorder.resumes = resumes;
        recorder.sessionTakesCallbacks = sessionTakesCallbacks;
        AppDelegate delegate(recorder.seams(), environmentAt(stablePath));
        DocumentManager &manager = delegate.documentManager();
        manager.clearRecentDocuments();
        std::optional<MessageCapture> capture(std::in_place);
        delegate.openArguments(arguments);
        const QList<MessageCapture::Message> messages = capture->messages;
        const QStringList shellLines = capture->inCategory("sorvane.shell");
        capture.reset();

        QVERIFY(alerts.alerts.isEmpty());
        QStringList tabs;
        for (const TabDocument *document : manager.documents())
            tabs << document->fileURL().fileName();
        QCOMPARE(tabs, opened);
        QStringList recent;
        for (const QUrl &url : manager.recentDocuments())
            recent.prepend(url.fileName());
        QCOMPARE(recent, opened);
        QCOMPARE(recorder.log, accountLog);
        QCOMPARE(shellLines, shellLog);
        for (const MessageCapture::Message &message : messages) {
            for (const QString &secret : {QStringLiteral("c0de"), QStringLiteral("st8"), QStringLiteral("secret"),
                                          QStringLiteral("notes.md"), QStringLiteral("x.md"), folder})
                QVERIFY2(!message.text.contains(secret), qPrintable(message.text));
        }
    }

    void workspaceWidening_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<int>("content");
        QTest::addColumn<QRect>("visible");
        QTest::addColumn<QRect>("expected");
        const QRect wide(0, 0, 1440, 900);
        QTest::newRow("wide enough") << QRect(100, 50, 900, 700) << 900 << wide << QRect();
        QTest::newRow("room to the right") << QRect(100, 50, 700, 700) << 700 << wide << QRect(100, 50, 860, 700);
        QTest::newRow("at the right edge") << QRect(740, 50, 700, 700) << 700 << wide << QRect(580, 50, 860, 700);
        QTest::newRow("frame borders kept") << QRect(740, 50, 710, 730) << 700 << wide << QRect(570, 50, 870, 730);
        QTest::newRow("narrow screen") << QRect(50, 20, 600, 500) << 600 << QRect(0, 0, 800, 600) << QRect(0, 20, 800, 500);
        QTest::newRow("offset screen") << QRect(1900, 0, 700, 700) << 700 << QRect(1440, 0, 1280, 800) << QRect(1860, 0, 860, 700);
    }

    void workspaceWidening()
    {
        QFETCH(QRect, frame);
        QFETCH(int, content);
        QFETCH(QRect, visible);
        QFETCH(QRect, expected);
        QCOMPARE(AppDelegate::widenedFrame(frame, content, visible), expected);
    }

    // The application hands its export and encryption commands to the window: the
    // menu items act on the selected tab.
    void documentCommandsReachTheMenus()
    {
        ScriptedAlertPresenter alerts;
        ScriptedXdgMime xdg;
        xdg.currentDefault = AppDelegate::desktopId;
        Settings::shared().setValue(QStringLiteral("hasOpenedWelcomeDoc"), true);
        QTemporaryDir dir;
        const QString exported = dir.filePath(QStringLiteral("out.html"));
        alerts.saveAnswers = {exported};
        DocumentExporter exporter;
        SorvaneApp app({}, environmentAt(stablePath));
        app.setDocumentExporter(&exporter);
        app.launch();
        app.delegate().documentManager().newDocument(QStringLiteral("# Menu title\n"), false);
        const auto action = [&](const QString &text) -> QAction * {
            for (QAction *candidate : app.mainWindow()->findChildren<QAction *>()) {
                if (candidate->text() == text)
                    return candidate;
            }
            return nullptr;
        };

        // The copies carry the extra theme the preview shows.
        ThemeService::shared().setSelectedProThemeRaw(QStringLiteral("Mono"));
        QAction *copy = action(QStringLiteral("Copy as HTML"));
        QVERIFY(copy);
        copy->trigger();
        ThemeService::shared().setSelectedProThemeRaw(QString());
        QVERIFY(QGuiApplication::clipboard()->text().contains(QStringLiteral("Menu title</h1>")));
        QVERIFY(QGuiApplication::clipboard()->text().contains(
            ThemeService::proThemeStylesheet(ThemeService::ProTheme::Mono)));

        QAction *exportHTML = action(QStringLiteral("Export HTML..."));
        QVERIFY(exportHTML);
        exportHTML->trigger();
        QCOMPARE(alerts.savePanels.size(), 1);
        QCOMPARE(alerts.savePanels.at(0).suggestedName, QStringLiteral("Untitled.html"));
        QFile page(exported);
        QVERIFY(page.open(QIODevice::ReadOnly));
        QVERIFY(page.readAll().contains("Menu title</h1>"));

        QVERIFY(action(QStringLiteral("Encrypt Document...")));
        QVERIFY(app.encryptionCommands());
    }

    // The launched window's menus are kept clean: each top-level menu has its
    // sanitizer, and a Format menu added after launch goes with a later pass.
    void menuChromeAtLaunch()
    {
        ScriptedAlertPresenter alerts;
        ScriptedXdgMime xdg;
        xdg.currentDefault = AppDelegate::desktopId;
        Settings::shared().setValue(QStringLiteral("hasOpenedWelcomeDoc"), true);
        SorvaneApp app({}, environmentAt(stablePath));
        app.launch();
        QMenuBar *bar = app.mainWindow()->menuBar();
        const QList<QAction *> items = bar->actions();
        QVERIFY(!items.isEmpty());
        for (const QAction *item : items) {
            if (const QMenu *menu = QMenu::menuInAction(item))
                QVERIFY2(MenuSanitizerDelegate::of(menu), qPrintable(item->text()));
        }
        QAction *format = bar->addMenu(QStringLiteral("Format"))->menuAction();
        QVERIFY(QTest::qWaitFor([&] { return !bar->actions().contains(format); }));
    }

    // F11 flips the setting and full screen together; leaving full screen any other
    // way ends distraction-free mode.
    void distractionFreeFollowsFullScreen()
    {
        Settings::shared().setValue(QStringLiteral("hasOpenedWelcomeDoc"), true);
        ScriptedAlertPresenter alerts;
        ScriptedXdgMime xdg;
        xdg.currentDefault = AppDelegate::desktopId;
        RecordingSeams recorder;
        SorvaneApp app(recorder.seams(), environmentAt(stablePath));
        app.launch();
        MainWindow *window = app.mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::keyClick(window, Qt::Key_F11);
        QVERIFY(Settings::shared().boolValue(QStringLiteral("distractionFree")));
        QVERIFY(window->windowState() & Qt::WindowFullScreen);
        QCOMPARE(recorder.events.last().first, QStringLiteral("fullscreen_toggled"));
        QCOMPARE(recorder.events.last().second.value(QStringLiteral("on")), QVariant(true));
        window->showNormal();
        QTRY_VERIFY(!Settings::shared().boolValue(QStringLiteral("distractionFree"), true));
        app.toggleDistractionFree();
        app.toggleDistractionFree();
        QVERIFY(!(window->windowState() & Qt::WindowFullScreen));
        QCOMPARE(recorder.events.last().second.value(QStringLiteral("on")), QVariant(false));
    }
};

SORVANE_WEBENGINE_TEST_MAIN(tst_AppDelegate)
#include "tst_AppDelegate.moc"
