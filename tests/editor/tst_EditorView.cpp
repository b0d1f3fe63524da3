#include "EditorTestSupport.h"
#include "MarkedText.h"
#include "TestEnvironment.h"

#include "documents/EditorRequestHub.h"
#include "editor/FindReplaceBar.h"
#include "editor/SpellingDecorator.h"

#include <QApplication>
#include <QCheckBox>
#include <QScrollBar>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

void select(EditorView *editor, int start, int end)
{
    QTextCursor cursor(editor->textView()->document());
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    editor->textView()->setTextCursor(cursor);
}

// Drags the data over the text and lets go near the top left; true when taken.
bool dropOnto(EditorView *editor, QMimeData *mime)
{
    QWidget *target = editor->textView()->viewport();
    const QPoint at(2, 2);
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

const QString table = QStringLiteral("| Column 1 | Column 2 | Column 3 |\n"
                                     "|----------|----------|----------|\n"
                                     "| Cell     | Cell     | Cell     |\n"
                                     "| Cell     | Cell     | Cell     |");
const QString fence = QStringLiteral("```language\ncode\n```");

// Where the first line's spelling underlines start.
QList<int> underlinedStarts(EditorView *editor)
{
    QList<int> starts;
    for (const auto &range : editor->textView()->document()->firstBlock().layout()->formats()) {
        if (range.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline)
            starts.append(range.start);
    }
    return starts;
}

// The requests an editor answers through EditorRequestHub, and whom they address.
enum class Request { find, replace, formatting, scrollToRange };
enum class Addressee { otherDocument, noDocument, thisDocument };

void send(Request request, const QUuid &documentID, MarkdownFormatAction action = MarkdownFormatAction::bold)
{
    auto &hub = EditorRequestHub::shared();
    switch (request) {
    case Request::find:
        return hub.requestFind(documentID);
    case Request::replace:
        return hub.requestReplace(documentID);
    case Request::formatting:
        return hub.requestFormatting(documentID, action);
    case Request::scrollToRange:
        return hub.requestScrollToRange(documentID, 2, 1);
    }
}

} // namespace

class tst_EditorView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formatting_data();
    void formatting();
    void requestsForOtherDocumentsAreIgnored_data();
    void requestsForOtherDocumentsAreIgnored();
    void requestsForThisDocument();
    void scrollToRangeMovesCaretIntoView();
    void deltasKeepNbspAndLineSeparator();
    void deltasFollowEveryKindOfEdit();
    void replaceTextIsNotAUserEditAndClearsUndo();
    void replaceTextKeepsSelection_data();
    void replaceTextKeepsSelection();
    void imageDrop_data();
    void imageDrop();
    void nonImageDropFallsThrough();
    void tabAndKeyHooks();
    void findBar();
    void replaceAllIsOneUndoStep();
    void escapeClosesFindBar();
    void spellingUnderlinesAndSuggests();
    void spellingFollowsTypingUntilNextCheck();
    void longTextLoadsInTwoSteps_data();
    void longTextLoadsInTwoSteps();
};

