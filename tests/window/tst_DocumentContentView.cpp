#include "TestEnvironment.h"
#include "WebEngineTest.h"
#include "WindowTestSupport.h"
#include "editor/EditorView.h"
#include "editor/FindReplaceBar.h"
#include "editor/SorvaneTextView.h"
#include "documents/EditorRequestHub.h"
#include "documents/TabDocument.h"
#include "window/DocumentContentView.h"
#include "window/DocumentToolbar.h"
#include "window/GlyphButton.h"
#include "window/MainView.h"
#include "window/MainWindow.h"
#include "preview/MarkdownPreview.h"
#include "window/OutlineSidebar.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSplitter>
#include <QThreadPool>
#include <QtTest>

#include <atomic>
#include <memory>

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

// A shown pane whose first render has landed.
std::unique_ptr<DocumentContentView> showPane(DocumentManager &manager, TabDocument *document)
{
    auto pane = std::make_unique<DocumentContentView>(manager, document);
    pane->resize(1000, 600);
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
