#include "TestEnvironment.h"
#include "WebEngineTest.h"
#include "WindowTestSupport.h"
#include "diagnostics/Analytics.h"
#include "editor/EditorView.h"
#include "export/DocumentExportCommands.h"
#include "export/DocumentExporter.h"
#include "editor/FindReplaceBar.h"
#include "editor/SorvaneTextView.h"
#include "editor/vim/VimModeController.h"
#include "documents/EditorRequestHub.h"
#include "documents/TabDocument.h"
#include "window/DocumentContentView.h"
#include "window/DocumentToolbar.h"
#include "window/GlyphButton.h"
#include "window/MainView.h"
#include "window/MainWindow.h"
#include "preview/MarkdownPreview.h"
#include "window/OutlineSidebar.h"
#include "window/PaneSplitter.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QLabel>
#include <QListWidget>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSplitter>
#include <QThreadPool>
#include <QtTest>

#include <atomic>
#include <memory>
#include <optional>

namespace {

struct Posted
{
    bool replace;
    QUuid documentID;
};

// Records the find and replace requests sent through the editor request hub.
class PostRecorder
{
public:
    PostRecorder()
    {
        auto &hub = EditorRequestHub::shared();
        m_connections = {
            QObject::connect(&hub, &EditorRequestHub::findRequested,
                             [this](const QUuid &documentID) { posts.append({false, documentID}); }),
            QObject::connect(&hub, &EditorRequestHub::replaceRequested,
                             [this](const QUuid &documentID) { posts.append({true, documentID}); }),
        };
    }
    ~PostRecorder()
    {
        for (const auto &connection : std::as_const(m_connections))
            QObject::disconnect(connection);
    }
    QList<Posted> posts;

private:
    QList<QMetaObject::Connection> m_connections;
};

// Drags a splitter handle sideways by `dx`, as a mouse would.
void dragHandle(QSplitterHandle *handle, int dx)
{
    const QPoint from(handle->width() / 2, handle->height() / 2);
    const auto send = [handle](QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, handle->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(handle, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, from + QPoint(dx, 0), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from + QPoint(dx, 0), Qt::NoButton);
}

// A shown pane whose first render has landed.
std::unique_ptr<DocumentContentView> showPane(DocumentManager &manager, TabDocument *document)
{
    auto pane = std::make_unique<DocumentContentView>(manager, document);
    pane->resize(1200, 600);
    pane->show();
    if (!QTest::qWaitFor([&] { return !pane->isRendering(); }, 20000))
        QTest::qFail("the pane's first render never landed", __FILE__, __LINE__);
    return pane;
}

// A render function for new panes that holds every render until released, and
// notes where and how many ran. A failed check must not leave a worker waiting
// for ever: the destructor releases and drains the pool.
struct HeldRenders
{
    HeldRenders()
    {
        DocumentContentView::setDefaultRenderFunction([this](const QString &text) {
            if (QThread::currentThread() == gui)
                onGuiThread = true;
            const int now = ++running;
            int seen = mostAtOnce.load();
            while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {
            }
            ++started;
            // Bounded, so an unfixed synchronous render shows up as a failure, not a hang.
            release.tryAcquire(1, 5000);
            --running;
            return QStringLiteral("<p>") + text + QStringLiteral("</p>");
        });
    }
    ~HeldRenders()
    {
        DocumentContentView::setDefaultRenderFunction({});
        release.release(1000);
        QThreadPool::globalInstance()->waitForDone();
        release.acquire(release.available());
    }

    QThread *gui = QThread::currentThread();
    QSemaphore release;
    std::atomic<bool> onGuiThread{false};
    std::atomic<int> started{0};
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
};

} // namespace

class tst_DocumentContentView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void layouts_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("editorShown");
        QTest::addColumn<bool>("previewShown");
        QTest::addColumn<bool>("formattingShown");
        QTest::newRow("Editor") << QStringLiteral("Editor") << true << false << true;
        QTest::newRow("Split") << QStringLiteral("Split") << true << true << true;
        QTest::newRow("Preview") << QStringLiteral("Preview") << false << true << false;
        QTest::newRow("unknown reads as split") << QStringLiteral("split") << true << true << true;
    }

    // Each layout shows what it names and keeps the text; typing in between survives
    // every switch, in the editor and in the document.
    void layouts()
    {
        QFETCH(QString, stored);
        WindowFixture f;
        f.manager.newDocument(QStringLiteral("# Title\n\nBody"), true);
        TabDocument *document = f.manager.selectedDocument();
        auto pane = showPane(f.manager, document);
        QCOMPARE(pane->splitter()->x(), 0); // no outline: the content starts at the edge
        pane->editor()->textView()->moveCursor(QTextCursor::End);
        QTest::keyClicks(pane->editor()->textView(), QStringLiteral(" typed"));
        const QString expected = QStringLiteral("# Title\n\nBody typed");
        QCOMPARE(document->text(), expected);

        Settings::shared().setValue(QStringLiteral("preferredViewMode"), stored);
        QTEST(pane->editor()->isVisible(), "editorShown");
        QTEST(pane->preview()->isVisible(), "previewShown");
        QTEST(pane->toolbar()->formattingGroup()->isVisible(), "formattingShown");
        const bool split = pane->editor()->isVisible() && pane->preview()->isVisible();
        QCOMPARE(pane->toolbar()->viewModeButton(ViewMode::Split)->isHighlighted(), split);
        if (split)
            QVERIFY(pane->editor()->width() >= DocumentContentView::minimumSplitWidth);

        Settings::shared().setValue(QStringLiteral("preferredViewMode"), QStringLiteral("Editor"));
        QCOMPARE(pane->editor()->text(), expected);
        QCOMPARE(document->text(), expected);
        QVERIFY(pane->renderedHTML().contains(QStringLiteral("Title")));
    }

    void splitKeepsShareOnResize_data()
    {
        QTest::addColumn<int>("drag");
        QTest::addColumn<QList<int>>("widths");
        QTest::newRow("even split") << 0 << QList<int>{1800, 1300, 760, 1600};
        QTest::newRow("after a drag") << -150 << QList<int>{1800, 900, 1400};
    }

    // Both panes keep their share of the width however the window is sized, and the
    // handle is something a user can see and grab.
    void splitKeepsShareOnResize()
    {
        QFETCH(int, drag);
        QFETCH(QList<int>, widths);
        WindowFixture f;
        f.manager.newDocument(sampleMarkdown, true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        PaneSplitter *splitter = pane->splitter();
        QSplitterHandle *handle = splitter->handle(1);
        QVERIFY(handle->isVisible());
        QVERIFY(handle->width() >= 5);
        QCOMPARE(handle->cursor().shape(), Qt::SplitHCursor);
        const QImage look = handle->grab().toImage();
        QVERIFY(look.pixelColor(handle->width() / 2, handle->height() / 2) != pane->palette().color(QPalette::Base));

        const auto share = [&] {
            const int room = pane->editor()->width() + pane->preview()->width();
            return double(pane->editor()->width()) / room;
        };
        QTRY_VERIFY(qAbs(share() - 0.5) < 0.01);
        if (drag != 0) {
            dragHandle(handle, drag);
            QVERIFY(qAbs(share() - 0.5) > 0.05);
        }
        const double expected = share();
        for (const int width : widths) {
            pane->resize(width, 600);
            const auto kept = [&] {
                const int room = pane->editor()->width() + pane->preview()->width();
                return room > width - 20 && qAbs(pane->editor()->width() - expected * room) <= 3;
            };
            QVERIFY2(QTest::qWaitFor(kept), qPrintable(QStringLiteral("at %1: editor %2, preview %3")
                                                            .arg(width)
                                                            .arg(pane->editor()->width())
                                                            .arg(pane->preview()->width())));
        }
    }

    void toolbarSwitchesLayout()
    {
        WindowFixture f;
        f.manager.newDocument(QStringLiteral("text"), true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        QTest::mouseClick(pane->toolbar()->viewModeButton(ViewMode::Preview), Qt::LeftButton);
        QCOMPARE(Settings::shared().stringValue(QStringLiteral("preferredViewMode")), QStringLiteral("Preview"));
        QVERIFY(!pane->editor()->isVisible());
        QTest::mouseClick(pane->toolbar()->viewModeButton(ViewMode::Editor), Qt::LeftButton);
        QCOMPARE(Settings::shared().stringValue(QStringLiteral("preferredViewMode")), QStringLiteral("Editor"));
        QVERIFY(pane->editor()->isVisible());
        QCOMPARE(pane->editor()->text(), QStringLiteral("text"));
    }

    void findRouting_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("after");
        QTest::newRow("find in preview") << false << QStringLiteral("Preview") << QStringLiteral("Editor");
        QTest::newRow("replace in preview") << true << QStringLiteral("Preview") << QStringLiteral("Editor");
        QTest::newRow("find in split") << false << QStringLiteral("Split") << QStringLiteral("Split");
        QTest::newRow("replace in editor") << true << QStringLiteral("Editor") << QStringLiteral("Editor");
    }

    // Only the pane of the requested document reacts: a stored "Preview" becomes
    // "Editor", then the request is posted for that document once, after the switch,
    // and its editor opens the find bar. The other document's pane posts nothing.
    void findRouting()
    {
        QFETCH(bool, replace);
        QFETCH(QString, stored);
        WindowFixture f;
        Settings::shared().setValue(QStringLiteral("preferredViewMode"), stored);
        f.manager.newDocument(QStringLiteral("other"), true);
        TabDocument *other = f.manager.selectedDocument();
        f.manager.newDocument(QStringLiteral("find me"), true);
        TabDocument *target = f.manager.selectedDocument();
        auto otherPane = showPane(f.manager, other);
        auto targetPane = showPane(f.manager, target);
        PostRecorder recorder;

        if (replace)
            f.manager.requestReplace();
        else
            f.manager.requestFind();
        QTEST(Settings::shared().stringValue(QStringLiteral("preferredViewMode")), "after");
        QVERIFY(recorder.posts.isEmpty()); // posted after the current update
        QTRY_COMPARE(recorder.posts.size(), 1);
        QCOMPARE(recorder.posts.at(0).replace, replace);
        QCOMPARE(recorder.posts.at(0).documentID, target->id());
        QVERIFY(targetPane->editor()->isVisible());
        QVERIFY(targetPane->editor()->findBar()->isVisible());
        QVERIFY(!otherPane->editor()->findBar()->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(recorder.posts.size(), 1);
    }

    // A request for another open document leaves this pane's layout alone.
    void requestForOtherDocumentChangesNothing()
    {
        WindowFixture f;
        Settings::shared().setValue(QStringLiteral("preferredViewMode"), QStringLiteral("Preview"));
        f.manager.newDocument(QStringLiteral("shown"), true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        f.manager.newDocument(QStringLiteral("selected elsewhere"), true);
        PostRecorder recorder;
        // No pane of the selected document exists: nothing may change or be posted.
        f.manager.requestFind();
        QCoreApplication::processEvents();
        QCOMPARE(Settings::shared().stringValue(QStringLiteral("preferredViewMode")), QStringLiteral("Preview"));
        QVERIFY(recorder.posts.isEmpty());
        QVERIFY(!pane->editor()->isVisible());
    }

    // The outline lists the sample's headings; clicking one puts the editor's caret at
    // that heading.
    void outlineMovesCaret()
    {
        WindowFixture f;
        Settings::shared().setValue(QStringLiteral("showOutline"), true);
        f.manager.newDocument(sampleMarkdown, true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        OutlineSidebar *outline = pane->outline();
        QVERIFY(outline);
        QCOMPARE(pane->splitter()->x(), DocumentContentView::outlineWidth + 1);
        QStringList titles;
        for (const OutlineEntry &entry : outline->items())
            titles << entry.title;
        QCOMPARE(titles, (QStringList{QStringLiteral("Project notes"), QStringLiteral("Tasks"), QStringLiteral("Details"),
                                      QStringLiteral("Code")}));
        QCOMPARE(outline->list()->count(), 4);

        const OutlineEntry details = outline->items().at(2);
        QCOMPARE(sampleMarkdown.mid(details.location, 10), QStringLiteral("## Details"));
        QListWidget *list = outline->list();
        const QRect row = list->visualItemRect(list->item(2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(pane->editor()->textView()->textCursor().position(), int(details.location));

        Settings::shared().setValue(QStringLiteral("showOutline"), false);
        QVERIFY(!pane->outline());
    }

    void outlineSkipsCode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("titles");
        QTest::newRow("backtick fence") << "# A\n```\n# not\n```\n## B" << QStringList{"A", "B"};
        QTest::newRow("tilde fence with info") << "~~~ sh\n# comment\n~~~\n# C" << QStringList{"C"};
        QTest::newRow("indented fence") << "   ```\n# not\n   ```\n# D" << QStringList{"D"};
        QTest::newRow("longer closing fence") << "````\n# not\n`````\n# E" << QStringList{"E"};
        QTest::newRow("shorter fence does not close") << "````\n```\n# not\n````\n# F" << QStringList{"F"};
        QTest::newRow("other marker does not close") << "```\n~~~\n# not\n```\n# G" << QStringList{"G"};
        QTest::newRow("unclosed fence runs to the end") << "# H\n```\n# not" << QStringList{"H"};
        QTest::newRow("backtick in info is no fence") << "``` a`b\n# I" << QStringList{"I"};
        QTest::newRow("four spaces is no fence") << "    ```\n# J\n    ```" << QStringList{"J"};
        QTest::newRow("crlf") << "```\r\n# not\r\n```\r\n# K" << QStringList{"K"};
        QTest::newRow("heading right after indented code") << "text\n\n    code\n# L" << QStringList{"L"};
        QTest::newRow("no code at all") << "# M\n## N" << QStringList{"M", "N"};
    }

    // Heading-like lines in code blocks are code, not headings: the outline leaves them out.
    void outlineSkipsCode()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, titles);
        QStringList found;
        for (const OutlineEntry &entry : OutlineSidebar::headings(text))
            found << entry.title;
        QCOMPARE(found, titles);
        OutlineSidebar sidebar(QUuid::createUuid(), text);
        QCOMPARE(sidebar.list()->count(), titles.size());
    }

    // In the preview-only layout a click on a heading brings the page to it; the
    // editor still gets its caret there.
    void outlineScrollsPreview()
    {
        WindowFixture f;
        Settings::shared().setValue(QStringLiteral("showOutline"), true);
        Settings::shared().setValue(QStringLiteral("preferredViewMode"), QStringLiteral("Preview"));
        QString text = QStringLiteral("# Top\n\n");
        for (int i = 0; i < 80; ++i)
            text += QStringLiteral("Paragraph %1 with enough words to take a line.\n\n").arg(i);
        text += QStringLiteral("```\n# Fake\n```\n\n## Far **down**\n\nEnd.\n");
        for (int i = 0; i < 80; ++i)
            text += QStringLiteral("Tail %1.\n\n").arg(i);
        f.manager.newDocument(text, true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        QWebEnginePage *page = pane->preview()->page();
        QVERIFY(waitForScript(page, QStringLiteral("document.querySelectorAll('#content h2').length === 1")));
        QCOMPARE(runScript(page, QStringLiteral("window.scrollY")).toInt(), 0);

        OutlineSidebar *outline = pane->outline();
        QCOMPARE(outline->items().size(), 2);
        QListWidget *list = outline->list();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        QCOMPARE(pane->editor()->textView()->textCursor().position(), int(outline->items().at(1).location));
        QVERIFY(waitForScript(page, QStringLiteral("window.scrollY > 0 && Math.abs(document.querySelector('#content h2')"
                                                   ".getBoundingClientRect().top) < 2")));
    }

    // A new heading appears after the pause, not at once.
    void outlineFollowsTyping()
    {
        WindowFixture f;
        Settings::shared().setValue(QStringLiteral("showOutline"), true);
        f.manager.newDocument(QString(), true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        OutlineSidebar *outline = pane->outline();
        QVERIFY(outline->items().isEmpty());
        QVERIFY(outline->list()->isHidden());
        QTest::keyClicks(pane->editor()->textView(), QStringLiteral("# Fresh"));
        QVERIFY(outline->items().isEmpty());
        QVERIFY(outline->isReparsePending());
        QTRY_COMPARE(outline->items().size(), 1);
        QCOMPARE(outline->items().at(0).title, QStringLiteral("Fresh"));
    }

    // The copy menu's two entries put the page on the clipboard, report the toolbar as
    // their source and show "Copied" for a moment; Share offers the desktop's choices.
    void toolbarCopyAndShare()
    {
        WindowFixture f;
        DocumentExporter exporter;
        DocumentExportCommands commands(f.manager, exporter);
        QStringList events;
        Analytics::setObserver([&events](const QString &name, const QVariantMap &properties) {
            events << name + QLatin1Char('/') + properties.value(QStringLiteral("source")).toString();
        });
        f.manager.newDocument(QStringLiteral("# Copy me\n\nSome *text*."), true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        DocumentToolbar *toolbar = pane->toolbar();
        toolbar->setExportCommands(&commands);

        GlyphButton *copy = toolbar->copyButton();
        QCOMPARE(copy->text(), QStringLiteral("Copy"));
        QCOMPARE(copy->toolTip(), QStringLiteral("Copy formatted \u2014 paste into Google Docs, email, and more"));
        QMenu *menu = toolbar->copyMenu();
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("Copy as Rich Text"));
        QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("Copy as HTML"));
        QVERIFY(!menu->actions().at(0)->icon().isNull());
        QTest::mouseClick(copy, Qt::LeftButton);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();

        menu->actions().at(0)->trigger();
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data->html().contains(QStringLiteral("<h1")));
        QCOMPARE(data->text(), QStringLiteral("# Copy me\n\nSome *text*."));
        QVERIFY(toolbar->isShowingCopied());
        QCOMPARE(copy->text(), QStringLiteral("Copied"));
        QVERIFY(QTest::qWaitFor([&] { return !toolbar->isShowingCopied(); }, 5000));
        QCOMPARE(copy->text(), QStringLiteral("Copy"));

        menu->actions().at(1)->trigger();
        const QString html = QGuiApplication::clipboard()->text();
        QVERIFY(html.startsWith(QStringLiteral("<!DOCTYPE html>")) || html.startsWith(QStringLiteral("<html")));
        QVERIFY(html.contains(QStringLiteral("Copy me")));
        QVERIFY(toolbar->isShowingCopied());
        QCOMPARE(events, (QStringList{QStringLiteral("copy_rich_text/toolbar"), QStringLiteral("copy_html/toolbar")}));

        GlyphButton *share = toolbar->shareButton();
        QCOMPARE(share->toolTip(), QStringLiteral("Share"));
        QTest::mouseClick(share, Qt::LeftButton);
        QCOMPARE(f.alerts.menus.size(), 1);
        QCOMPARE(f.alerts.menus.at(0).items.first(), QStringLiteral("Email"));
        QCOMPARE(f.alerts.menus.at(0).anchor.topLeft(), share->mapToGlobal(QPoint(0, 0)));
        Analytics::setObserver(nullptr);
    }

    void toolbarFitsNarrowWindows_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("allFormatting");
        QTest::newRow("default window") << 900 << false;
        QTest::newRow("wide window") << 1400 << true;
    }

    // However narrow the window, the toolbar's controls never land on top of each
    // other: formatting buttons that do not fit are left out from the end, and come
    // back when there is room.
    void toolbarFitsNarrowWindows()
    {
        QFETCH(int, width);
        QFETCH(bool, allFormatting);
        WindowFixture f;
        f.manager.newDocument(QStringLiteral("text"), true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        // As in the main window, whose minimum size is set below what the row asks for.
        pane->setMinimumSize(1, 1);
        pane->resize(600, 600); // narrower first: the buttons must come back
        QTRY_VERIFY(pane->toolbar()->width() <= 600);
        pane->resize(width, 600);
        DocumentToolbar *toolbar = pane->toolbar();
        QTRY_COMPARE(toolbar->width(), width);
        QList<QWidget *> controls;
        for (QWidget *child : toolbar->findChildren<QWidget *>()) {
            if (child->isVisibleTo(toolbar) && (qobject_cast<GlyphButton *>(child) || qobject_cast<QLabel *>(child)))
                controls << child;
        }
        QVERIFY(controls.size() > 10);
        for (qsizetype i = 0; i < controls.size(); ++i) {
            const QRect a(controls[i]->mapTo(toolbar, QPoint(0, 0)), controls[i]->size());
            QVERIFY2(toolbar->rect().contains(a), qPrintable(controls[i]->accessibleName()));
            for (qsizetype j = i + 1; j < controls.size(); ++j) {
                const QRect b(controls[j]->mapTo(toolbar, QPoint(0, 0)), controls[j]->size());
                QVERIFY2(!a.intersects(b), qPrintable(controls[i]->accessibleName() + QStringLiteral(" / ")
                                                      + controls[j]->accessibleName()));
            }
        }
        const QList<GlyphButton *> formatting = toolbar->formattingButtons();
        const auto shown = std::count_if(formatting.cbegin(), formatting.cend(),
                                         [toolbar](GlyphButton *b) { return b->isVisibleTo(toolbar); });
        QCOMPARE(shown == formatting.size(), allFormatting);
        QVERIFY(shown >= 3);
    }

    void toolbarFormatting_data()
    {
        QTest::addColumn<QString>("tooltip");
        QTest::addColumn<QString>("expected");
        QTest::newRow("heading 1") << QStringLiteral("Heading 1") << QStringLiteral("# line");
        QTest::newRow("bullet") << QStringLiteral("Bullet list") << QStringLiteral("- line");
        QTest::newRow("bold") << QStringLiteral("Bold (Ctrl+B)") << QStringLiteral("**line**");
    }

    // A toolbar button acts on the selected document's editor and no other.
    void toolbarFormatting()
    {
        QFETCH(QString, tooltip);
        WindowFixture f;
        Settings::shared().setValue(QStringLiteral("preferredViewMode"), QStringLiteral("Editor"));
        MainView view(f.manager);
        view.resize(1100, 600);
        view.show();
        f.manager.newDocument(QStringLiteral("line"), true);
        TabDocument *first = f.manager.selectedDocument();
        f.manager.newDocument(QStringLiteral("line"), true);
        TabDocument *second = f.manager.selectedDocument();
        DocumentContentView *pane = view.documentPane();
        pane->editor()->textView()->selectAll();
        GlyphButton *button = nullptr;
        for (GlyphButton *each : pane->toolbar()->formattingButtons())
            if (each->toolTip() == tooltip)
                button = each;
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QTEST(second->text(), "expected");
        QTEST(pane->editor()->text(), "expected");
        QCOMPARE(first->text(), QStringLiteral("line"));
        QVERIFY(second->isModified());
    }

    // The Vim setting reaches every open pane at once, and the pane hands its editor
    // the manager the ex commands save through.
    void vimSettingReachesEveryPane()
    {
        WindowFixture f;
        const QString path = f.writeFile(QStringLiteral("note.md"), "abc");
        f.manager.openFile(path);
        TabDocument *saved = f.manager.selectedDocument();
        f.manager.newDocument(QStringLiteral("other"), true, false);
        auto first = showPane(f.manager, saved);
        auto second = showPane(f.manager, f.manager.documents().last());
        const auto vimOn = [](DocumentContentView *pane) {
            return pane->editor()->vim() && pane->editor()->vim()->isEnabled()
                && pane->editor()->vim()->mode() == VimModeController::Mode::Normal;
        };
        QVERIFY(!vimOn(first.get()) && !vimOn(second.get()));

        Settings::shared().setValue(QStringLiteral("vimModeEnabled"), true);
        QVERIFY(vimOn(first.get()));
        QVERIFY(vimOn(second.get()));

        SorvaneTextView *view = first->editor()->textView();
        QTextCursor cursor = view->textCursor();
        cursor.setPosition(0);
        view->setTextCursor(cursor);
        QTest::keyClicks(view, QStringLiteral("x:w"));
        QTest::keyClick(view, Qt::Key_Return);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("bc"));

        Settings::shared().setValue(QStringLiteral("vimModeEnabled"), false);
        QCOMPARE(first->editor()->vim()->mode(), VimModeController::Mode::Insert);
        QCOMPARE(second->editor()->vim()->mode(), VimModeController::Mode::Insert);
        Settings::shared().remove(QStringLiteral("vimModeEnabled"));
    }

    void textSizeAndAppearance_data()
    {
        QTest::addColumn<double>("size");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("canDecrease");
        QTest::addColumn<bool>("canIncrease");
        QTest::addColumn<double>("afterDecrease");
        QTest::newRow("default") << 15.0 << QStringLiteral("15") << true << true << 14.0;
        QTest::newRow("smallest") << 11.0 << QStringLiteral("11") << false << true << 11.0;
        QTest::newRow("largest") << 24.0 << QStringLiteral("24") << true << false << 23.0;
        QTest::newRow("fraction") << 15.9 << QStringLiteral("15") << true << true << 14.9;
    }

    void textSizeAndAppearance()
    {
        QFETCH(double, size);
        WindowFixture f;
        Settings::shared().setValue(QStringLiteral("fontSize"), size);
        f.manager.newDocument(QStringLiteral("text"), true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        DocumentToolbar *toolbar = pane->toolbar();
        QTEST(toolbar->fontSizeLabel()->text(), "label");
        QTEST(toolbar->decreaseButton()->isEnabled(), "canDecrease");
        QTEST(toolbar->increaseButton()->isEnabled(), "canIncrease");
        QCOMPARE(pane->editor()->fontSize(), size);
        QTest::mouseClick(toolbar->decreaseButton(), Qt::LeftButton);
        QTEST(Settings::shared().doubleValue(QStringLiteral("fontSize")), "afterDecrease");
        QCOMPARE(pane->editor()->fontSize(), Settings::shared().doubleValue(QStringLiteral("fontSize")));

        // Auto highlights the half circle and stores "Auto".
        Settings::shared().setValue(QStringLiteral("appearanceMode"), QStringLiteral("Dark"));
        QVERIFY(toolbar->appearanceButtons().at(2)->isHighlighted());
        QTest::mouseClick(toolbar->appearanceButtons().at(0), Qt::LeftButton);
        QCOMPARE(Settings::shared().stringValue(QStringLiteral("appearanceMode")), QStringLiteral("Auto"));
        QVERIFY(toolbar->appearanceButtons().at(0)->isHighlighted());
        QVERIFY(!toolbar->appearanceButtons().at(2)->isHighlighted());

        QTest::mouseClick(toolbar->outlineButton(), Qt::LeftButton);
        QVERIFY(Settings::shared().boolValue(QStringLiteral("showOutline")));
        QVERIFY(pane->outline());
    }

    // Several edits within the delay give one render, of the final text, off the GUI
    // thread; the word count follows the same pause.
    void renderDebounce()
    {
        WindowFixture f;
        f.manager.newDocument(QString(), true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        std::atomic<int> renders{0};
        std::atomic<bool> offGuiThread{true};
        QThread *gui = QThread::currentThread();
        pane->setRenderFunction([&](const QString &text) {
            ++renders;
            if (QThread::currentThread() == gui)
                offGuiThread = false;
            return QStringLiteral("<p>") + text + QStringLiteral("</p>");
        });
        QSignalSpy rendered(pane.get(), &DocumentContentView::renderedHTMLChanged);
        QTest::keyClicks(pane->editor()->textView(), QStringLiteral("one two three"));
        QVERIFY(rendered.wait());
        QCOMPARE(renders.load(), 1);
        QVERIFY(offGuiThread.load());
        QCOMPARE(pane->renderedHTML(), QStringLiteral("<p>one two three</p>"));
        QTRY_COMPARE(pane->cachedWordCount(), 3);
        QCOMPARE(pane->toolbar()->wordCountLabel()->text(), QStringLiteral("3 words"));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(renders.load(), 1);
    }

    // A render that finishes after a newer one was asked for is dropped; the newer one
    // waits for the worker rather than running beside it.
    void staleRenderIsDropped()
    {
        WindowFixture f;
        f.manager.newDocument(QString(), true);
        TabDocument *document = f.manager.selectedDocument();
        auto pane = showPane(f.manager, document);
        std::atomic<bool> slowStarted{false};
        QSemaphore releaseSlow;
        pane->setRenderFunction([&](const QString &text) {
            if (text == QLatin1String("slow")) {
                slowStarted = true;
                releaseSlow.acquire();
            }
            return QStringLiteral("<p>") + text + QStringLiteral("</p>");
        });
        // A failed check must not leave the worker waiting for ever.
        const auto release = qScopeGuard([&] {
            releaseSlow.release();
            QThreadPool::globalInstance()->waitForDone();
        });
        QSignalSpy rendered(pane.get(), &DocumentContentView::renderedHTMLChanged);
        pane->editor()->textView()->insertPlainText(QStringLiteral("slow"));
        QCOMPARE(document->text(), QStringLiteral("slow"));
        QTRY_VERIFY(slowStarted.load());
        pane->editor()->textView()->selectAll();
        QSignalSpy requested(pane.get(), &DocumentContentView::renderRequested);
        pane->editor()->textView()->insertPlainText(QStringLiteral("fast"));
        QVERIFY(requested.wait());
        QCOMPARE(rendered.size(), 0);

        releaseSlow.release();
        QVERIFY(rendered.wait());
        QCOMPARE(pane->renderedHTML(), QStringLiteral("<p>fast</p>"));
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(pane->renderedHTML(), QStringLiteral("<p>fast</p>"));
        QCOMPARE(rendered.size(), 1);
    }

    // A pane shows its document's preview without waiting for typing, rendered by the
    // real converter.
    void firstRenderNeedsNoTyping()
    {
        WindowFixture f;
        f.manager.newDocument(QStringLiteral("# Hello\n\nworld *here*"), true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        QVERIFY(!pane->isRendering());
        QCOMPARE(pane->renderedHTML(), MarkdownToHTML::renderedBodyHTML(QStringLiteral("# Hello\n\nworld *here*")));
        QVERIFY(pane->renderedHTML().contains(QStringLiteral("<em>here</em>")));
        QCOMPARE(pane->cachedWordCount(), 4);
        QCOMPARE(pane->toolbar()->wordCountLabel()->text(), QStringLiteral("4 words"));
    }

    // Switching tabs replaces the pane, often just as its render comes back from the
    // worker: the result must find no way back into the pane that went.
    void panesGoAsTheirRendersFinish()
    {
        WindowFixture f;
        std::atomic<int> rendered{0};
        DocumentContentView::setDefaultRenderFunction([&](const QString &text) {
            ++rendered;
            return text;
        });
        for (const char *text : {"one", "two", "three"})
            f.manager.newDocument(QString::fromLatin1(text), true);
        MainWindow window(f.manager, [] { return true; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (int round = 0; round < 400; ++round) {
            const int before = rendered.load();
            f.manager.selectNextTab();
            QVERIFY(QTest::qWaitFor([&] { return rendered.load() > before; }));
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        DocumentContentView::setDefaultRenderFunction({});
    }

    // The first render of a window's pane runs off the window thread: the window is
    // built and shows the text while it is held, the preview says it is rendering,
    // and edits meanwhile queue one render of the latest text, never one per edit.
    void heldFirstRenderLeavesWindowFree()
    {
        WindowFixture f;
        HeldRenders held;
        f.manager.newDocument(QStringLiteral("first text"), true);
        MainWindow window(f.manager, [] { return true; });
        window.resize(1000, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        DocumentContentView *pane = window.mainView()->documentPane();
        QVERIFY(pane);
        QVERIFY(!held.onGuiThread.load());
        QCOMPARE(pane->editor()->text(), QStringLiteral("first text"));
        QTRY_COMPARE(held.started.load(), 1);
        QVERIFY(pane->isRendering());
        QCOMPARE(pane->preview()->status(), MarkdownPreview::Status::Rendering);
        QTRY_VERIFY(pane->preview()->statusNote().contains(QStringLiteral("Rendering")));
        QVERIFY(pane->renderedHTML().isEmpty());

        // Three edits while the first render is held: each request outdates the last.
        QSignalSpy rendered(pane, &DocumentContentView::renderedHTMLChanged);
        QSignalSpy requested(pane, &DocumentContentView::renderRequested);
        auto *text = pane->editor()->textView();
        text->moveCursor(QTextCursor::End);
        for (const char *word : {" one", " two", " three"}) {
            text->insertPlainText(QString::fromLatin1(word));
            QVERIFY(requested.wait());
        }
        QVERIFY(pane->isRendering());
        QCOMPARE(held.started.load(), 1);

        // Released, the first result is dropped and the latest text alone follows.
        held.release.release(1);
        QTRY_COMPARE(held.started.load(), 2);
        held.release.release(1);
        QVERIFY(rendered.wait());
        QCOMPARE(pane->renderedHTML(), QStringLiteral("<p>first text one two three</p>"));
        QCOMPARE(rendered.size(), 1);
        QVERIFY(!pane->isRendering());
        QCOMPARE(pane->preview()->status(), MarkdownPreview::Status::Current);
        QCOMPARE(pane->preview()->statusNote(), QString());
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::processEvents();
        QCOMPARE(held.started.load(), 2);
        QCOMPARE(held.mostAtOnce.load(), 1);
        QVERIFY(!held.onGuiThread.load());
    }

    void previewMadeAfterFirstPaint_data()
    {
        QTest::addColumn<bool>("renderFirst");
        QTest::newRow("render lands before the paint") << true;
        QTest::newRow("render lands after the preview is made") << false;
    }

    // The web view is made only once the pane has been painted, and then gets what
    // came before it: the settings, the latest render and the text typed meanwhile.
    void previewMadeAfterFirstPaint()
    {
        QFETCH(bool, renderFirst);
        WindowFixture f;
        Settings::shared().setValue(QStringLiteral("fontSize"), 19.0);
        Settings::shared().setValue(QStringLiteral("appearanceMode"), QStringLiteral("Dark"));
        std::optional<HeldRenders> held;
        if (!renderFirst)
            held.emplace();
        f.manager.newDocument(QStringLiteral("# Early"), true);
        TabDocument *document = f.manager.selectedDocument();
        DocumentContentView pane(f.manager, document);
        pane.resize(1200, 600);
        const auto made = [&] { return qobject_cast<MarkdownPreview *>(pane.splitter()->widget(1)); };
        pane.editor()->textView()->moveCursor(QTextCursor::End);
        pane.editor()->textView()->insertPlainText(QStringLiteral(" typed"));
        QCOMPARE(document->text(), QStringLiteral("# Early typed"));
        if (renderFirst)
            QTRY_VERIFY(pane.renderedHTML().contains(QStringLiteral("typed")));
        QVERIFY(!made());

        pane.show();
        QTRY_VERIFY(made());
        MarkdownPreview *preview = made();
        QCOMPARE(pane.preview(), preview);
        QVERIFY(preview->isVisible());
        QVERIFY(preview->width() >= DocumentContentView::minimumSplitWidth);
        if (!renderFirst) {
            QCOMPARE(preview->status(), MarkdownPreview::Status::Rendering);
            held->release.release(1000);
        }
        QWebEnginePage *page = preview->page();
        QVERIFY(waitForScript(page, QStringLiteral("document.querySelector('#content').textContent.includes('Early typed')")));
        QCOMPARE(runScript(page, QStringLiteral("getComputedStyle(document.body).fontSize")).toString(),
                 QStringLiteral("19px"));
        QCOMPARE(runScript(page, QStringLiteral("getComputedStyle(document.documentElement).colorScheme")).toString(),
                 QStringLiteral("dark"));
        QCOMPARE(preview->status(), MarkdownPreview::Status::Current);
    }

    // A text past the limit is never handed to the converter; the preview says why.
    void tooLargeIsNotRendered()
    {
        WindowFixture f;
        Settings::shared().setValue(QStringLiteral("preferredViewMode"), QStringLiteral("Preview"));
        HeldRenders held;
        held.release.release(1000);
        f.manager.newDocument(QString(DocumentContentView::previewSizeLimit + 1, QLatin1Char('x')), true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        QCOMPARE(pane->preview()->status(), MarkdownPreview::Status::TooLarge);
        QVERIFY(pane->preview()->statusNote().contains(QStringLiteral("too large")));
        QVERIFY(!pane->isRendering());
        QCOMPARE(held.started.load(), 0);

        // Back under the limit, it renders again and the note goes.
        f.manager.selectedDocument()->setText(QStringLiteral("small"));
        QTRY_COMPARE(pane->renderedHTML(), QStringLiteral("<p>small</p>"));
        QCOMPARE(pane->preview()->status(), MarkdownPreview::Status::Current);
        QCOMPARE(pane->preview()->statusNote(), QString());
    }

    // Text replaced from outside (revert) reaches the editor and the preview.
    void revertReachesEditorAndPreview()
    {
        WindowFixture f;
        f.manager.openFile(f.writeFile(QStringLiteral("note.md"), "saved\n"));
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        pane->editor()->textView()->moveCursor(QTextCursor::End);
        QTest::keyClicks(pane->editor()->textView(), QStringLiteral("changed"));
        f.alerts.alertAnswers = {0};
        f.manager.revertCurrentDocument();
        QCOMPARE(pane->editor()->text(), QStringLiteral("saved\n"));
        QSignalSpy rendered(pane.get(), &DocumentContentView::renderedHTMLChanged);
        QVERIFY(rendered.wait());
        QVERIFY(pane->renderedHTML().contains(QStringLiteral("saved")));
        QVERIFY(!pane->renderedHTML().contains(QStringLiteral("changed")));
    }

    void wordCount_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("blank") << QStringLiteral(" \t\n\r\n  ") << 0;
        QTest::newRow("double space, blank line") << QStringLiteral("two  words\n\nthird") << 3;
        QTest::newRow("line separators") << QStringLiteral("a\u2028b\u2029c\u0085d\u000be\u000cf") << 6;
        QTest::newRow("no-break space") << QStringLiteral("a\u00a0b") << 2;
        QTest::newRow("punctuation stays in words") << QStringLiteral("it's well-known, isn't it?") << 4;
        QTest::newRow("combining mark after space") << QStringLiteral("a \u0301b") << 2;
        QTest::newRow("accent on a word") << QStringLiteral("cafe\u0301 ok") << 2;
        QTest::newRow("emoji sequence") << QStringLiteral("\U0001F469\u200D\U0001F4BB codes") << 2;
    }

    void wordCount()
    {
        QFETCH(QString, text);
        QTEST(DocumentContentView::wordCount(text), "count");
    }

    // Distraction-free: no toolbar row, the outline stays.
    void distractionFreeHidesToolbarOnly()
    {
        WindowFixture f;
        Settings::shared().setValue(QStringLiteral("showOutline"), true);
        f.manager.newDocument(QStringLiteral("# A"), true);
        auto pane = showPane(f.manager, f.manager.selectedDocument());
        Settings::shared().setValue(QStringLiteral("distractionFree"), true);
        QVERIFY(!pane->toolbar()->isVisible());
        QVERIFY(pane->outline() && pane->outline()->isVisible());
        Settings::shared().setValue(QStringLiteral("distractionFree"), false);
        QVERIFY(pane->toolbar()->isVisible());
    }
};

SORVANE_WEBENGINE_TEST_MAIN(tst_DocumentContentView)
#include "tst_DocumentContentView.moc"