void tst_EditorView::formatting_data()
{
    QTest::addColumn<MarkdownFormatAction>("action");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    using A = MarkdownFormatAction;
    const QString T = table;
    const QString F = fence;
    QTest::newRow("bold, caret") << A::bold << "ab ‹›cd" << "ab **‹bold text›**cd";
    QTest::newRow("bold, selection") << A::bold << "ab ‹cd› ef" << "ab **cd**‹› ef";
    QTest::newRow("bold, already bold") << A::bold << "ab **‹cd›** ef" << "ab cd‹› ef";
    QTest::newRow("italic, caret") << A::italic << "x‹›" << "x*‹italic text›*";
    QTest::newRow("italic, selection") << A::italic << "‹word›" << "*word*‹›";
    QTest::newRow("italic, inside bold") << A::italic << "**‹word›**" << "*word‹›*";
    QTest::newRow("code, empty text") << A::code << "‹›" << "`‹code›`";
    QTest::newRow("code, selection") << A::code << "run ‹ls› now" << "run `ls`‹› now";
    QTest::newRow("code, already code") << A::code << "run `‹ls›` now" << "run ls‹› now";
    QTest::newRow("link, caret") << A::link << "see ‹›" << "see [‹link text›](url)";
    QTest::newRow("link, selection") << A::link << "‹site›" << "[site](url)‹›";
    QTest::newRow("link, already link") << A::link << "[‹site›](url)" << "site‹›";
    QTest::newRow("heading1, caret") << A::heading1 << "Ti‹›tle\nnext" << "# Title‹›\nnext";
    QTest::newRow("heading1, selection") << A::heading1 << "‹Title›" << "# Title‹›";
    QTest::newRow("heading1, already h1") << A::heading1 << "# Ti‹›tle" << "Title‹›";
    QTest::newRow("heading2, on h3") << A::heading2 << "### Ti‹›tle" << "## Title‹›";
    QTest::newRow("heading2, selection") << A::heading2 << "a\n‹Tit›le" << "a\n## Title‹›";
    QTest::newRow("heading2, already h2") << A::heading2 << "## ‹Title›\nx" << "Title‹›\nx";
    QTest::newRow("heading2, bare marks keep the line break") << A::heading2 << "##‹›\nnext" << "## ‹›\nnext";
    QTest::newRow("heading3, empty text") << A::heading3 << "‹›" << "### ‹›";
    QTest::newRow("heading3, on h1") << A::heading3 << "# ‹Title›" << "### Title‹›";
    QTest::newRow("heading3, already h3") << A::heading3 << "### ‹Title›" << "Title‹›";
    QTest::newRow("table, mid-line") << A::table << "ab‹›cd" << "ab\n\n" + T + "\n‹›cd";
    QTest::newRow("table, selection at start") << A::table << "‹ab›" << T + "\n‹›ab";
    QTest::newRow("table, empty line") << A::table << "x\n‹›" << "x\n" + T + "\n‹›";
    QTest::newRow("codeBlock, mid-line") << A::codeBlock << "ab‹›cd" << "ab\n\n" + F + "\n‹›cd";
    QTest::newRow("codeBlock, selection") << A::codeBlock << "x\n‹ab›" << "x\n\n\n" + F + "\n‹›ab";
    QTest::newRow("codeBlock, empty line") << A::codeBlock << "x\n‹›\ny" << "x\n" + F + "\n‹›\ny";
    QTest::newRow("blockquote, caret") << A::blockquote << "quo‹›te" << "> quote‹›";
    QTest::newRow("blockquote, selection over lines") << A::blockquote << "a\n‹b\nc›" << "a\n> b‹›\nc";
    QTest::newRow("blockquote, already quoted") << A::blockquote << "> ‹quote›" << "quote‹›";
    QTest::newRow("bulletList, caret") << A::bulletList << "item‹›" << "- item‹›";
    QTest::newRow("bulletList, on numbered line") << A::bulletList << "‹1. item›" << "- 1. item‹›";
    QTest::newRow("bulletList, already bullet") << A::bulletList << "- it‹›em" << "item‹›";
    QTest::newRow("numberedList, caret") << A::numberedList << "a‹›" << "1. a‹›";
    QTest::newRow("numberedList, selection") << A::numberedList << "‹a›\n2. b" << "1. a‹›\n2. b";
    QTest::newRow("numberedList, already numbered") << A::numberedList << "1. ‹a›" << "a‹›";
    QTest::newRow("taskList, caret") << A::taskList << "do‹›" << "- [ ] do‹›";
    QTest::newRow("taskList, on bullet") << A::taskList << "- ‹do›" << "- [ ] - do‹›";
    QTest::newRow("taskList, already task") << A::taskList << "- [ ] ‹do›" << "do‹›";
    QTest::newRow("horizontalRule, at start") << A::horizontalRule << "‹›text" << "---\n‹›text";
    QTest::newRow("horizontalRule, selection") << A::horizontalRule << "ab ‹cd›" << "ab \n\n---\n‹›cd";
    QTest::newRow("horizontalRule, after a rule") << A::horizontalRule << "---\n‹›" << "---\n---\n‹›";
}

