#include "TestEnvironment.h"

#include "editor/EditorView.h"
#include "editor/SorvaneTextView.h"
#include "editor/snippets/SnippetService.h"
#include "settings/SnippetEditorForm.h"
#include "settings/SnippetsTab.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {
// "name|trigger" per stored snippet, in file order.
QStringList storedRows(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("<unreadable>")};
    QStringList rows;
    for (const QJsonValue &value : QJsonDocument::fromJson(file.readAll()).array()) {
        const QJsonObject object = value.toObject();
        rows << object.value(QStringLiteral("name")).toString() + u'|' + object.value(QStringLiteral("trigger")).toString();
    }
    return rows;
}

QStringList rowsOf(const QList<Snippet> &snippets)
{
    QStringList rows;
    for (const Snippet &snippet : snippets)
        rows << snippet.name + u'|' + snippet.trigger;
    return rows;
}

// What the list shows, read from the row labels.
QStringList shownRows(QListWidget *list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i) {
        QWidget *row = list->itemWidget(list->item(i));
        rows << row->findChild<QLabel *>(QStringLiteral("name"))->text() + u'|'
                    + row->findChild<QLabel *>(QStringLiteral("trigger"))->text();
    }
    return rows;
}

const QStringList starterRows = {"Today's date|;date", "Timestamp|;now", "Meeting notes|;meet",
                                 "Blog post frontmatter|;post", "Code block|;code"};
} // namespace

class tst_SnippetsTab : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void edits_data();
    void edits();
    void formReportsOnlyUserEdits();
    void newTriggerExpandsInAnOpenEditor();

private:
    void run(SnippetsTab &tab, const QString &step);
};

// Steps: "add", "delete", "reset", "select N" (click row N), "name TEXT" / "trigger TEXT"
// (typed at the end of the field), "clear name", "body TEXT".
void tst_SnippetsTab::run(SnippetsTab &tab, const QString &step)
{
    const QString argument = step.section(u' ', 1);
    if (step == QLatin1String("add")) {
        QTest::mouseClick(tab.addButton(), Qt::LeftButton);
    } else if (step == QLatin1String("delete")) {
        QVERIFY(tab.deleteButton()->isEnabled());
        QTest::mouseClick(tab.deleteButton(), Qt::LeftButton);
    } else if (step == QLatin1String("reset")) {
        QTest::mouseClick(tab.resetButton(), Qt::LeftButton);
    } else if (step.startsWith(QLatin1String("select "))) {
        QListWidget *list = tab.list();
        QListWidgetItem *item = list->item(argument.toInt());
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
    } else if (step == QLatin1String("clear name")) {
        QLineEdit *field = tab.form()->nameField();
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
    } else if (step.startsWith(QLatin1String("name ")) || step.startsWith(QLatin1String("trigger "))) {
        QLineEdit *field = step.startsWith(u'n') ? tab.form()->nameField() : tab.form()->triggerField();
        field->end(false);
        QTest::keyClicks(field, argument);
    } else if (step.startsWith(QLatin1String("body "))) {
        QPlainTextEdit *body = tab.form()->bodyEditor();
        body->moveCursor(QTextCursor::End);
        QTest::keyClicks(body, argument);
    } else {
        QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
    }
}

void tst_SnippetsTab::edits_data()
{
    QTest::addColumn<int>("keep"); // the library starts as the first `keep` starters
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("selectedRow"); // -1: no row selected
    QTest::addColumn<bool>("placeholder");
    QTest::addColumn<bool>("deleteEnabled");
    QTest::addColumn<bool>("writes");

    const QString newRow = QStringLiteral("New Snippet|;new");
    QTest::newRow("nothing selected") << 5 << QStringList() << starterRows << -1 << true << false << false;
    QTest::newRow("selecting alone writes nothing")
        << 5 << QStringList{"select 3", "select 1"} << starterRows << 1 << false << true << false;
    QTest::newRow("add twice") << 5 << QStringList{"add", "add"} << starterRows + QStringList{newRow, newRow} << 6
                               << false << true << true;
    QTest::newRow("delete the only snippet")
        << 1 << QStringList{"select 0", "delete"} << QStringList() << -1 << true << false << true;
    QTest::newRow("delete a middle snippet selects the first")
        << 5 << QStringList{"select 2", "delete"}
        << QStringList{"Today's date|;date", "Timestamp|;now", "Blog post frontmatter|;post", "Code block|;code"} << 0
        << false << true << true;
    QTest::newRow("edit name and trigger")
        << 5 << QStringList{"select 1", "name !", "trigger s"}
        << QStringList{"Today's date|;date", "Timestamp!|;nows", "Meeting notes|;meet", "Blog post frontmatter|;post",
                       "Code block|;code"}
        << 1 << false << true << true;
    QTest::newRow("cleared name is stored empty")
        << 5 << QStringList{"select 0", "clear name"}
        << QStringList{"|;date", "Timestamp|;now", "Meeting notes|;meet", "Blog post frontmatter|;post", "Code block|;code"}
        << 0 << false << true << true;
    QTest::newRow("reset after edits restores the starters and keeps the selection")
        << 5 << QStringList{"add", "select 2", "name X", "body more", "reset"} << starterRows << 2 << false << true << true;
    QTest::newRow("reset drops a selected snippet of the user's")
        << 2 << QStringList{"add", "name Y", "reset"} << starterRows << -1 << true << true << true;
}

