#include "EditorTestSupport.h"
#include "MarkedText.h"
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"
#include "VimKeys.h"

#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "editor/FindReplaceBar.h"
#include "editor/vim/VimModeController.h"

#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

using Mode = VimModeController::Mode;

namespace {

// "|" marks a bare caret, ‹ and › a selection.
Marked parse(const QString &text)
{
    if (!text.contains(selectionStart)) {
        QString marked = text;
        marked.replace(QLatin1Char('|'), QString(selectionStart) + selectionEnd);
        return unmark(marked);
    }
    return unmark(text);
}

QString shown(const QString &text, const QTextCursor &cursor)
{
    QString out = text;
    if (!cursor.hasSelection())
        return out.insert(cursor.position(), QLatin1Char('|'));
    out.insert(cursor.selectionEnd(), selectionEnd);
    return out.insert(cursor.selectionStart(), selectionStart);
}

Mode modeNamed(const QString &name)
{
    if (name == QLatin1String("insert"))
        return Mode::Insert;
    if (name == QLatin1String("visual"))
        return Mode::Visual;
    if (name == QLatin1String("command"))
        return Mode::CommandLine;
    return Mode::Normal;
}

EditorViewConfiguration vimConfiguration()
{
    EditorViewConfiguration configuration = quietConfiguration();
    configuration.vimModeEnabled = true;
    return configuration;
}

void select(EditorView *editor, const Marked &marked)
{
    QTextCursor cursor = editor->textView()->textCursor();
    cursor.setPosition(marked.start);
    cursor.setPosition(marked.end, QTextCursor::KeepAnchor);
    editor->textView()->setTextCursor(cursor);
}

// An editor in Vim mode inside a window of its own that is active, so that key
// presses go through the window's shortcut map as typed keys do.
struct VimWindow
{
    explicit VimWindow(const QString &text, EditorViewConfiguration configuration = vimConfiguration())
    {
        auto *layout = new QVBoxLayout(&window);
        editor = new EditorView(QUuid::createUuid(), text, configuration, &window);
        layout->addWidget(editor);
        window.resize(800, 600);
        window.show();
        window.activateWindow();
        editor->textView()->setFocus();
        if (editor->vim())
            editor->vim()->beep = [this] { ++beeps; };
    }
    bool ready() { return QTest::qWaitForWindowActive(&window) && editor->textView()->hasFocus(); }

    QWidget window;
    EditorView *editor = nullptr;
    int beeps = 0;
};

} // namespace

class tst_VimModeController : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void keys_data();
    void keys();
    void exCommands_data();
    void exCommands();
    void shortcutsSurvive_data();
    void shortcutsSurvive();
    void findBarKeepsItsKeys();
    void switchedOffTypesPlainly();
    void verticalMovesFollowWrappedLines();
    void hugeCountsEndWhereTheCaretStops();
    void caretTakesTheModeColour_data();
    void caretTakesTheModeColour();
};