void tst_EditorView::formatting()
{
    QFETCH(MarkdownFormatAction, action);
    QFETCH(QString, before);
    QFETCH(QString, after);
    const Marked original = unmark(before);
    const Marked expected = unmark(after);

    auto editor = makeEditor(original.text, quietConfiguration());
    DeltaMirror mirror(editor.get(), original.text);
    select(editor.get(), original.start, original.end);

    editor->applyFormatting(action);

    QCOMPARE(editor->text(), expected.text);
    const QTextCursor cursor = editor->textView()->textCursor();
    QCOMPARE(cursor.selectionStart(), expected.start);
    QCOMPARE(cursor.selectionEnd(), expected.end);
    QCOMPARE(mirror.count(), 1);
    QCOMPARE(mirror.text(), expected.text);

    editor->textView()->undo();
    QCOMPARE(editor->text(), original.text);
    QCOMPARE(mirror.text(), original.text);
    QVERIFY(!editor->textView()->document()->isUndoAvailable());
}

void tst_EditorView::requestsForOtherDocumentsAreIgnored_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<Addressee>("addressee");
    QTest::addColumn<MarkdownFormatAction>("action");

    using R = Request;
    using To = Addressee;
    const auto bold = MarkdownFormatAction::bold;
    QTest::newRow("find, other document") << R::find << To::otherDocument << bold;
    QTest::newRow("replace, other document") << R::replace << To::otherDocument << bold;
    QTest::newRow("find, no document") << R::find << To::noDocument << bold;
    QTest::newRow("replace, no document") << R::replace << To::noDocument << bold;
    QTest::newRow("formatting, other document") << R::formatting << To::otherDocument << bold;
    QTest::newRow("formatting, no document") << R::formatting << To::noDocument << bold;
    QTest::newRow("formatting, not one of the actions")
        << R::formatting << To::thisDocument << MarkdownFormatAction(int(MarkdownFormatActions::all().size()));
    QTest::newRow("scroll, other document") << R::scrollToRange << To::otherDocument << bold;
    QTest::newRow("scroll, no document") << R::scrollToRange << To::noDocument << bold;
}

void tst_EditorView::requestsForOtherDocumentsAreIgnored()
{
    QFETCH(Request, request);
    QFETCH(Addressee, addressee);
    QFETCH(MarkdownFormatAction, action);
    auto editor = makeEditor(QStringLiteral("word"), quietConfiguration());
    select(editor.get(), 0, 4);
    QSignalSpy edits(editor.get(), &EditorView::userEdited);
    const QUuid target = addressee == Addressee::thisDocument ? editor->documentID()
                         : addressee == Addressee::otherDocument ? QUuid::createUuid()
                                                                 : QUuid();
    send(request, target, action);

    QVERIFY(editor->findBar()->isHidden());
    QCOMPARE(edits.count(), 0);
    QCOMPARE(editor->text(), QStringLiteral("word"));
    QCOMPARE(editor->textView()->textCursor().selectionStart(), 0);
    QCOMPARE(editor->textView()->textCursor().selectionEnd(), 4);
}

void tst_EditorView::requestsForThisDocument()
{
    auto editor = makeEditor(QStringLiteral("word"), quietConfiguration());
    auto bystander = makeEditor(QStringLiteral("word"), quietConfiguration());
    select(editor.get(), 0, 4);
    select(bystander.get(), 0, 4);
    auto &hub = EditorRequestHub::shared();

    hub.requestFormatting(editor->documentID(), MarkdownFormatAction::bold);
    QCOMPARE(editor->text(), QStringLiteral("**word**"));

    hub.requestFind(editor->documentID());
    QVERIFY(editor->findBar()->isVisible());
    QVERIFY(!editor->findBar()->isReplaceShown());
    hub.requestReplace(editor->documentID());
    QVERIFY(editor->findBar()->isReplaceShown());

    // Every editor hears the broadcast; only the addressed one answers.
    QCOMPARE(bystander->text(), QStringLiteral("word"));
    QVERIFY(bystander->findBar()->isHidden());
}

