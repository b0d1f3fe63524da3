// The folder search reached the way the user reaches it: the launched application with
// the real workspace behind its seam, "Advanced Search..." pressed over the main window.
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "WebEngineTest.h"

#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "platform/BundleInfo.h"
#include "platform/Settings.h"
#include "shell/ShellWorkspace.h"
#include "shell/SorvaneApp.h"
#include "shell/SorvaneCommands.h"
#include "window/MainWindow.h"
#include "workspace/FolderSearchPanel.h"
#include "workspace/FolderSearchResultModel.h"
#include "workspace/WorkspaceSearchController.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class tst_ShellFolderSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void advancedSearchShowsThePanelOverTheFrontDocumentsFolder();
};

void tst_ShellFolderSearch::advancedSearchShowsThePanelOverTheFrontDocumentsFolder()
{
    Settings &settings = Settings::shared();
    settings.setValue(QStringLiteral("hasOpenedWelcomeDoc"), true);
    settings.setValue(QStringLiteral("hasPromptedForDefaultHandler"), true);
    settings.setValue(QStringLiteral("restoreSession"), false);
    BundleInfo::setInfoForTesting(QVariantMap());
    ScriptedAlertPresenter alerts;
    QTemporaryDir dir;
    QVERIFY(writeFile(dir.filePath(QStringLiteral("notes/front.md")), "# Front\n"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("notes/hit.md")), "one\nthe needle\n"));

    ShellWorkspace workspace;
    AppDelegate::LaunchEnvironment environment;
    environment.executablePath = QStringLiteral("/usr/local/bin/sorvane");
    auto app = std::make_unique<SorvaneApp>(LaunchSeams{&workspace}, environment);
    app->launch();
    DocumentManager &manager = app->delegate().documentManager();
    manager.openFile(dir.filePath(QStringLiteral("notes/front.md")));
    QVERIFY(workspace.exists());
    QVERIFY(!workspace.folderSearch().panel());

    QAction *search = app->commands()->action(QStringLiteral("Advanced Search..."));
    QVERIFY(search && search->isVisible() && search->isEnabled());
    search->trigger();
    FolderSearchPanel *panel = workspace.folderSearch().panel();
    QVERIFY(panel && panel->isVisible());
    QCOMPARE(panel->rootText()->toolTip(), dir.filePath(QStringLiteral("notes")));
    const QRect area = app->mainWindow()->screen()->availableGeometry();
    QVERIFY(qAbs(panel->geometry().center().x() - area.center().x()) <= 1);

    // A hit opens in the application's own document manager.
    QTest::keyClicks(panel->queryField(), QStringLiteral("needle"));
    QVERIFY(QTest::qWaitFor([&] { return panel->resultModel()->rowCount() == 2; }, 30000));
    const QRect row = panel->resultList()->visualRect(panel->resultModel()->index(1));
    QTest::mouseClick(panel->resultList()->viewport(), Qt::LeftButton, {}, row.center());
    QCOMPARE(manager.selectedDocument()->fileURL().toLocalFile(), dir.filePath(QStringLiteral("notes/hit.md")));
    QVERIFY(panel->isVisible());

    app.reset();
    BundleInfo::setInfoForTesting(std::nullopt);
}

SORVANE_WEBENGINE_TEST_MAIN(tst_ShellFolderSearch)
#include "tst_ShellFolderSearch.moc"