// Every row starts in normal mode on `start` and types `keys`. "~" in the register
// column leaves the register unchecked; an expected text without marks leaves the
// caret unchecked.
void tst_VimModeController::keys_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("yanked");
    QTest::addColumn<int>("beeps");

    const auto row = [](const char *name, const QString &start, const QString &keys, const QString &expected,
                        const char *mode = "normal", const QString &yanked = QStringLiteral("~"), int beeps = 0) {
        QTest::newRow(name) << start << keys << expected << QString::fromLatin1(mode) << yanked << beeps;
    };

    // Moves.
    row("h", "ab|c", "h", "a|bc");
    row("count h stops at the start", "ab|c", "3h", "|abc");
    row("l", "|abc", "l", "a|bc");
    row("count l stops at the end", "|abc\ndef", "99l", "abc\ndef|");
    row("two-digit count", "|abcdefghijkl", "10l", "abcdefghij|kl");
    row("j keeps the column", "ab|cd\nabcd", "j", "abcd\nab|cd");
    row("k keeps the column", "abcd\nab|cd", "k", "ab|cd\nabcd");
    row("j on the last line stays", "ab\nc|d", "j", "ab\nc|d");
    row("k on the first line stays", "a|b\ncd", "k", "a|b\ncd");
    row("count j past the end reaches the last line", "a|b\ncd\nef", "9j", "ab\ncd\nef|");
    row("w", "|foo bar", "w", "foo |bar");
    row("w stops at punctuation's far side", "|foo.bar baz", "w", "foo.|bar baz");
    row("w takes _ as a word unit", "|foo_bar baz", "w", "foo_bar |baz");
    row("w skips a surrogate pair", QStringLiteral("|a\U0001F600b c"), "w", QStringLiteral("a\U0001F600|b c"));
    row("count w", "|a b c d", "3w", "a b c |d");
    row("w on the last word", "f|oo", "w", "foo|");
    row("b", "foo bar|", "b", "foo |bar");
    row("b over punctuation", "foo.|bar", "b", "|foo.bar");
    row("b at the start", "|foo", "b", "|foo");
    row("e", "|foo bar", "e", "foo| bar");
    row("e from a word's end", "foo| bar", "e", "foo bar|");
    row("$", "a|bc\nd", "$", "abc|\nd");
    row("$ on the last line", "x\na|bc", "$", "x\nabc|");
    row("0", "x\nab|c", "0", "x\n|abc");
    row("gg", "abc\nd|ef", "gg", "|abc\ndef");
    row("G", "|abc\ndef", "G", "abc\ndef|");
    row("g then another key does nothing", "ab|c", "gx", "ab|c");
    row("f", "|abcabc", "fc", "ab|cabc");
    row("f crosses lines", "|ab\ncd", "fd", "ab\nc|d");
    row("t lands on the target", "|abc", "tc", "ab|c");
    row("f without a match beeps", "|abc", "fz", "|abc", "normal", "~", 1);
    row("f at the text end beeps", "abc|", "fa", "abc|", "normal", "~", 1);
    row("f stays pending over Escape", "|abc", "f<Esc>c", "ab|c");
    row("Escape drops a count", "|abcd", "3<Esc>x", "|bcd");

    // Entering insert mode.
    row("i", "a|b", "iX<Esc>", "aX|b");
    row("I", "ab|c", "IX", "X|abc", "insert");
    row("a", "a|bc", "aX", "abX|c", "insert");
    row("A", "a|bc\nd", "AX", "abcX|\nd", "insert");
    row("o", "a|b\ncd", "oX", "ab\nX|\ncd", "insert");
    row("o on a last line without a break", "a|b", "oX", "ab\nX|", "insert");
    row("O", "ab\nc|d", "OX", "ab\nX|\ncd", "insert");
    row("unmapped z is typed", "a|b", "z", "az|b");

    // Character and line edits.
    row("x does not yank", "a|bc", "x", "a|c", "normal", "");
    row("count x", "a|bcde", "3x", "a|e");
    row("count x near the end", "abc|de", "3x", "abc|");
    row("x at the end does nothing", "ab|", "x", "ab|");
    row("dot repeats count x", "a|bcdefgh", "3x.", "a|h");
    row("dot near the text end", "|abcd", "3x.", "|");
    row("X", "abc|d", "2X", "a|d");
    row("X at the start does nothing", "|ab", "X", "|ab");
    row("D", "a|bc\nd", "D", "a|\nd", "normal", "bc");
    row("C", "a|bc\nd", "CX", "aX|\nd", "insert", "bc");
    row("Y", "a|b\ncd", "Y", "a|b\ncd", "normal", "ab\n");
    row("dd", "ab\nc|d\nef", "dd", "ab\n|ef", "normal", "cd\n");
    row("dd on a last line without a break", "ab\nc|d", "dd", "ab\n|", "normal", "cd");
    row("cc on a last line without a break", "ab\nc|d", "ccX", "ab\nX|", "insert", "cd");
    row("yy on a last line without a break", "ab\nc|d", "yy", "ab\nc|d", "normal", "cd");
    row("count before dd is dropped", "|a\nb\nc", "3dd", "|b\nc", "normal", "a\n");
    row("dot repeats dd", "|a\nb\nc", "dd.", "|c", "normal", "b\n");
    row("yyp pastes after the caret", "a|b\ncd", "yyp", "abab\n|\ncd", "normal", "ab\n");
    row("P pastes at the caret", "a|b", "yyP", "aab|b", "normal", "ab");
    row("p with an empty register", "a|b", "p", "a|b", "normal", "");

    // Operators with motions.
    row("dw", "|foo bar", "dw", "|bar", "normal", "foo ");
    row("dw on the last word", "foo b|ar", "dw", "foo b|", "normal", "ar");
    row("de", "|foo bar", "de", "| bar", "normal", "foo");
    row("db", "foo ba|r", "db", "foo |r", "normal", "ba");
    row("d$", "a|bc\nd", "d$", "a|\nd", "normal", "bc");
    row("dh", "ab|c", "dh", "a|c", "normal", "b");
    row("dl", "a|bc", "dl", "a|c", "normal", "b");
    row("dj", "a|b\ncd\nef", "dj", "|ef", "normal", "ab\ncd\n");
    row("dj on the last line", "ab\nc|d", "dj", "ab\nc|d", "normal", "");
    row("dk", "ab\ncd\ne|f", "dk", "ab\n|", "normal", "cd\nef");
    row("dk on the first line", "a|b\ncd", "dk", "a|b\ncd", "normal", "");
    row("0 after d moves and keeps d pending", "x\nab|cd", "d0", "x\n|abcd");
    row("d0 then d deletes the line", "ab|cd\nx", "d0d", "|x", "normal", "abcd\n");
    row("d with an unknown motion", "a|b", "dz", "a|b", "normal", "", 0);
    row("dot repeats dw", "|a b c", "dw.", "|c", "normal", "b ");
    row("cw", "|foo bar", "cwX", "X|bar", "insert", "foo ");
    row("ce", "|foo bar", "ceX", "X| bar", "insert", "foo");
    row("cb", "foo ba|r", "cbX", "foo X|r", "insert", "ba");
    row("c$", "a|bc\nd", "c$X", "aX|\nd", "insert", "bc");
    row("ch", "ab|c", "chX", "aX|c", "insert", "b");
    row("cl", "a|bc", "clX", "aX|c", "insert", "b");
    row("cj", "a|b\ncd\nef", "cjX", "X|ef", "insert", "ab\ncd\n");
    row("ck", "ab\nc|d", "ckX", "X|", "insert", "ab\ncd");
    row("dot repeats cw in insert mode", "|a b c", "cwX<Esc>.", "X|c", "insert", "b ");
    row("yw", "|foo bar", "yw", "|foo bar", "normal", "foo ");
    row("ye", "|foo bar", "ye", "|foo bar", "normal", "foo");
    row("yb", "foo ba|r", "yb", "foo ba|r", "normal", "ba");
    row("y$", "a|bc\nd", "y$", "a|bc\nd", "normal", "bc");
    row("yh", "ab|c", "yh", "ab|c", "normal", "b");
    row("yl", "a|bc", "yl", "a|bc", "normal", "b");
    row("yj", "a|b\ncd\nef", "yj", "a|b\ncd\nef", "normal", "ab\ncd\n");
    row("yk", "ab\nc|d", "yk", "ab\nc|d", "normal", "ab\ncd");

    // Visual mode.
    row("v alone selects nothing", "a|bc", "v", "a|bc", "visual");
    row("v l", "a|bcd", "vl", "a‹b›cd", "visual");
    row("v then d", "a|bcde", "vlld", "a|de", "normal", "bc");
    row("v then x", "a|bcde", "vlx", "a|cde", "normal", "b");
    row("v then c", "a|bcde", "vllcX", "aX|de", "insert", "bc");
    row("v then y", "a|bcde", "vlly", "a|bcde", "normal", "bc");
    row("v w then d", "|foo bar", "vwd", "|bar", "normal", "foo ");
    row("v b then d", "foo ba|r", "vbd", "foo |r", "normal", "ba");
    row("v j then d", "ab|cd\nabcd", "vjd", "ab|cd", "normal", "cd\nab");
    row("v h before the anchor", "ab|cd", "vhh", "a‹b›cd", "visual");
    row("v again keeps the selection", "a|bc", "vlv", "a‹b›c", "normal");
    row("Escape keeps the selection", "a|bc", "vl<Esc>", "a‹b›c", "normal");
    row("dot after a visual delete deletes what is selected", "a|bcdef", "vlld.", "a|def", "normal", "");
    row("an unmapped key replaces the selection", "a|bc", "vlz", "az|c", "visual");

    // The command line without a document.
    row("set nu beeps", "a|b", ":set nu<CR>", "a|b", "normal", "~", 1);
    row("set nonumber beeps", "a|b", ":set nonumber<CR>", "a|b", "normal", "~", 1);
    row("unknown command beeps", "a|b", ":foo<CR>", "a|b", "normal", "~", 1);
    row("empty command beeps", "a|b", ":<CR>", "a|b", "normal", "~", 1);
    row("colon then Backspace leaves", "a|b", ":<BS>x", "a|", "normal");
    row("Backspace edits the command", "a|b", ":ab<BS>", "a|b", "command");
    row("command-line keys are not typed", "a|b", ":xyz", "a|b", "command");
    row("Escape leaves the command line", "a|b", ":set<Esc>x", "a|", "normal");

    // Undo and redo: each command is one step.
    row("u after count x", "a|bcde", "3xu", "abcde");
    row("u puts the caret where the text came back", "x\n\nSo|me", "3xu", "x\n\nSo|me");
    row("Ctrl+R puts the caret where the text went", "x\nab|cd\nef", "xuG<C-r>", "x\nab|d\nef");
    row("x x are two steps", "|abc", "xxu", "bc");
    row("u after dd", "a\n|b\nc", "ddu", "a\nb\nc");
    row("u after p", "a|b", "yypu", "ab");
    row("u after cw and typing undoes the typing", "|foo bar", "cwXY<Esc>u", "bar");
    row("two u after cw and typing", "|foo bar", "cwXY<Esc>uu", "foo bar");
    row("Ctrl+R redoes", "a|bcde", "3xu<C-r>", "ae");
    row("Ctrl+R in visual mode is not redo", "a|bc", "xuv<C-r>", "abc", "visual");
}