void tst_EditorView::scrollToRangeMovesCaretIntoView()
{
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += QStringLiteral("line %1 of the document\n").arg(i);
    text += QStringLiteral("## Target heading\n");
    auto editor = makeEditor(text, quietConfiguration());
    const int location = int(text.indexOf(QStringLiteral("## Target")));
    QVERIFY(editor->textView()->visibleCharacterRange().second < location);

    select(editor.get(), 0, 0);
    EditorRequestHub::shared().requestScrollToRange(editor->documentID(), location, 16);
    QCOMPARE(editor->textView()->textCursor().position(), location);
    const auto [first, length] = editor->textView()->visibleCharacterRange();
    QVERIFY(first <= location && location + 16 <= first + length);

    // A stale range beyond the end is clamped.
    editor->scrollToRange(int(text.size()) + 50, 10);
    QCOMPARE(editor->textView()->textCursor().position(), int(text.size()));
}

void tst_EditorView::deltasKeepNbspAndLineSeparator()
{
    const QString text = QStringLiteral("a\u00a0b\u2028c\ttab\nsecond line\n\nend");
    auto editor = makeEditor(text, quietConfiguration());
    QCOMPARE(editor->text(), text);
    QSignalSpy edits(editor.get(), &EditorView::userEdited);
    DeltaMirror mirror(editor.get(), text);

    select(editor.get(), int(text.size()), int(text.size()));
    QTest::keyClicks(editor->textView(), QStringLiteral("X"));
    QCOMPARE(edits.count(), 1);
    QCOMPARE(edits.at(0).at(0).toInt(), int(text.size()));
    QCOMPARE(edits.at(0).at(1).toInt(), 0);
    QCOMPARE(edits.at(0).at(2).toString(), QStringLiteral("X"));
    QCOMPARE(editor->text(), text + QLatin1Char('X'));

    // Pasted special characters arrive as they are.
    select(editor.get(), 0, 0);
    editor->textView()->insertPlainText(QStringLiteral("\u00a0\u2028\n"));
    QCOMPARE(edits.last().at(2).toString(), QStringLiteral("\u00a0\u2028\n"));
    QCOMPARE(mirror.text(), editor->text());
    QVERIFY(editor->text().contains(QStringLiteral("a\u00a0b\u2028c")));
}

void tst_EditorView::deltasFollowEveryKindOfEdit()
{
    QString text;
    for (int i = 0; i < 200; ++i)
        text += QStringLiteral("# Heading %1\nSome **bold**\u00a0text and a [link](x).\n\n").arg(i);
    auto editor = makeEditor(text, EditorViewConfiguration{});
    DeltaMirror mirror(editor.get(), text);
    auto *view = editor->textView();
    const auto check = [&](const char *step) {
        QVERIFY2(mirror.text() == editor->text(), step);
    };

    select(editor.get(), 40, 40);
    QTest::keyClicks(view, QStringLiteral("typed"));
    check("typing");
    QTest::keyClick(view, Qt::Key_Return);
    check("return");
    QTest::keyClick(view, Qt::Key_Backspace);
    QTest::keyClick(view, Qt::Key_Backspace);
    check("backspace over a line break");
    select(editor.get(), 10, 300);
    QTest::keyClick(view, Qt::Key_Delete);
    check("delete a selection over lines");
    view->insertPlainText(QStringLiteral("pasted\nlines\n"));
    check("paste");
    view->undo();
    check("undo");
    view->undo();
    check("second undo");
    view->redo();
    check("redo");
    editor->applyFormatting(MarkdownFormatAction::table);
    check("format");
    editor->applySyntaxHighlighting();
    editor->spelling()->check();
    check("highlighting");
    view->selectAll();
    QTest::keyClick(view, Qt::Key_Delete);
    check("delete everything");
    QVERIFY(editor->text().isEmpty());
    view->undo();
    check("undo of delete everything");
    // Keystrokes never carry the whole text.
    QVERIFY(mirror.count() > 8);
}

