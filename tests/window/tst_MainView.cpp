#include "TestEnvironment.h"
#include "WebEngineTest.h"
#include "WindowTestSupport.h"
#include "documents/TabDocument.h"
#include "editor/EditorView.h"
#include "editor/SorvaneTextView.h"
#include "window/DocumentContentView.h"
#include "window/DocumentToolbar.h"
#include "window/EmptyStateView.h"
#include "window/GlyphButton.h"
#include "window/MainView.h"
#include "window/TabBar.h"
#include "window/TabItemView.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <utility>

namespace {

QList<QUuid> ids(const DocumentManager &manager)
{
    QList<QUuid> result;
    for (const TabDocument *document : manager.documents())
        result.append(document->id());
    return result;
}

// Delivers a file drop the way the window system does: enter, then drop.
bool dropUrls(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData data;
    data.setUrls(urls);
    const QPoint centre = target->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

} // namespace

class tst_MainView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Clicking a tab selects it; its close button and a middle click close it; the
    // New Tab button appends an untitled tab; the last close brings the empty state.
    void tabsSelectAndClose()
    {
        WindowFixture f;
        MainView view(f.manager);
        view.resize(900, 600);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(!view.tabBar()->isVisible());

        for (const char *name : {"a.md", "b.md", "c.md"})
            f.manager.openFile(f.writeFile(QString::fromLatin1(name), "text\n"));
        const QList<QUuid> opened = ids(f.manager);
        QVERIFY(view.tabBar()->isVisible());
        QCOMPARE(view.tabBar()->tabs().size(), 3);
        QCOMPARE(f.manager.selectedId(), opened.at(2));

        QTest::mouseClick(view.tabBar()->tabs().at(0), Qt::LeftButton);
        QCOMPARE(f.manager.selectedId(), opened.at(0));
        QVERIFY(view.documentPane());
        QCOMPARE(view.documentPane()->document()->id(), opened.at(0));
        QVERIFY(view.tabBar()->tabs().at(0)->closeButton()->isVisibleTo(view.tabBar()->tabs().at(0)));
        QVERIFY(!view.tabBar()->tabs().at(1)->closeButton()->isVisibleTo(view.tabBar()->tabs().at(1)));

        // Hovering an unselected tab shows its close button; clicking it closes that
        // tab without selecting it.
        TabItemView *second = view.tabBar()->tabs().at(1);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), second->mapToGlobal(QPointF(5, 5)));
        QCoreApplication::sendEvent(second, &enter);
        QVERIFY(second->closeButton()->isVisibleTo(second));
        QTest::mouseClick(second->closeButton(), Qt::LeftButton);
        QCOMPARE(ids(f.manager), (QList<QUuid>{opened.at(0), opened.at(2)}));
        QCOMPARE(f.manager.selectedId(), opened.at(0));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(view.tabBar()->tabs().size(), 2);

        QTest::mouseClick(view.tabBar()->tabs().at(1), Qt::MiddleButton);
        QCOMPARE(ids(f.manager), QList<QUuid>{opened.at(0)});

        QTest::mouseClick(view.tabBar()->newTabButton(), Qt::LeftButton);
        QCOMPARE(f.manager.documents().size(), 2);
        QCOMPARE(f.manager.selectedDocument()->title(), QStringLiteral("Untitled"));
        QVERIFY(!f.manager.selectedDocument()->isModified());

        while (!f.manager.documents().isEmpty())
            QTest::mouseClick(view.tabBar()->tabs().at(0)->closeButton(), Qt::LeftButton);
        QVERIFY(!view.tabBar()->isVisible());
        QVERIFY(!view.documentPane());
        QVERIFY(view.emptyState()->isVisible());
    }

    // Closing a modified tab asks first; Cancel keeps it and its pane.
    void closingModifiedTabAsks()
    {
        WindowFixture f;
        MainView view(f.manager);
        view.show();
        f.manager.newDocument(QStringLiteral("draft"), false);
        QVERIFY(f.manager.selectedDocument()->isModified());
        f.alerts.alertAnswers = {2}; // Save, Don't Save, Cancel
        QTest::mouseClick(view.tabBar()->tabs().at(0)->closeButton(), Qt::LeftButton);
        QCOMPARE(f.alerts.alerts.size(), 1);
        QCOMPARE(f.manager.documents().size(), 1);
        QVERIFY(view.documentPane());
    }

    void modifiedMarkerFollowsDocument()
    {
        WindowFixture f;
        MainView view(f.manager);
        view.show();
        f.manager.openFile(f.writeFile(QStringLiteral("note.md"), "one\n"));
        TabItemView *tab = view.tabBar()->tabs().at(0);
        const int cleanWidth = tab->sizeHint().width();
        TabDocument *document = f.manager.selectedDocument();
        document->userEditedRange(0, 0, QStringLiteral("x"));
        QVERIFY(document->isModified());
        QVERIFY(tab->sizeHint().width() > cleanWidth); // room for the dot
        QVERIFY(f.manager.save(document));
        QCOMPARE(tab->sizeHint().width(), cleanWidth);
    }

    // The title follows the selection and the modified flag, one turn of the loop later.
    void titleFollowsSelection()
    {
        WindowFixture f;
        MainView view(f.manager);
        QSignalSpy titles(&view, &MainView::windowTitleTextChanged);
        QCOMPARE(view.windowTitleText(), QStringLiteral("sorv.ane"));

        f.manager.newDocument(QStringLiteral("draft"), false);
        QTRY_COMPARE(view.windowTitleText(), QStringLiteral("Untitled \u2014 Edited"));
        QCOMPARE(view.windowTitle(), view.windowTitleText());

        // Saved under a name: the file name, no suffix.
        const QString path = f.dir.filePath(QStringLiteral("saved.md"));
        f.alerts.saveAnswers = {path};
        QVERIFY(f.manager.saveAs(f.manager.selectedDocument()));
        QTRY_COMPARE(view.windowTitleText(), QStringLiteral("saved.md"));

        f.manager.selectedDocument()->userEditedRange(0, 0, QStringLiteral("more "));
        QTRY_COMPARE(view.windowTitleText(), QStringLiteral("saved.md \u2014 Edited"));

        // Documents open but none selected: the empty state and the bare name.
        f.manager.setSelectedId(QUuid());
        QTRY_COMPARE(view.windowTitleText(), QStringLiteral("sorv.ane"));
        QVERIFY(!view.documentPane());
        QVERIFY(view.tabBar()->isVisibleTo(&view));
        QVERIFY(view.emptyState()->isVisibleTo(&view));
        QCOMPARE(titles.last().at(0).toString(), QStringLiteral("sorv.ane"));
    }

    // Selecting another tab builds a fresh pane for it.
    void selectingBuildsFreshPane()
    {
        WindowFixture f;
        MainView view(f.manager);
        QSignalSpy panes(&view, &MainView::documentPaneChanged);
        f.manager.newDocument(QStringLiteral("first"), true);
        f.manager.newDocument(QStringLiteral("second"), true);
        QPointer<DocumentContentView> secondPane = view.documentPane();
        QVERIFY(secondPane);
        f.manager.setSelectedId(f.manager.documents().at(0)->id());
        QVERIFY(view.documentPane() != secondPane.data());
        QCOMPARE(view.documentPane()->document()->text(), QStringLiteral("first"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!secondPane);
        QCOMPARE(panes.size(), 3);
    }

    void newTabTakesFocus_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<bool>("editorFocused");
        QTest::newRow("Editor") << QStringLiteral("Editor") << true;
        QTest::newRow("Split") << QStringLiteral("Split") << true;
        QTest::newRow("Preview") << QStringLiteral("Preview") << false;
    }

    // A new tab and a newly selected one put the caret in their editor, so typing goes
    // straight into the document; without an editor on screen, keys reach no document.
    void newTabTakesFocus()
    {
        QFETCH(QString, layout);
        QFETCH(bool, editorFocused);
        WindowFixture f;
        Settings::shared().setValue(QStringLiteral("preferredViewMode"), layout);
        const QString path = f.writeFile(QStringLiteral("b.md"), "b\n");
        MainView view(f.manager);
        view.resize(1000, 600);
        view.show();
        view.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&view));

        const QList<std::pair<const char *, std::function<void()>>> steps{
            {"new document", [&] { f.manager.newDocument(); }},
            {"opened file", [&] { f.manager.openFile(path); }},
            {"tab clicked", [&] { QTest::mouseClick(view.tabBar()->tabs().at(0), Qt::LeftButton); }},
        };
        for (const auto &[step, select] : steps) {
            select();
            DocumentContentView *pane = view.documentPane();
            QVERIFY2(pane, step);
            TabDocument *document = pane->document();
            QCOMPARE(document->id(), f.manager.selectedId());
            SorvaneTextView *textView = pane->editor()->textView();
            const QString before = document->text();
            QWidget *focus = QApplication::focusWidget();
            const QByteArray where = QByteArray(step) + ": focus on "
                + (focus ? focus->metaObject()->className() : "nothing");
            if (editorFocused) {
                QVERIFY2(focus == textView, where.constData());
            } else {
                QVERIFY2(!textView->hasFocus(), where.constData());
                QVERIFY2(!focus || focus->isVisible(), where.constData());
            }
            QTest::keyClicks(focus, QStringLiteral("typed"));
            const auto typedCount = [](const QString &text) { return text.count(QStringLiteral("typed")); };
            QCOMPARE(typedCount(document->text()), typedCount(before) + (editorFocused ? 1 : 0));
            QCOMPARE(document->text().size(), before.size() + (editorFocused ? 5 : 0));
        }
    }

    void chrome_data()
    {
        QTest::addColumn<bool>("distractionFree");
        QTest::addColumn<bool>("showWorkspace");
        QTest::addColumn<bool>("withSidebar");
        QTest::addColumn<bool>("tabBarShown");
        QTest::addColumn<bool>("sidebarShown");
        QTest::addColumn<int>("minimumWidth");
        QTest::newRow("plain") << false << false << true << true << false << 500;
        QTest::newRow("workspace") << false << true << true << true << true << 760;
        QTest::newRow("workspace, no sidebar yet") << false << true << false << true << false << 500;
        QTest::newRow("distraction-free") << true << true << true << false << false << 500;
    }

    // Distraction-free mode hides the tab bar, the sidebar and the toolbar; the minimum
    // width makes room for the sidebar only while it shows.
    void chrome()
    {
        QFETCH(bool, distractionFree);
        QFETCH(bool, showWorkspace);
        QFETCH(bool, withSidebar);
        WindowFixture f;
        MainView view(f.manager);
        if (withSidebar)
            view.setWorkspaceSidebar(new QWidget);
        f.manager.newDocument(QStringLiteral("text"), true);
        Settings::shared().setValue(QStringLiteral("showWorkspace"), showWorkspace);
        Settings::shared().setValue(QStringLiteral("distractionFree"), distractionFree);
        QTEST(view.tabBar()->isVisibleTo(&view), "tabBarShown");
        QTEST(view.isWorkspaceSidebarShown(), "sidebarShown");
        QTEST(view.minimumContentSize().width(), "minimumWidth");
        QCOMPARE(view.minimumSize(), view.minimumContentSize());
        QCOMPARE(view.minimumContentSize().height(), 400);
        QCOMPARE(view.documentPane()->toolbar()->isVisibleTo(view.documentPane()), !distractionFree);
    }

    // Switching the workspace on asks the host once for room; switching it off does not.
    void workspaceAsksForWidthOnce()
    {
        WindowFixture f;
        MainView view(f.manager);
        view.setWorkspaceSidebar(new QWidget);
        QSignalSpy widen(&view, &MainView::workspaceWidthNeeded);
        Settings::shared().setValue(QStringLiteral("showWorkspace"), true);
        Settings::shared().setValue(QStringLiteral("showWorkspace"), true);
        Settings::shared().setValue(QStringLiteral("showWorkspace"), false);
        QCOMPARE(widen.size(), 1);
    }

    // The empty state lists the first five recent files, in order; its buttons act.
    void emptyStateRecentFilesAndButtons()
    {
        WindowFixture f;
        MainView view(f.manager);
        QList<QUrl> opened;
        for (int i = 0; i < 7; ++i)
            f.manager.openFile(f.writeFile(QStringLiteral("r%1.md").arg(i), "x\n"));
        while (!f.manager.documents().isEmpty())
            f.manager.closeDocument(f.manager.documents().first()->id());
        QCOMPARE(f.manager.recentDocuments().size(), 7);
        QCOMPARE(view.emptyState()->shownRecentFiles(), f.manager.recentDocuments().mid(0, 5));
        QVERIFY(view.emptyState()->recentSection()->isVisibleTo(view.emptyState()));

        f.manager.clearRecentDocuments();
        QVERIFY(view.emptyState()->shownRecentFiles().isEmpty());
        QVERIFY(!view.emptyState()->recentSection()->isVisibleTo(view.emptyState()));

        QTest::mouseClick(view.emptyState()->newDocumentButton(), Qt::LeftButton);
        QCOMPARE(f.manager.documents().size(), 1);
        QVERIFY(view.documentPane());

        f.manager.setSelectedId(QUuid());
        f.alerts.openAnswers = {{f.writeFile(QStringLiteral("picked.md"), "p\n")}};
        QTest::mouseClick(view.emptyState()->openFileButton(), Qt::LeftButton);
        QCOMPARE(f.alerts.openPanels.size(), 1);
        QCOMPARE(f.manager.selectedDocument()->title(), QStringLiteral("picked.md"));
    }

    void folderLine_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<QString>("folder");
        QTest::newRow("root") << QUrl::fromLocalFile(QStringLiteral("/a.md")) << QStringLiteral("/");
        QTest::newRow("nested") << QUrl::fromLocalFile(QStringLiteral("/home/me/notes/a.md")) << QStringLiteral("/home/me/notes");
        QTest::newRow("spaces") << QUrl::fromLocalFile(QStringLiteral("/tmp/my notes/b c.md")) << QStringLiteral("/tmp/my notes");
    }

    void folderLine()
    {
        QFETCH(QUrl, url);
        QTEST(EmptyStateView::folderLine(url), "folder");
    }

    // Dropped files open in the order dropped, the last one selected; a file already
    // open is only selected; a URL of any kind reaches the manager, which reports it.
    void emptyStateTakesDrops()
    {
        WindowFixture f;
        MainView view(f.manager);
        view.resize(800, 600);
        view.show();
        EmptyStateView *empty = view.emptyState();
        QVERIFY(empty->acceptDrops());
        QVERIFY(!view.acceptDrops());

        const QList<QUrl> urls{QUrl::fromLocalFile(f.writeFile(QStringLiteral("one.md"), "1\n")),
                               QUrl::fromLocalFile(f.writeFile(QStringLiteral("two.txt"), "2\n")),
                               QUrl::fromLocalFile(f.writeFile(QStringLiteral("three.md"), "3\n"))};
        QVERIFY(dropUrls(empty, urls));
        QStringList titles;
        for (const TabDocument *document : f.manager.documents())
            titles << document->title();
        QCOMPARE(titles, (QStringList{QStringLiteral("one.md"), QStringLiteral("two.txt"), QStringLiteral("three.md")}));
        QCOMPARE(f.manager.selectedDocument()->title(), QStringLiteral("three.md"));
        QVERIFY(!empty->isDropTargeted());

        f.manager.setSelectedId(QUuid());
        QVERIFY(dropUrls(empty, {urls.at(0)}));
        QCOMPARE(f.manager.documents().size(), 3);
        QCOMPARE(f.manager.selectedDocument()->title(), QStringLiteral("one.md"));

        f.manager.setSelectedId(QUuid());
        QVERIFY(dropUrls(empty, {QUrl(QStringLiteral("https://example.org/page"))}));
        QCOMPARE(f.alerts.alerts.size(), 1); // reported by the manager
        QCOMPARE(f.manager.documents().size(), 3);

        QVERIFY(!dropUrls(empty, {}));
    }

    // The colour scheme the host applies: dark gives a dark window, light a light one.
    void colorSchemeReachesHost()
    {
        WindowFixture f;
        MainView view(f.manager);
        connect(&view, &MainView::colorSchemeChanged, &view,
                [&view](const QString &scheme) { view.setPalette(MainView::paletteForColorScheme(scheme)); });
        QSignalSpy schemes(&view, &MainView::colorSchemeChanged);
        view.resize(900, 600);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.colorScheme(), QString());

        Settings::shared().setValue(QStringLiteral("appearanceMode"), QStringLiteral("Dark"));
        QCOMPARE(schemes.size(), 1);
        QCOMPARE(view.colorScheme(), QStringLiteral("dark"));
        QVERIFY(grabAndKeep(view, QStringLiteral("empty-dark")).pixelColor(20, 300).lightnessF() < 0.3);

        f.manager.openFile(f.writeFile(QStringLiteral("sample.md"), sampleMarkdown.toUtf8()));
        QTest::qWait(200);
        QVERIFY(grabAndKeep(view, QStringLiteral("split-dark")).pixelColor(20, 300).lightnessF() < 0.3);

        Settings::shared().setValue(QStringLiteral("appearanceMode"), QStringLiteral("Light"));
        QCOMPARE(view.colorScheme(), QStringLiteral("light"));
        QVERIFY(grabAndKeep(view, QStringLiteral("split-light")).pixelColor(20, 300).lightnessF() > 0.7);

        // A stored value that is no mode reads as Auto: the desktop's scheme.
        Settings::shared().setValue(QStringLiteral("appearanceMode"), QStringLiteral("Sepia"));
        QCOMPARE(view.colorScheme(), QString());
        f.manager.setSelectedId(QUuid());
        grabAndKeep(view, QStringLiteral("empty-auto"));
    }
};

SORVANE_WEBENGINE_TEST_MAIN(tst_MainView)
#include "tst_MainView.moc"
