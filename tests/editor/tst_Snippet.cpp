#include "EditorTestSupport.h"
#include "MarkedText.h"
#include "TestEnvironment.h"

#include "editor/snippets/Snippet.h"
#include "editor/snippets/SnippetDateFormat.h"
#include "editor/snippets/SnippetService.h"

#include <QLocale>
#include <QTimeZone>
#include <QtTest>

#include <ctime>

class tst_Snippet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void expand_data();
    void expand();
    void tabInEditor_data();
    void tabInEditor();
    void oneUndoRestoresTheTrigger();
    void readOnlyEditorKeepsItsText();
};

void tst_Snippet::initTestCase()
{
    // A zone without summer time, away from UTC, so "local" is visible in the results.
    qputenv("TZ", "Asia/Tokyo");
    tzset();
}

void tst_Snippet::expand_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QDateTime>("at");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursorOffset");

    const QDateTime morning(QDate(2026, 3, 7), QTime(9, 5, 42));
    QTest::newRow("date") << "{{date}}" << morning << "en_US" << "2026-03-07" << 10;
    QTest::newRow("time") << "at {{time}}." << morning << "en_US" << "at 09:05." << 9;
    QTest::newRow("datetime") << "{{datetime}}" << morning << "en_US" << "2026-03-07 09:05" << 16;
    QTest::newRow("every token, twice") << "{{date}}/{{date}} {{time}} {{datetime}}" << morning << "en_US"
                                        << "2026-03-07/2026-03-07 09:05 2026-03-07 09:05" << 44;
    QTest::newRow("tokens are case-sensitive") << "{{Date}} {{CURSOR}}" << morning << "en_US"
                                               << "{{Date}} {{CURSOR}}" << 19;
    QTest::newRow("caret counted after the dates are in") << "{{date}} {{cursor}}!" << morning << "en_US"
                                                          << "2026-03-07 !" << 11;
    QTest::newRow("second cursor stays literal") << "a{{cursor}}b{{cursor}}c" << morning << "en_US"
                                                 << "ab{{cursor}}c" << 1;
    QTest::newRow("cursor after an emoji counts UTF-16 units") << QString::fromUtf8("\xF0\x9F\x98\x80{{cursor}}x")
                                                               << morning << "en_US"
                                                               << QString::fromUtf8("\xF0\x9F\x98\x80x") << 2;
    QTest::newRow("no cursor: caret at the end") << "plain" << morning << "en_US" << "plain" << 5;
    QTest::newRow("Arabic locale keeps ASCII digits") << "{{datetime}}" << morning << "ar_EG" << "2026-03-07 09:05"
                                                      << 16;
    QTest::newRow("Thai locale keeps the Gregorian year") << "{{date}}" << morning << "th_TH" << "2026-03-07" << 10;
    QTest::newRow("UTC evening is the next local day")
        << "{{datetime}}" << QDateTime(QDate(2026, 12, 31), QTime(22, 30), QTimeZone::utc()) << "en_US"
        << "2027-01-01 07:30" << 16;
}

void tst_Snippet::expand()
{
    QFETCH(QString, body);
    QFETCH(QDateTime, at);
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(int, cursorOffset);

    QLocale::setDefault(QLocale(locale));
    Snippet snippet;
    snippet.body = body;
    const Snippet::Expansion expansion = snippet.expand(at);
    QLocale::setDefault(QLocale::c());
    QCOMPARE(expansion.text, text);
    QCOMPARE(expansion.cursorOffset, cursorOffset);
}

void tst_Snippet::tabInEditor_data()
{
    // Texts mark the caret with ‹›; "<date>" stands for today's date.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::newRow(";date") << ";date‹›" << "<date>‹›";
    QTest::newRow(";date after a word and a blank") << "Notes ;date‹› rest" << "Notes <date>‹› rest";
    QTest::newRow(";meet puts the caret after the attendees label")
        << "intro\n;meet‹›"
        << "intro\n# Meeting \u2014 <date>\n\n**Attendees:** ‹›\n\n## Agenda\n\n- \n\n## Notes\n\n## Action items\n\n- [ ] ";
    QTest::newRow(";code on a later line") << "a\n\t;code‹›" << "a\n\t```\n‹›\n```";
    QTest::newRow("text glued before the trigger") << "x;date‹›" << "x;date\t‹›";
    QTest::newRow("trigger on the line above does not reach over the break") << ";date\n‹›" << ";date\n\t‹›";
    QTest::newRow("start of the document") << "‹›;date" << "\t‹›;date";
    QTest::newRow("after a blank") << ";date ‹›" << ";date \t‹›";
    QTest::newRow("unknown word") << ";nope‹›" << ";nope\t‹›";
}

void tst_Snippet::tabInEditor()
{
    QFETCH(QString, before);
    QFETCH(QString, after);

    const QString today = SnippetDateFormat::date(QDateTime::currentDateTime());
    after.replace(QStringLiteral("<date>"), today);
    const Marked start = unmark(before);
    const Marked expected = unmark(after);

    auto editor = makeEditor(start.text, quietConfiguration());
    DeltaMirror mirror(editor.get(), start.text);
    QTextCursor cursor = editor->textView()->textCursor();
    cursor.setPosition(start.start);
    editor->textView()->setTextCursor(cursor);

    QTest::keyClick(editor->textView(), Qt::Key_Tab);

    QCOMPARE(editor->text(), expected.text);
    QCOMPARE(mirror.text(), expected.text);
    QCOMPARE(editor->textView()->textCursor().selectionStart(), expected.start);
    QCOMPARE(editor->textView()->textCursor().selectionEnd(), expected.end);
}

void tst_Snippet::oneUndoRestoresTheTrigger()
{
    const QString text = QStringLiteral("Log ;now");
    auto editor = makeEditor(text, quietConfiguration());
    DeltaMirror mirror(editor.get(), text);
    editor->textView()->moveCursor(QTextCursor::End);
    QTest::keyClick(editor->textView(), Qt::Key_Tab);
    QVERIFY(editor->text().startsWith(QStringLiteral("Log 20")));

    editor->textView()->undo();
    QCOMPARE(editor->text(), text);
    QCOMPARE(mirror.text(), text);
    QCOMPARE(editor->textView()->textCursor().position(), text.size());
}

void tst_Snippet::readOnlyEditorKeepsItsText()
{
    EditorViewConfiguration configuration = quietConfiguration();
    configuration.isEditable = false;
    const QString text = QStringLiteral("Log ;now");
    auto editor = makeEditor(text, configuration);
    editor->textView()->moveCursor(QTextCursor::End);
    QVERIFY(!editor->tryExpandSnippet());
    QTest::keyClick(editor->textView(), Qt::Key_Tab);
    QCOMPARE(editor->text(), text);
}

SORVANE_TEST_MAIN(tst_Snippet)
#include "tst_Snippet.moc"