void tst_EditorView::replaceTextIsNotAUserEditAndClearsUndo()
{
    auto editor = makeEditor(QStringLiteral("old text"), quietConfiguration());
    select(editor.get(), 8, 8);
    QTest::keyClicks(editor->textView(), QStringLiteral(" typed"));
    QSignalSpy edits(editor.get(), &EditorView::userEdited);

    editor->replaceText(QStringLiteral("brand new\u00a0text\u2028here"));
    QCOMPARE(edits.count(), 0);
    QCOMPARE(editor->text(), QStringLiteral("brand new\u00a0text\u2028here"));
    QVERIFY(!editor->textView()->document()->isUndoAvailable());
    editor->textView()->undo();
    QCOMPARE(editor->text(), QStringLiteral("brand new\u00a0text\u2028here"));
    QCOMPARE(edits.count(), 0);

    // After the replacement, typing and undo work on the new text alone.
    DeltaMirror mirror(editor.get(), editor->text());
    select(editor.get(), 5, 5);
    QTest::keyClicks(editor->textView(), QStringLiteral("!"));
    editor->textView()->undo();
    QCOMPARE(editor->text(), QStringLiteral("brand new\u00a0text\u2028here"));
    QCOMPARE(mirror.text(), editor->text());

    // The same text again changes nothing, not even the undo history.
    QTest::keyClicks(editor->textView(), QStringLiteral("?"));
    editor->replaceText(editor->text());
    QVERIFY(editor->textView()->document()->isUndoAvailable());
}

void tst_EditorView::replaceTextKeepsSelection_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");

    QTest::newRow("caret inside the new text") << "hello ‹›world" << "hello there" << 6 << 6;
    QTest::newRow("selection shortened at the end") << "hello ‹world›" << "hello wo" << 6 << 8;
    QTest::newRow("selection starting at the new end") << "hello ‹world›" << "hello " << 6 << 6;
    QTest::newRow("selection beyond the end is dropped") << "hello ‹world›" << "hi" << 0 << 0;
}

void tst_EditorView::replaceTextKeepsSelection()
{
    QFETCH(QString, before);
    QFETCH(QString, replacement);
    QFETCH(int, start);
    QFETCH(int, end);
    const Marked original = unmark(before);
    auto editor = makeEditor(original.text, quietConfiguration());
    select(editor.get(), original.start, original.end);
    editor->replaceText(replacement);
    QCOMPARE(editor->textView()->textCursor().selectionStart(), start);
    QCOMPARE(editor->textView()->textCursor().selectionEnd(), end);
}

void tst_EditorView::imageDrop_data()
{
    QTest::addColumn<QString>("baseFolder"); // relative to the temp folder; empty: unsaved document
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expected"); // "@" stands for the temp folder

    QTest::newRow("two images beside the document")
        << "docs" << QStringList{"docs/cat.png", "docs/img/dog.final.JPG"}
        << "![cat](cat.png)\n![dog.final](img/dog.final.JPG)\n";
    QTest::newRow("image elsewhere keeps its absolute path")
        << "docs" << QStringList{"pictures/sun.gif"} << "![sun](@/pictures/sun.gif)\n";
    QTest::newRow("unsaved document") << "" << QStringList{"docs/cat.png"} << "![cat](@/docs/cat.png)\n";
    QTest::newRow("blank and brackets in the path")
        << "docs" << QStringList{"docs/my photos/shot (1).png"} << "![shot (1)](<my photos/shot (1).png>)\n";
    QTest::newRow("brackets in the name are escaped in the alt text")
        << "docs" << QStringList{"docs/a[b].png"} << "![a\\[b\\]](a[b].png)\n";
    QTest::newRow("angle brackets are percent-encoded")
        << "docs" << QStringList{"docs/a <b>.png"} << "![a <b>](a%20%3Cb%3E.png)\n";
    QTest::newRow("non-image files among images are skipped")
        << "docs" << QStringList{"docs/notes.txt", "docs/cat.png"} << "![cat](cat.png)\n";
}