void tst_VimModeController::keys()
{
    QFETCH(QString, start);
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    QFETCH(QString, mode);
    QFETCH(QString, yanked);
    QFETCH(int, beeps);

    ScriptedAlertPresenter user;
    DocumentManager manager;
    const Marked begin = parse(start);
    VimWindow fixture(begin.text);
    EditorView *editor = fixture.editor;
    editor->setDocumentManager(&manager);
    QVERIFY(fixture.ready());
    QVERIFY(editor->vim());
    QCOMPARE(editor->vim()->mode(), Mode::Normal);
    select(editor, begin);
    editor->textView()->document()->setModified(false);
    DeltaMirror mirror(editor, begin.text);

    sendVimKeys(editor->textView(), keys);

    const QString text = editor->text();
    if (expected.contains(QLatin1Char('|')) || expected.contains(selectionStart))
        QCOMPARE(shown(text, editor->textView()->textCursor()), expected);
    else
        QCOMPARE(text, expected);
    QCOMPARE(editor->vim()->mode(), modeNamed(mode));
    // The widget's caret is the insert-mode one; the others are drawn in their colour.
    QCOMPARE(editor->textView()->caretColor().isValid(), modeNamed(mode) != Mode::Insert);
    if (yanked != QLatin1String("~"))
        QCOMPARE(editor->vim()->yankRegister(), yanked);
    QCOMPARE(fixture.beeps, beeps);
    // Every change reached the document as typing does, and undoing back to the
    // text it started from leaves it unmodified.
    QCOMPARE(mirror.text(), text);
    QCOMPARE(editor->textView()->document()->isModified(), text != begin.text);
}

