#include "MarkedText.h"
#include "TestEnvironment.h"

#include "editor/MarkdownFormatter.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// A bare document with the text and a cursor over [start, end): no view behind it.
struct Fixture
{
    Fixture(const QString &text, int start, int end)
        : cursor(&document)
    {
        // setPlainText starts without an undo history (the text constructor records one).
        document.setPlainText(text);
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
    }
    QString text() const { return document.toPlainText(); }

    QTextDocument document;
    QTextCursor cursor;
};

} // namespace

// The formatter on its own: the editor's table in tst_EditorView covers every
// action's result and caret through the view.
class tst_MarkdownFormatter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyActionIsOneUndoStep_data();
    void everyActionIsOneUndoStep();
    void togglesRoundTrip_data();
    void togglesRoundTrip();
    void nothingToApply();
};

void tst_MarkdownFormatter::everyActionIsOneUndoStep_data()
{
    QTest::addColumn<MarkdownFormatAction>("action");
    for (const MarkdownFormatAction action : MarkdownFormatActions::all())
        QTest::newRow(qPrintable(MarkdownFormatActions::toString(action))) << action;
}

// Typing just before the action stays its own step: one undo takes back the action alone.
void tst_MarkdownFormatter::everyActionIsOneUndoStep()
{
    QFETCH(MarkdownFormatAction, action);
    Fixture f(QStringLiteral("first line\nsecond"), 0, 0);
    QTextCursor typing(&f.document);
    typing.setPosition(13);
    typing.insertText(QStringLiteral("typed"));
    const QString typed = f.text();
    // The caret right after the typing, where a merge would be easiest.
    f.cursor.setPosition(typing.position());
    QSignalSpy steps(&f.document, &QTextDocument::undoCommandAdded);

    QVERIFY(MarkdownFormatter::apply(action, f.cursor));
    QVERIFY(f.text() != typed);
    QCOMPARE(steps.count(), 1);
    f.document.undo();
    QCOMPARE(f.text(), typed);
    f.document.undo();
    QCOMPARE(f.text(), QStringLiteral("first line\nsecond"));
    QVERIFY(!f.document.isUndoAvailable());
}

void tst_MarkdownFormatter::togglesRoundTrip_data()
{
    QTest::addColumn<MarkdownFormatAction>("action");
    QTest::addColumn<QString>("text");      // with the selection to format
    QTest::addColumn<QString>("formatted"); // with the selection to toggle back

    using A = MarkdownFormatAction;
    QTest::newRow("bold") << A::bold << "say ‹word› now" << "say **‹word›** now";
    QTest::newRow("italic") << A::italic << "say ‹word› now" << "say *‹word›* now";
    QTest::newRow("code") << A::code << "say ‹word› now" << "say `‹word›` now";
    QTest::newRow("link") << A::link << "say ‹word› now" << "say [‹word›](url) now";
    QTest::newRow("heading1") << A::heading1 << "x\nTi‹›tle\ny" << "x\n# Title‹›\ny";
    QTest::newRow("heading2") << A::heading2 << "x\nTi‹›tle\ny" << "x\n## Title‹›\ny";
    QTest::newRow("heading3") << A::heading3 << "x\nTi‹›tle\ny" << "x\n### Title‹›\ny";
    QTest::newRow("blockquote") << A::blockquote << "x\n‹quote›\ny" << "x\n> quote‹›\ny";
    QTest::newRow("bulletList") << A::bulletList << "x\nit‹›em\ny" << "x\n- item‹›\ny";
    QTest::newRow("numberedList") << A::numberedList << "x\nit‹›em\ny" << "x\n1. item‹›\ny";
    QTest::newRow("taskList") << A::taskList << "x\nit‹›em\ny" << "x\n- [ ] item‹›\ny";
}

// Applying a toggle to its own result gives back the text, one undo step each way.
void tst_MarkdownFormatter::togglesRoundTrip()
{
    QFETCH(MarkdownFormatAction, action);
    QFETCH(QString, text);
    QFETCH(QString, formatted);
    const Marked original = unmark(text);
    const Marked result = unmark(formatted);
    Fixture f(original.text, original.start, original.end);

    QVERIFY(MarkdownFormatter::apply(action, f.cursor));
    QCOMPARE(f.text(), result.text);
    f.cursor.setPosition(result.start);
    f.cursor.setPosition(result.end, QTextCursor::KeepAnchor);
    QVERIFY(MarkdownFormatter::apply(action, f.cursor));
    QCOMPARE(f.text(), original.text);

    f.document.undo();
    QCOMPARE(f.text(), result.text);
    f.document.undo();
    QCOMPARE(f.text(), original.text);
    QVERIFY(!f.document.isUndoAvailable());
}

void tst_MarkdownFormatter::nothingToApply()
{
    QTextCursor null;
    QVERIFY(!MarkdownFormatter::apply(MarkdownFormatAction::bold, null));

    Fixture f(QStringLiteral("word"), 0, 4);
    const auto notAnAction = MarkdownFormatAction(int(MarkdownFormatActions::all().size()));
    QVERIFY(!MarkdownFormatter::apply(notAnAction, f.cursor));
    QCOMPARE(f.text(), QStringLiteral("word"));
    QCOMPARE(f.cursor.selectionStart(), 0);
    QCOMPARE(f.cursor.selectionEnd(), 4);
    QVERIFY(!f.document.isUndoAvailable());
}

SORVANE_TEST_MAIN(tst_MarkdownFormatter)
#include "tst_MarkdownFormatter.moc"
