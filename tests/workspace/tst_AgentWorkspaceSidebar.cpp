#include "AgentWorkspaceTestTree.h"
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"
#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "platform/DesktopShare.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "window/GlyphButton.h"
#include "window/MainView.h"
#include "workspace/AgentWorkspaceModel.h"
#include "workspace/AgentWorkspaceRowDelegate.h"
#include "workspace/AgentWorkspaceService.h"
#include "workspace/AgentWorkspaceSidebar.h"
#include "workspace/AgentWorkspaceTreeView.h"

#include <QAbstractItemModelTester>
#include <QHelpEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QToolButton>
#include <QToolTip>
#include <QtTest>

#include <memory>

namespace {

using Kind = AgentWorkspaceModel::RowKind;

// A sidebar over a fresh service and document manager, in a window of the width
// the main view gives it, with the workspace's stored values cleared.
struct SidebarFixture
{
    SidebarFixture()
    {
        for (const QString &key : {SettingsKeys::agentWorkspaceRootBookmark, SettingsKeys::agentWorkspaceFavorites,
                                   SettingsKeys::agentWorkspaceSeenAgentDocs, SettingsKeys::showWorkspace})
            Settings::shared().remove(key);
        Settings::shared().setValue(SettingsKeys::spellCheck, false);
        service = std::make_unique<AgentWorkspaceService>(Settings::shared());
        sidebar = std::make_unique<AgentWorkspaceSidebar>(*service, manager);
        sidebar->resize(MainView::workspaceSidebarWidth, 600);
        sidebar->show();
    }
    ~SidebarFixture()
    {
        sidebar.reset();
        service.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    QString path(const QString &relative) const { return dir.path() + QLatin1Char('/') + relative; }
    AgentWorkspaceModel &model() const { return *sidebar->model(); }
    AgentWorkspaceTreeView &list() const { return *sidebar->listView(); }

    // Chooses a folder through the sidebar's own button and waits for its walk.
    bool choose(const QString &relative)
    {
        alerts.folderAnswers = {path(relative)};
        sidebar->chooseFolderButton()->click();
        return QTest::qWaitFor([&] { return !service->isScanning(); }, 10000);
    }

    // The top-level rows as "kind text" lines: what a user reads down the column.
    QStringList rows() const
    {
        QStringList lines;
        for (int row = 0; row < model().rowCount(); ++row) {
            const QModelIndex index = model().index(row, 0);
            static const char *names[] = {"title", "pin", "gap", "title", "note", "", "notice"};
            const Kind kind = model().kind(index);
            const QString text = index.data().toString();
            if (kind == Kind::Node)
                lines.append(text + (index.data(AgentWorkspaceModel::IsFolderRole).toBool() ? "/" : ""));
            else
                lines.append(QString::fromLatin1(names[int(kind)]) + (text.isEmpty() ? QString() : " " + text));
        }
        return lines;
    }

    QModelIndex topRow(const QString &line) const
    {
        const int row = int(rows().indexOf(line));
        return row < 0 ? QModelIndex() : model().index(row, 0);
    }

    QPoint centreOf(const QModelIndex &index) const { return list().rowRect(index).center(); }

    QTemporaryDir dir;
    ScriptedAlertPresenter alerts;
    DocumentManager manager;
    std::unique_ptr<AgentWorkspaceService> service;
    std::unique_ptr<AgentWorkspaceSidebar> sidebar;
};

QString selectedPath(const DocumentManager &manager)
{
    const TabDocument *selected = manager.selectedDocument();
    return selected ? selected->fileURL().toLocalFile() : QString();
}

// Holds back every walk until released.
class WalkGate
{
public:
    WalkGate()
    {
        AgentWorkspaceService::setWalkGateForTesting([this](const QString &) { m_open.acquire(); m_open.release(); });
    }
    ~WalkGate()
    {
        release();
        AgentWorkspaceService::setWalkGateForTesting(nullptr);
        QThreadPool::globalInstance()->waitForDone();
    }
    void release() { m_open.release(); }

private:
    QSemaphore m_open;
};

} // namespace

class tst_AgentWorkspaceSidebar : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Without a folder: the header and the prompt only; the hide button switches the
    // sidebar off.
    void withoutRoot()
    {
        SidebarFixture f;
        QVERIFY(f.sidebar->emptyPrompt()->isVisible());
        QVERIFY(!f.sidebar->folderBar()->isVisible());
        QVERIFY(!f.list().isVisible());
        QStringList texts;
        for (const QLabel *label : f.sidebar->findChildren<QLabel *>()) {
            if (label->isVisible() && !label->text().isEmpty())
                texts.append(label->text());
        }
        QCOMPARE(texts, (QStringList{"AI WORKSPACE", "Set your AI working directory",
                                     "Point Sorvane at a project folder. It pins AGENTS.md and CLAUDE.md and lists every "
                                     "markdown file for quick navigation."}));
        QCOMPARE(f.sidebar->chooseFolderButton()->text(), QStringLiteral("Choose Folder\u2026"));
        QCOMPARE(f.sidebar->hideButton()->toolTip(), QStringLiteral("Hide workspace"));

        Settings::shared().setValue(SettingsKeys::showWorkspace, true);
        f.sidebar->hideButton()->click();
        QVERIFY(!Settings::shared().showWorkspace());
    }