void tst_VimModeController::exCommands_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("answerSavePanel");
    QTest::addColumn<QString>("fileText");
    QTest::addColumn<int>("savePanels");
    QTest::addColumn<bool>("closed");

    QTest::newRow("w saves") << "x:w<CR>" << false << "bc" << 0 << false;
    QTest::newRow("w with blanks around") << "x: w \t<CR>" << false << "bc" << 0 << false;
    QTest::newRow("w name opens Save As") << "x:w other.md<CR>" << false << "abc" << 1 << false;
    QTest::newRow("w name saves where the panel says") << "x:w other.md<CR>" << true << "abc" << 1 << false;
    QTest::newRow("q closes") << ":q<CR>" << false << "abc" << 0 << true;
    QTest::newRow("q on a change asks first") << "x:q<CR>" << false << "abc" << 0 << false;
    QTest::newRow("wq saves and closes") << "x:wq<CR>" << false << "bc" << 0 << true;
    QTest::newRow("x saves and closes") << "x:x<CR>" << false << "bc" << 0 << true;
    QTest::newRow("set number leaves the file") << "x:set number<CR>" << false << "abc" << 0 << false;
}

// The tab holds "abc" saved in a file; an "x" typed first deletes its "a" through the editor.
void tst_VimModeController::exCommands()
{
    QFETCH(QString, keys);
    QFETCH(bool, answerSavePanel);
    QFETCH(QString, fileText);
    QFETCH(int, savePanels);
    QFETCH(bool, closed);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("note.md"));
    const QString otherPath = folder.filePath(QStringLiteral("chosen.md"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("abc");
    }
    ScriptedAlertPresenter user;
    if (answerSavePanel)
        user.saveAnswers.append(otherPath);
    DocumentManager manager;
    manager.openFile(path);
    TabDocument *document = manager.selectedDocument();
    QVERIFY(document);
    QCOMPARE(document->text(), QStringLiteral("abc"));

    VimWindow fixture(document->text());
    EditorView *editor = fixture.editor;
    editor->setDocumentManager(&manager);
    QObject::connect(editor, &EditorView::userEdited, document, &TabDocument::userEditedRange);
    QVERIFY(fixture.ready());
    select(editor, parse(QStringLiteral("|abc")));

    sendVimKeys(editor->textView(), keys);

    const auto fileContent = [](const QString &name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    QCOMPARE(fileContent(path), fileText);
    QCOMPARE(user.savePanels.size(), savePanels);
    QCOMPARE(fileContent(otherPath), answerSavePanel ? QStringLiteral("bc") : QString());
    QCOMPARE(manager.documents().isEmpty(), closed);
    QCOMPARE(editor->vim()->mode(), Mode::Normal);
    QCOMPARE(fixture.beeps, keys.contains(QLatin1String("set")) ? 1 : 0);
    // A change the user was asked about is not lost.
    if (keys.startsWith(QLatin1Char('x')) && !closed)
        QCOMPARE(document->text(), QStringLiteral("bc"));
}

// The window's own shortcuts and the text view's chords keep working in Vim mode.
void tst_VimModeController::shortcutsSurvive_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("saves");
    QTest::addColumn<int>("closes");
    QTest::addColumn<QString>("clipboard");

    QTest::newRow("Ctrl+C copies") << "‹ab›c" << "<C-c>" << "‹ab›c" << "normal" << 0 << 0 << "ab";
    QTest::newRow("Ctrl+V pastes") << "‹ab›c" << "<C-c>$<C-v>" << "abcab|" << "normal" << 0 << 0 << "ab";
    QTest::newRow("Ctrl+S saves") << "a|b" << "<C-s>" << "a|b" << "normal" << 1 << 0 << "~";
    QTest::newRow("Ctrl+W closes") << "a|b" << "<C-w>" << "a|b" << "normal" << 0 << 1 << "~";
    QTest::newRow("Ctrl+C then Ctrl+W is no change") << "|foo bar" << "<C-c><C-w>" << "|foo bar" << "normal" << 0 << 1 << "~";
    QTest::newRow("Ctrl+R redoes") << "a|bc" << "xu<C-r>" << "a|c" << "normal" << 0 << 0 << "~";
    QTest::newRow("Ctrl+S after an operator") << "a|b" << "d<C-s>" << "a|b" << "normal" << 1 << 0 << "~";
    QTest::newRow("visual Ctrl+C copies") << "a|bcd" << "vll<C-c>" << "a‹bc›d" << "visual" << 0 << 0 << "bc";
    QTest::newRow("visual Ctrl+S saves") << "a|bcd" << "vl<C-s>" << "a‹b›cd" << "visual" << 1 << 0 << "~";
    QTest::newRow("insert Ctrl+S saves") << "a|b" << "iX<C-s>" << "aX|b" << "insert" << 1 << 0 << "~";
    QTest::newRow("the command line takes Ctrl+S") << "a|b" << ":<C-s>" << "a|b" << "command" << 0 << 0 << "~";
}

