// The AI workspace in the launched application: the sidebar in the window, the
// empty state's button and the toolbar's toggle, with the folder panel answered here.
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "documents/DocumentManager.h"
#include "platform/BundleInfo.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "shell/ShellWorkspace.h"
#include "shell/SorvaneApp.h"
#include "shell/SorvaneCommands.h"
#include "window/DocumentContentView.h"
#include "window/DocumentToolbar.h"
#include "window/EmptyStateView.h"
#include "window/GlyphButton.h"
#include "window/MainView.h"
#include "window/MainWindow.h"
#include "workspace/AgentWorkspaceService.h"
#include "workspace/AgentWorkspaceSidebar.h"

#include <QAction>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <memory>

namespace {

class Fixture
{
public:
    explicit Fixture(bool withWorkspace = true)
    {
        Settings &settings = Settings::shared();
        settings.setValue(SettingsKeys::hasOpenedWelcomeDoc, true);
        settings.setValue(SettingsKeys::hasPromptedForDefaultHandler, true);
        settings.setValue(SettingsKeys::restoreSession, false);
        for (const QString &key : {SettingsKeys::showWorkspace, SettingsKeys::agentWorkspaceRootBookmark,
                                   SettingsKeys::agentWorkspaceFavorites, SettingsKeys::agentWorkspaceSeenAgentDocs})
            settings.remove(key);
        BundleInfo::setInfoForTesting(QVariantMap());
        if (withWorkspace)
            workspace = std::make_unique<ShellWorkspace>();
        AppDelegate::LaunchEnvironment environment;
        environment.executablePath = QStringLiteral("/usr/local/bin/sorvane");
        app = std::make_unique<SorvaneApp>(LaunchSeams{workspace.get()}, environment);
        app->launch();
    }

    ~Fixture()
    {
        app.reset();
        workspace.reset();
        QThreadPool::globalInstance()->waitForDone();
        BundleInfo::setInfoForTesting(std::nullopt);
    }

    MainView &view() const { return *app->mainWindow()->mainView(); }
    EmptyStateView &emptyState() const { return *view().emptyState(); }
    DocumentManager &manager() const { return app->delegate().documentManager(); }
    AgentWorkspaceSidebar *sidebar() const { return view().findChild<AgentWorkspaceSidebar *>(); }

    QTemporaryDir dir;
    ScriptedAlertPresenter alerts;
    std::unique_ptr<ShellWorkspace> workspace;
    std::unique_ptr<SorvaneApp> app;
};

} // namespace

class tst_ShellWorkspace : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // From a fresh launch the workspace is there: its menu row, the sidebar in the
    // window (hidden until switched on), the empty state's button.
    void presentAfterLaunch()
    {
        Fixture f;
        QVERIFY(f.workspace->exists());
        QVERIFY(f.app->commands()->action(QStringLiteral("Show AI Workspace"))->isVisible());
        QVERIFY(f.sidebar());
        QVERIFY(!f.view().isWorkspaceSidebarShown());
        Settings::shared().setValue(SettingsKeys::showWorkspace, true);
        QVERIFY(f.view().isWorkspaceSidebarShown());
        QVERIFY(f.sidebar()->isVisible());
        QCOMPARE(f.sidebar()->width(), MainView::workspaceSidebarWidth);
    }

    // The empty state's button: with no folder it runs the picker and shows the
    // sidebar even when the picker is cancelled; once a folder is chosen it reads
    // "Show AI Workspace" and only shows the sidebar.
    void emptyStateButton()
    {
        Fixture f;
        QPushButton *button = f.emptyState().workspaceButton();
        QVERIFY(button->isVisible());
        QCOMPARE(button->text(), QStringLiteral("Set AI Working Directory\u2026"));
        QCOMPARE(button->toolTip(), QStringLiteral("Browse a project's AGENTS.md, CLAUDE.md, and every markdown file"));

        button->click();
        QCOMPARE(f.alerts.folderPanels.size(), 1);
        QVERIFY(Settings::shared().showWorkspace());
        QVERIFY(f.view().isWorkspaceSidebarShown());
        QVERIFY(f.sidebar()->emptyPrompt()->isVisible());
        QCOMPARE(button->text(), QStringLiteral("Set AI Working Directory\u2026"));

        writeFile(f.dir.filePath("project/a.md"), "# a\n");
        Settings::shared().setValue(SettingsKeys::showWorkspace, false);
        f.alerts.folderAnswers = {f.dir.filePath("project")};
        button->click();
        QCOMPARE(f.workspace->agentWorkspace().rootPath(), f.dir.filePath("project"));
        QVERIFY(Settings::shared().showWorkspace());
        QCOMPARE(button->text(), QStringLiteral("Show AI Workspace"));
        QVERIFY(f.sidebar()->folderBar()->isVisible());

        Settings::shared().setValue(SettingsKeys::showWorkspace, false);
        button->click();
        QCOMPARE(f.alerts.folderPanels.size(), 2);
        QVERIFY(Settings::shared().showWorkspace());
        QVERIFY(QTest::qWaitFor([&] { return !f.workspace->agentWorkspace().isScanning(); }, 10000));
    }

    // The document toolbar's toggle flips "showWorkspace" and is lit while it is on.
    void toolbarToggle()
    {
        Fixture f;
        f.manager().newDocument(QString(), false);
        GlyphButton *toggle = f.view().documentPane()->toolbar()->workspaceButton();
        QVERIFY(toggle->isVisible());
        QCOMPARE(toggle->toolTip(), QStringLiteral("Toggle AI workspace (Ctrl+Alt+0)"));
        QVERIFY(!toggle->isHighlighted());
        toggle->click();
        QVERIFY(Settings::shared().showWorkspace());
        QVERIFY(toggle->isHighlighted());
        QVERIFY(f.view().isWorkspaceSidebarShown());
        toggle->click();
        QVERIFY(!Settings::shared().showWorkspace());
        QVERIFY(!toggle->isHighlighted());
    }

    // Without the workspace neither control shows.
    void absentWithoutWorkspace()
    {
        Fixture f(false);
        QVERIFY(!f.emptyState().workspaceButton()->isVisible());
        f.manager().newDocument(QString(), false);
        QVERIFY(!f.view().documentPane()->toolbar()->workspaceButton()->isVisible());
    }
};

SORVANE_TEST_MAIN(tst_ShellWorkspace)
#include "tst_ShellWorkspace.moc"