void tst_EditorView::imageDrop()
{
    QFETCH(QString, baseFolder);
    QFETCH(QStringList, files);
    QFETCH(QString, expected);
    QTemporaryDir temp;
    const QString root = temp.path();
    EditorViewConfiguration configuration = quietConfiguration();
    if (!baseFolder.isEmpty())
        configuration.baseURL = QUrl::fromLocalFile(root + QLatin1Char('/') + baseFolder);
    auto editor = makeEditor(QStringLiteral("tail"), configuration);
    DeltaMirror mirror(editor.get(), editor->text());

    QList<QUrl> urls;
    for (const QString &file : files)
        urls.append(QUrl::fromLocalFile(root + QLatin1Char('/') + file));
    QMimeData mime;
    mime.setUrls(urls);
    QVERIFY(dropOnto(editor.get(), &mime));
    QCOMPARE(editor->text(), expected.replace(QLatin1Char('@'), root) + QStringLiteral("tail"));
    QCOMPARE(mirror.text(), editor->text());
    editor->textView()->undo();
    QCOMPARE(editor->text(), QStringLiteral("tail"));
}

void tst_EditorView::nonImageDropFallsThrough()
{
    auto editor = makeEditor(QString(), quietConfiguration());
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/notes.txt"))});
    mime.setText(QStringLiteral("dropped words"));
    dropOnto(editor.get(), &mime);
    QCOMPARE(editor->text(), QStringLiteral("dropped words"));
}

void tst_EditorView::tabAndKeyHooks()
{
    auto editor = makeEditor(QStringLiteral("ab"), quietConfiguration());
    auto *view = editor->textView();
    select(editor.get(), 2, 2);
    QTest::keyClick(view, Qt::Key_Tab);
    QCOMPARE(editor->text(), QStringLiteral("ab\t"));

    int asked = 0;
    view->tabExpansionHandler = [&] { return ++asked > 0; };
    QTest::keyClick(view, Qt::Key_Tab);
    QCOMPARE(asked, 1);
    QCOMPARE(editor->text(), QStringLiteral("ab\t"));

    view->keyEventHandler = [](QKeyEvent *event) { return event->key() == Qt::Key_J; };
    QTest::keyClicks(view, QStringLiteral("jk"));
    QCOMPARE(editor->text(), QStringLiteral("ab\tk"));
}

void tst_EditorView::findBar()
{
    auto editor = makeEditor(QStringLiteral("Apple apple APPLE pear"), quietConfiguration());
    auto *bar = editor->findBar();
    editor->showFind(false);
    QTest::keyClicks(bar->findField(), QStringLiteral("app"));
    QCOMPARE(editor->textView()->textCursor().selectionStart(), 0);
    QCOMPARE(editor->textView()->textCursor().selectedText(), QStringLiteral("App"));
    QVERIFY(bar->findNext());
    QCOMPARE(editor->textView()->textCursor().selectionStart(), 6);
    QVERIFY(bar->findNext());
    QCOMPARE(editor->textView()->textCursor().selectionStart(), 12);
    QVERIFY(bar->findNext()); // wraps
    QCOMPARE(editor->textView()->textCursor().selectionStart(), 0);
    QVERIFY(bar->findPrevious()); // wraps backwards
    QCOMPARE(editor->textView()->textCursor().selectionStart(), 12);

    bar->matchCaseBox()->setChecked(true);
    QCOMPARE(editor->textView()->textCursor().selectionStart(), 6);
    QVERIFY(bar->findNext());
    QCOMPARE(editor->textView()->textCursor().selectionStart(), 6);

    bar->findField()->setText(QStringLiteral("kiwi"));
    QVERIFY(!bar->findNext());

    bar->findField()->setText(QStringLiteral("pear"));
    bar->replaceField()->setText(QStringLiteral("plum"));
    QVERIFY(bar->findNext());
    bar->replaceCurrent();
    QCOMPARE(editor->text(), QStringLiteral("Apple apple APPLE plum"));
}