void tst_VimModeController::shortcutsSurvive()
{
    QFETCH(QString, start);
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    QFETCH(QString, mode);
    QFETCH(int, saves);
    QFETCH(int, closes);
    QFETCH(QString, clipboard);

    QGuiApplication::clipboard()->clear();
    const Marked begin = parse(start);
    VimWindow fixture(begin.text);
    auto *save = new QAction(QStringLiteral("Save"), &fixture.window);
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    auto *close = new QAction(QStringLiteral("Close"), &fixture.window);
    close->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    fixture.window.addAction(save);
    fixture.window.addAction(close);
    QSignalSpy saved(save, &QAction::triggered);
    QSignalSpy closed(close, &QAction::triggered);
    QVERIFY(fixture.ready());
    select(fixture.editor, begin);

    sendVimKeys(fixture.editor->textView(), keys);

    QCOMPARE(shown(fixture.editor->text(), fixture.editor->textView()->textCursor()), expected);
    QCOMPARE(fixture.editor->vim()->mode(), modeNamed(mode));
    QCOMPARE(saved.count(), saves);
    QCOMPARE(closed.count(), closes);
    if (clipboard != QLatin1String("~"))
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
}

void tst_VimModeController::findBarKeepsItsKeys()
{
    VimWindow fixture(QStringLiteral("abc"));
    QVERIFY(fixture.ready());
    fixture.editor->showFind(false);
    QTRY_VERIFY(!fixture.editor->textView()->hasFocus());
    auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(field);

    sendVimKeys(fixture.editor->textView(), u"xd:");

    QCOMPARE(field->text(), QStringLiteral("xd:"));
    QCOMPARE(fixture.editor->text(), QStringLiteral("abc"));
    QCOMPARE(fixture.editor->vim()->mode(), Mode::Normal);
}