void tst_SnippetsTab::edits()
{
    QFETCH(int, keep);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, rows);
    QFETCH(int, selectedRow);
    QFETCH(bool, placeholder);
    QFETCH(bool, deleteEnabled);
    QFETCH(bool, writes);

    QTemporaryDir fixture;
    const QString path = fixture.filePath(QStringLiteral("snippets.json"));
    {
        // The fixture's library, on disk before the service that the tab sees loads it.
        SnippetService seeding(path);
        for (const Snippet &snippet : SnippetService::starters().mid(keep))
            seeding.remove(snippet.id);
    }
    QFile original(path);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();

    SnippetService service(path);
    SnippetsTab tab(service);
    tab.resize(560, 380);
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    QVERIFY(!tab.selectedID());
    for (const QString &step : steps) {
        run(tab, step);
        if (QTest::currentTestFailed())
            return;
    }

    QCOMPARE(rowsOf(service.snippets()), rows);
    QCOMPARE(shownRows(tab.list()), rows);
    const QList<QListWidgetItem *> chosen = tab.list()->selectedItems();
    QCOMPARE(chosen.isEmpty() ? -1 : tab.list()->row(chosen.first()), selectedRow);
    QCOMPARE(tab.isShowingPlaceholder(), placeholder);
    QCOMPARE(tab.deleteButton()->isEnabled(), deleteEnabled);
    if (selectedRow >= 0) {
        // The form shows exactly the selected snippet as stored.
        QCOMPARE(tab.form()->snippet(), service.snippets().at(selectedRow));
        QCOMPARE(tab.form()->nameField()->text(), service.snippets().at(selectedRow).name);
        QCOMPARE(tab.form()->bodyEditor()->toPlainText(), service.snippets().at(selectedRow).body);
    }
    if (writes) {
        QTRY_COMPARE(storedRows(path), rows);
    } else {
        QVERIFY(!service.isSavePending());
        QFile after(path);
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), before);
    }
}

void tst_SnippetsTab::formReportsOnlyUserEdits()
{
    SnippetEditorForm form;
    form.show();
    QSignalSpy edited(&form, &SnippetEditorForm::edited);
    Snippet snippet = SnippetService::starters().at(2);
    form.setSnippet(snippet);
    form.setSnippet(SnippetService::starters().at(3));
    form.setSnippet(snippet);
    QCOMPARE(edited.size(), 0);

    QTest::keyClicks(form.nameField(), QStringLiteral("!"));
    snippet.name += u'!';
    QCOMPARE(edited.size(), 1);
    QCOMPARE(edited.last().at(0).value<Snippet>(), snippet);

    // Return hands the whole snippet on once more, unchanged.
    QTest::keyClick(form.triggerField(), Qt::Key_Return);
    QCOMPARE(edited.size(), 2);
    QCOMPARE(edited.last().at(0).value<Snippet>(), snippet);

    form.bodyEditor()->moveCursor(QTextCursor::Start);
    QTest::keyClick(form.bodyEditor(), Qt::Key_Return);
    snippet.body.prepend(u'\n');
    QCOMPARE(edited.size(), 3);
    QCOMPARE(edited.last().at(0).value<Snippet>(), snippet);
    QCOMPARE(form.snippet(), snippet);
}

void tst_SnippetsTab::newTriggerExpandsInAnOpenEditor()
{
    SnippetService &service = SnippetService::shared();
    SnippetsTab tab(service);
    tab.show();
    EditorView editor(QUuid::createUuid(), QStringLiteral("Regards ;sig"));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));

    QTest::mouseClick(tab.addButton(), Qt::LeftButton);
    QLineEdit *trigger = tab.form()->triggerField();
    trigger->selectAll();
    QTest::keyClicks(trigger, QStringLiteral(";sig"));
    QPlainTextEdit *body = tab.form()->bodyEditor();
    body->selectAll();
    QTest::keyClicks(body, QStringLiteral("-- Ann{{cursor}}!"));
    QCOMPARE(service.snippets().last().body, QStringLiteral("-- Ann{{cursor}}!"));

    editor.textView()->moveCursor(QTextCursor::End);
    QTest::keyClick(editor.textView(), Qt::Key_Tab);
    QCOMPARE(editor.text(), QStringLiteral("Regards -- Ann!"));
    QCOMPARE(editor.textView()->textCursor().position(), 14);

    // Closing the tab and opening it again starts with nothing selected.
    SnippetsTab reopened(service);
    QVERIFY(!reopened.selectedID());
    QVERIFY(reopened.isShowingPlaceholder());
}

SORVANE_TEST_MAIN(tst_SnippetsTab)
#include "tst_SnippetsTab.moc"