void tst_EditorView::replaceAllIsOneUndoStep()
{
    const QString text = QStringLiteral("a cat, a Cat and\na CAT.");
    auto editor = makeEditor(text, quietConfiguration());
    DeltaMirror mirror(editor.get(), text);
    auto *bar = editor->findBar();
    editor->showFind(true);
    bar->findField()->setText(QStringLiteral("cat"));
    bar->replaceField()->setText(QStringLiteral("cats"));
    QCOMPARE(bar->replaceAll(), 3);
    QCOMPARE(editor->text(), QStringLiteral("a cats, a cats and\na cats."));
    QCOMPARE(mirror.text(), editor->text());
    editor->textView()->undo();
    QCOMPARE(editor->text(), text);
    QVERIFY(!editor->textView()->document()->isUndoAvailable());

    bar->matchCaseBox()->setChecked(true);
    QCOMPARE(bar->replaceAll(), 1);
    QCOMPARE(editor->text(), QStringLiteral("a cats, a Cat and\na CAT."));
}

void tst_EditorView::escapeClosesFindBar()
{
    auto editor = makeEditor(QStringLiteral("text"), quietConfiguration());
    editor->showFind(true);
    QVERIFY(editor->findBar()->isVisible());
    QSignalSpy closed(editor->findBar(), &FindReplaceBar::closed);
    QTest::keyClick(editor->findBar()->findField(), Qt::Key_Escape);
    QCOMPARE(closed.count(), 1);
    QVERIFY(editor->findBar()->isHidden());
}

void tst_EditorView::spellingUnderlinesAndSuggests()
{
    EditorViewConfiguration configuration;
    configuration.spellCheck = true;
    const QString text = QStringLiteral("A speling mistake and `speling` in code, NASA, x_speling, https://speling.example/.");
    auto editor = makeEditor(text, configuration);
    editor->applySyntaxHighlighting();
    editor->spelling()->check();
    QCOMPARE(underlinedStarts(editor.get()), QList<int>{2});
    QCOMPARE(editor->text(), text);
    QVERIFY(!editor->textView()->document()->isUndoAvailable());

    QMenu menu;
    editor->textView()->contextMenuHandler(&menu, 4);
    QAction *fix = nullptr;
    for (QAction *action : menu.actions()) {
        if (action->text() == QLatin1String("spelling"))
            fix = action;
    }
    QVERIFY(fix);
    DeltaMirror mirror(editor.get(), text);
    fix->trigger();
    QVERIFY(editor->text().startsWith(QStringLiteral("A spelling mistake")));
    QCOMPARE(mirror.text(), editor->text());

    editor->setSpellCheck(false);
    for (const auto &range : editor->textView()->document()->firstBlock().layout()->formats())
        QVERIFY(range.format.underlineStyle() != QTextCharFormat::SpellCheckUnderline);
}