void tst_VimModeController::switchedOffTypesPlainly()
{
    VimWindow fixture(QStringLiteral("abc"));
    QVERIFY(fixture.ready());
    fixture.editor->setVimModeEnabled(false);
    QCOMPARE(fixture.editor->vim()->mode(), Mode::Insert);
    select(fixture.editor, parse(QStringLiteral("|abc")));

    sendVimKeys(fixture.editor->textView(), u"dw<Esc>x");

    QCOMPARE(fixture.editor->text(), QStringLiteral("dwxabc"));
    fixture.editor->setVimModeEnabled(true);
    QCOMPARE(fixture.editor->vim()->mode(), Mode::Normal);
    sendVimKeys(fixture.editor->textView(), u"x");
    QCOMPARE(fixture.editor->text(), QStringLiteral("dwxbc"));
}

// j and k move by what is shown: a wrapped paragraph takes several steps.
void tst_VimModeController::verticalMovesFollowWrappedLines()
{
    const QString paragraph = QStringLiteral("word ").repeated(200);
    VimWindow fixture(paragraph + QStringLiteral("\nend"));
    QVERIFY(fixture.ready());
    QTextCursor cursor = fixture.editor->textView()->textCursor();
    cursor.setPosition(2);
    fixture.editor->textView()->setTextCursor(cursor);
    const QRect before = fixture.editor->textView()->cursorRect();

    sendVimKeys(fixture.editor->textView(), u"j");

    const QTextCursor after = fixture.editor->textView()->textCursor();
    QVERIFY2(after.position() > 2 && after.position() < paragraph.size(), qPrintable(QString::number(after.position())));
    const QRect moved = fixture.editor->textView()->cursorRect();
    QVERIFY(moved.top() > before.top());
    QVERIFY(qAbs(moved.left() - before.left()) <= moved.height());

    sendVimKeys(fixture.editor->textView(), u"k");
    QCOMPARE(fixture.editor->textView()->textCursor().position(), 2);
}