    // A chosen folder shows its bar at once, the count over "Scanning…" while the walk
    // runs, then the pins, the count and the tree.
    void chooseFolderThenList()
    {
        SidebarFixture f;
        makeTree(f.path("My Project"), {"AGENTS.md", "docs/guide.md", "docs/notes.txt", "readme.md"});
        {
            WalkGate gate;
            f.alerts.folderAnswers = {f.path("My Project")};
            f.sidebar->chooseFolderButton()->click();
            QVERIFY(f.sidebar->folderBar()->isVisible());
            QCOMPARE(f.sidebar->folderNameText(), QStringLiteral("My Project"));
            QVERIFY(f.sidebar->progressIndicator()->isVisible());
            QCOMPARE(f.rows(), (QStringList{"title 0 MARKDOWN FILES", "note Scanning\u2026"}));
        }
        QVERIFY(QTest::qWaitFor([&] { return !f.service->isScanning(); }, 10000));
        QVERIFY(!f.sidebar->progressIndicator()->isVisible());
        QCOMPARE(f.rows(), (QStringList{"title PINNED", "pin AGENTS.md", "gap", "title 3 MARKDOWN FILES", "docs/",
                                        "AGENTS.md", "readme.md"}));
        // The gap is 10 high; titles and rows are not, and the arrow keys skip titles.
        QCOMPARE(f.list().rowRect(f.topRow("gap")).height(), 10);
        QVERIFY(!(f.model().flags(f.topRow("title PINNED")) & Qt::ItemIsEnabled));
        QVERIFY(f.model().flags(f.topRow("readme.md")) & Qt::ItemIsEnabled);
    }