// Underlines move with the text typed before them; the word being typed loses its
// underline until the next check. The setting switches the checks off and on.
void tst_EditorView::spellingFollowsTypingUntilNextCheck()
{
    auto editor = makeEditor(QStringLiteral("A speling mistake and anothr one"), EditorViewConfiguration{});
    editor->applySyntaxHighlighting();
    editor->spelling()->check();
    QCOMPARE(underlinedStarts(editor.get()), (QList<int>{2, 22}));

    select(editor.get(), 0, 0);
    QTest::keyClicks(editor->textView(), QStringLiteral("X "));
    QCOMPARE(underlinedStarts(editor.get()), (QList<int>{4, 24}));
    QVERIFY(editor->spelling()->isCheckPending());

    select(editor.get(), 7, 7);
    QTest::keyClicks(editor->textView(), QStringLiteral("l"));
    QCOMPARE(editor->text(), QStringLiteral("X A spelling mistake and anothr one"));
    QCOMPARE(underlinedStarts(editor.get()), QList<int>{25});
    editor->spelling()->check();
    QCOMPARE(underlinedStarts(editor.get()), QList<int>{25});

    editor->setSpellCheck(false);
    QVERIFY(!editor->spellCheck());
    QVERIFY(underlinedStarts(editor.get()).isEmpty());
    select(editor.get(), int(editor->text().size()), int(editor->text().size()));
    QTest::keyClicks(editor->textView(), QStringLiteral(" "));
    QVERIFY(!editor->spelling()->isCheckPending());
    editor->setSpellCheck(true);
    QVERIFY(editor->spellCheck());
    QCOMPARE(underlinedStarts(editor.get()), QList<int>{25});
}

void tst_EditorView::longTextLoadsInTwoSteps_data()
{
    // What reaches the editor first after it is made, before any event has run.
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("typed");
    QTest::newRow("its first paint") << QStringLiteral("paint") << QString();
    QTest::newRow("never shown") << QStringLiteral("hidden") << QString();
    QTest::newRow("a key at the start") << QStringLiteral("start") << QStringLiteral("x");
    QTest::newRow("a key after Ctrl+End") << QStringLiteral("end") << QStringLiteral("x");
    QTest::newRow("a find request") << QStringLiteral("find") << QString();
    QTest::newRow("a scroll request to the end") << QStringLiteral("scroll") << QString();
}

// A long text shows its first screen first; whatever comes next meets the whole text,
// and the rest of the loading is neither an edit nor an undo step.
void tst_EditorView::longTextLoadsInTwoSteps()
{
    QFETCH(QString, first);
    QFETCH(QString, typed);
    QString text;
    for (int i = 0; text.size() < 4 * EditorView::firstScreenChars; ++i)
        text += QStringLiteral("## Section %1\r\nSome *text*\u00a0here.\n\n").arg(i);
    const QString shown = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    auto editor = std::make_unique<EditorView>(QUuid::createUuid(), text, quietConfiguration());
    editor->resize(800, 600);
    DeltaMirror mirror(editor.get(), shown);
    auto *view = editor->textView();
    QVERIFY(editor->isLoading());
    QCOMPARE(editor->text(), shown);
    QVERIFY(view->document()->characterCount() < text.size() / 2);

    if (first != QLatin1String("hidden"))
        editor->show();
    QString expected = shown;
    if (first == QLatin1String("start")) {
        QTest::keyClicks(view, typed);
        expected.prepend(typed);
    } else if (first == QLatin1String("end")) {
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(view, typed);
        expected.append(typed);
    } else if (first == QLatin1String("find")) {
        editor->showFind(false);
        QVERIFY(!editor->isLoading());
    } else if (first == QLatin1String("scroll")) {
        editor->scrollToRange(int(shown.size()) - 3, 2);
        QCOMPARE(view->textCursor().position(), int(shown.size()) - 3);
    }
    QTRY_VERIFY(!editor->isLoading());
    QCOMPARE(editor->text(), expected);
    QCOMPARE(mirror.text(), expected);
    QCOMPARE(mirror.count(), typed.size());
    QCOMPARE(view->document()->isUndoAvailable(), !typed.isEmpty());
    QCOMPARE(view->document()->isModified(), !typed.isEmpty());
    QCOMPARE(view->document()->blockCount(), int(expected.count(QLatin1Char('\n'))) + 1);
    if (!typed.isEmpty()) {
        view->undo();
        QCOMPARE(editor->text(), shown);
        QCOMPARE(mirror.text(), shown);
    }
}

SORVANE_TEST_MAIN(tst_EditorView)
#include "tst_EditorView.moc"