void tst_VimModeController::hugeCountsEndWhereTheCaretStops()
{
    VimWindow fixture(QStringLiteral("one two\nthree"));
    QVERIFY(fixture.ready());
    select(fixture.editor, parse(QStringLiteral("|one two\nthree")));

    sendVimKeys(fixture.editor->textView(), u"99999999999w");
    QCOMPARE(fixture.editor->textView()->textCursor().position(), 13);
    sendVimKeys(fixture.editor->textView(), u"99999999999999999999999b");
    // An overflowing count counts as one.
    QCOMPARE(fixture.editor->textView()->textCursor().position(), 8);
    sendVimKeys(fixture.editor->textView(), u"9223372036854775807h");
    QCOMPARE(fixture.editor->textView()->textCursor().position(), 0);
    sendVimKeys(fixture.editor->textView(), u"9223372036854775807l");
    QCOMPARE(fixture.editor->textView()->textCursor().position(), 13);
}

void tst_VimModeController::caretTakesTheModeColour_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QColor>("colour");

    QTest::newRow("normal") << "" << QColor(255, 149, 0);
    QTest::newRow("visual") << "v" << QColor(255, 149, 0);
    QTest::newRow("command line") << ":" << QColor(175, 82, 222);
}

// The widget paints its caret in the text colour: the mode's colour must be drawn.
void tst_VimModeController::caretTakesTheModeColour()
{
    QFETCH(QString, keys);
    QFETCH(QColor, colour);

    VimWindow fixture(QStringLiteral("abc def"));
    QVERIFY(fixture.ready());
    select(fixture.editor, parse(QStringLiteral("abc |def")));
    sendVimKeys(fixture.editor->textView(), keys);

    SorvaneTextView *view = fixture.editor->textView();
    const QRect caret = view->cursorRect();
    const QImage image = view->viewport()->grab().toImage();
    const qreal scale = image.devicePixelRatio();
    bool drawn = false;
    for (int y = caret.top() + 1; y < caret.bottom() && !drawn; ++y) {
        for (int x = caret.left() - 1; x <= caret.left() + 2 && !drawn; ++x)
            drawn = image.pixelColor(QPoint(int(x * scale), int(y * scale))) == colour;
    }
    QVERIFY(drawn);
}

SORVANE_TEST_MAIN(tst_VimModeController)
#include "tst_VimModeController.moc"