    // The list's own texts: no "PINNED" without pins, the empty-folder line, the count
    // in both forms, and the truncation notice below the tree.
    void listTexts_data()
    {
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("no Markdown")
            << QStringList{"a.txt", "sub/b.txt"}
            << QStringList{"title 0 MARKDOWN FILES", "note No markdown files in this folder."};
        QTest::newRow("one file") << QStringList{"only.md"} << QStringList{"title 1 MARKDOWN FILE", "only.md"};
        QTest::newRow("two files") << QStringList{"a.md", "b.md"} << QStringList{"title 2 MARKDOWN FILES", "a.md", "b.md"};
    }
    void listTexts()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, rows);
        SidebarFixture f;
        makeTree(f.path("p"), tree);
        QVERIFY(f.choose("p"));
        QCOMPARE(f.rows(), rows);
    }

    void countTitles_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("title");
        QTest::newRow("0") << 0 << "0 MARKDOWN FILES";
        QTest::newRow("1") << 1 << "1 MARKDOWN FILE";
        QTest::newRow("2") << 2 << "2 MARKDOWN FILES";
        QTest::newRow("no grouping") << 12345 << "12345 MARKDOWN FILES";
    }
    void countTitles()
    {
        QFETCH(int, count);
        QFETCH(QString, title);
        QCOMPARE(AgentWorkspaceModel::countTitle(count), title);
    }

    void truncationNotice()
    {
        SidebarFixture f;
        makeNumberedFiles(f.path("big/many"), 6000);
        makeTree(f.path("big"), {"z-last.md"});
        QVERIFY(f.choose("big"));
        const QStringList rows = f.rows();
        QCOMPARE(rows, (QStringList{"title 6000 MARKDOWN FILES", "many/",
                                    "notice Showing the first 6000 files. Narrow the folder to see everything."}));
        // Refresh of an unchanged tree keeps the notice once.
        f.service->refresh();
        QVERIFY(QTest::qWaitFor([&] { return !f.service->isScanning(); }, 10000));
        QCOMPARE(f.rows(), rows);
    }

    // The folder menu: its items in order, Change Folder keeping the old tree while
    // the new one is walked, Show in File Manager, Close Workspace back to the
    // prompt with the pins kept for later.
    void folderMenu()
    {
        SidebarFixture f;
        makeTree(f.path("one"), {"CLAUDE.md", "a.md"});
        makeTree(f.path("two"), {"b.md"});
        QVERIFY(f.choose("one"));
        QCOMPARE(f.sidebar->optionsButton()->toolTip(), QStringLiteral("Workspace options"));
        QStringList items;
        for (const QAction *action : f.sidebar->optionsMenu()->actions())
            items.append(action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(items, (QStringList{"Change Folder\u2026", "Refresh", "Show in File Manager", "-", "Close Workspace"}));
        const auto trigger = [&](const QString &text) {
            for (QAction *action : f.sidebar->optionsMenu()->actions()) {
                if (action->text() == text)
                    action->trigger();
            }
        };

        {
            WalkGate gate;
            f.alerts.folderAnswers = {f.path("two")};
            trigger(QStringLiteral("Change Folder\u2026"));
            QCOMPARE(f.alerts.folderPanels.last().directory, f.path("one"));
            QCOMPARE(f.sidebar->folderNameText(), QStringLiteral("two"));
            QVERIFY(f.sidebar->progressIndicator()->isVisible());
            QVERIFY(f.rows().contains("a.md"));
        }
        QVERIFY(QTest::qWaitFor([&] { return !f.service->isScanning(); }, 10000));
        QCOMPARE(f.rows(), (QStringList{"title PINNED", "pin CLAUDE.md", "gap", "title 1 MARKDOWN FILE", "b.md"}));

        struct Launcher : DesktopShare::Launcher {
            Launcher() { DesktopShare::setLauncher(this); }
            ~Launcher() override { DesktopShare::setLauncher(nullptr); }
            bool startDetached(const QString &, const QStringList &) override { return true; }
            bool openUrl(const QUrl &) override { return true; }
            bool showItemsInFileManager(const QStringList &uris) override { shown += uris; return true; }
            QStringList shown;
        } launcher;
        trigger(QStringLiteral("Show in File Manager"));
        QCOMPARE(launcher.shown, QStringList{QUrl::fromLocalFile(f.path("two")).toString()});

        trigger(QStringLiteral("Close Workspace"));
        QVERIFY(f.sidebar->emptyPrompt()->isVisible());
        QVERIFY(!f.sidebar->folderBar()->isVisible());
        QVERIFY(f.choose("two"));
        QCOMPARE(f.rows().first(), QStringLiteral("title PINNED"));
    }

    // Clicking a file row or a pin opens the file through the document manager and
    // marks its rows; a folder row opens nothing and stays closed.
    void openFromTreeAndPin()
    {
        SidebarFixture f;
        makeTree(f.path("p"), {"AGENTS.md", "docs/guide.md", "notes.md"});
        QVERIFY(f.choose("p"));

        const QModelIndex folder = f.topRow("docs/");
        QTest::mouseClick(f.list().viewport(), Qt::LeftButton, {}, f.centreOf(folder));
        QVERIFY(f.manager.documents().isEmpty());
        QVERIFY(!f.list().isExpanded(folder));

        QTest::mouseClick(f.list().viewport(), Qt::LeftButton, {}, f.centreOf(f.topRow("notes.md")));
        QCOMPARE(selectedPath(f.manager), f.path("p/notes.md"));
        QVERIFY(f.topRow("notes.md").data(AgentWorkspaceModel::IsOpenRole).toBool());

        QTest::mouseClick(f.list().viewport(), Qt::LeftButton, {}, f.centreOf(f.topRow("pin AGENTS.md")));
        QCOMPARE(selectedPath(f.manager), f.path("p/AGENTS.md"));
        QCOMPARE(f.manager.documents().size(), 2);
        // Both rows of the selected file are marked, the other open file's are not.
        QVERIFY(f.topRow("pin AGENTS.md").data(AgentWorkspaceModel::IsOpenRole).toBool());
        QVERIFY(f.topRow("AGENTS.md").data(AgentWorkspaceModel::IsOpenRole).toBool());
        QVERIFY(!f.topRow("notes.md").data(AgentWorkspaceModel::IsOpenRole).toBool());

        // Selecting the other tab moves the mark.
        f.manager.openFile(f.path("p/notes.md"));
        QVERIFY(!f.topRow("pin AGENTS.md").data(AgentWorkspaceModel::IsOpenRole).toBool());
        QVERIFY(f.topRow("notes.md").data(AgentWorkspaceModel::IsOpenRole).toBool());
    }

    // The star shows on a hovered file and on every pinned one, never on a folder;
    // its tooltip says what it does; clicking it pins or unpins without opening. A
    // pin's cross shows while hovered and unpins.
    void hoverButtons()
    {
        SidebarFixture f;
        makeTree(f.path("p"), {"docs/guide.md", "notes.md"});
        QVERIFY(f.choose("p"));
        QWidget *viewport = f.list().viewport();
        const auto button = [&](const QString &row, bool hovered) {
            const QModelIndex index = f.topRow(row);
            return AgentWorkspaceRowDelegate::buttonRect(index, f.list().rowRect(index), hovered);
        };
        QVERIFY(button("notes.md", false).isEmpty());
        QVERIFY(button("docs/", true).isEmpty());

        QTest::mouseMove(viewport, f.centreOf(f.topRow("notes.md")));
        QCOMPARE(f.list().hoveredIndex(), f.topRow("notes.md"));
        const QRect star = button("notes.md", true);
        QHelpEvent tip(QEvent::ToolTip, star.center(), viewport->mapToGlobal(star.center()));
        QCoreApplication::sendEvent(viewport, &tip);
        QCOMPARE(QToolTip::text(), QStringLiteral("Pin to top"));

        QTest::mouseClick(viewport, Qt::LeftButton, {}, star.center());
        QVERIFY(f.manager.documents().isEmpty());
        QCOMPARE(f.rows().mid(0, 2), (QStringList{"title PINNED", "pin notes.md"}));
        QVERIFY(!button("notes.md", false).isEmpty());
        QCOMPARE(AgentWorkspaceRowDelegate::buttonToolTip(f.topRow("notes.md")), QStringLiteral("Unpin"));

        // The cross of the pin.
        QVERIFY(button("pin notes.md", false).isEmpty());
        QTest::mouseMove(viewport, f.centreOf(f.topRow("pin notes.md")));
        const QRect cross = button("pin notes.md", true);
        QHelpEvent crossTip(QEvent::ToolTip, cross.center(), viewport->mapToGlobal(cross.center()));
        QCoreApplication::sendEvent(viewport, &crossTip);
        QCOMPARE(QToolTip::text(), QStringLiteral("Unpin"));
        QTest::mouseClick(viewport, Qt::LeftButton, {}, cross.center());
        QVERIFY(f.manager.documents().isEmpty());
        QCOMPARE(f.rows(), (QStringList{"title 2 MARKDOWN FILES", "docs/", "notes.md"}));
        QVERIFY(!f.topRow("notes.md").data(AgentWorkspaceModel::IsFavoriteRole).toBool());
    }

    // The arrow keys move over rows (not titles) and open folders; Enter opens a file.
    void keyboard()
    {
        SidebarFixture f;
        makeTree(f.path("p"), {"CLAUDE.md", "docs/guide.md", "notes.md"});
        QVERIFY(f.choose("p"));
        f.list().setFocus();
        f.list().setCurrentIndex(f.topRow("pin CLAUDE.md"));
        QTest::keyClick(&f.list(), Qt::Key_Down);
        QCOMPARE(f.list().currentIndex(), f.topRow("docs/"));
        QTest::keyClick(&f.list(), Qt::Key_Right);
        QVERIFY(f.list().isExpanded(f.topRow("docs/")));
        QTest::keyClick(&f.list(), Qt::Key_Down);
        QCOMPARE(f.list().currentIndex().data().toString(), QStringLiteral("guide.md"));
        QTest::keyClick(&f.list(), Qt::Key_Return);
        QCOMPARE(selectedPath(f.manager), f.path("p/docs/guide.md"));
        f.list().setCurrentIndex(f.topRow("docs/"));
        QTest::keyClick(&f.list(), Qt::Key_Return);
        QVERIFY(!f.list().isExpanded(f.topRow("docs/")));
    }

    // A new walk of the same folder keeps the folders the user had opened.
    void refreshKeepsOpenFolders()
    {
        SidebarFixture f;
        makeTree(f.path("p"), {"docs/guide.md", "docs/deep/x.md", "other/y.md"});
        QVERIFY(f.choose("p"));
        f.list().expand(f.topRow("docs/"));
        f.service->refresh();
        QVERIFY(QTest::qWaitFor([&] { return !f.service->isScanning(); }, 10000));
        QVERIFY(f.list().isExpanded(f.topRow("docs/")));
        QVERIFY(!f.list().isExpanded(f.topRow("other/")));
    }

    // Every change the list goes through keeps the model consistent for its views:
    // pins coming and going above the tree, the notice, a new walk, closing.
    void modelStaysConsistent()
    {
        SidebarFixture f;
        QAbstractItemModelTester tester(&f.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        makeTree(f.path("p"), {"AGENTS.md", "docs/a.md", "docs/deep/b.md", "c.md"});
        QVERIFY(f.choose("p"));
        f.list().expandAll();
        f.service->toggleFavorite(AgentFileNode{f.path("p/docs/deep/b.md"), "b.md", false, {}});
        f.service->toggleFavorite(AgentFileNode{f.path("p/c.md"), "c.md", false, {}});
        QVERIFY(f.list().isExpanded(f.topRow("docs/")));
        for (const AgentFavorite &pin : QList<AgentFavorite>(f.service->favorites()))
            f.service->removeFavorite(pin);
        QCOMPARE(f.rows().first(), QStringLiteral("title 4 MARKDOWN FILES"));
        QVERIFY(f.list().isExpanded(f.topRow("docs/")));
        makeNumberedFiles(f.path("p/many"), 6000);
        f.service->refresh();
        QVERIFY(QTest::qWaitFor([&] { return !f.service->isScanning(); }, 10000));
        QCOMPARE(f.rows().last().left(6), QStringLiteral("notice"));
        QVERIFY(QDir(f.path("p/many")).removeRecursively());
        f.service->refresh();
        QVERIFY(QTest::qWaitFor([&] { return !f.service->isScanning(); }, 10000));
        QCOMPARE(f.rows().last(), QStringLiteral("c.md"));
        f.service->clearRoot();
        QCOMPARE(f.rows(), (QStringList{"title 0 MARKDOWN FILES", "note No markdown files in this folder."}));
    }

    // For a person to look at: the sidebar in light and dark, with pins, an open
    // file, a hovered row and an open folder.
    void screenshots()
    {
        const QString folder = qEnvironmentVariable("SORVANE_SCREENSHOT_DIR");
        if (folder.isEmpty())
            QSKIP("SORVANE_SCREENSHOT_DIR names no folder");
        SidebarFixture f;
        makeTree(f.path("sorvane-notes"),
                 {"AGENTS.md", "CLAUDE.md", "docs/architecture.md", "docs/a-very-long-file-name-that-needs-eliding.md",
                  "docs/plans/roadmap.md", "notes/meeting.md", "README.md", "CHANGELOG.md"});
        QVERIFY(f.choose("sorvane-notes"));
        f.service->toggleFavorite(AgentFileNode{f.path("sorvane-notes/README.md"), "README.md", false, {}});
        f.list().expand(f.topRow("docs/"));
        f.manager.openFile(f.path("sorvane-notes/docs/architecture.md"));
        QDir().mkpath(folder);
        for (const QString &scheme : {QStringLiteral("light"), QStringLiteral("dark")}) {
            f.sidebar->setPalette(MainView::paletteForColorScheme(scheme));
            QTest::mouseMove(f.list().viewport(), f.centreOf(f.topRow("CHANGELOG.md")));
            f.sidebar->grab().save(folder + "/sidebar-" + scheme + ".png");
            SidebarFixture empty;
            empty.sidebar->setPalette(MainView::paletteForColorScheme(scheme));
            empty.sidebar->grab().save(folder + "/sidebar-empty-" + scheme + ".png");
        }
    }
};

SORVANE_TEST_MAIN(tst_AgentWorkspaceSidebar)
#include "tst_AgentWorkspaceSidebar.moc"
