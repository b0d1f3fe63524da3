#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"
#include "documents/DocumentManager.h"
#include "documents/EditorView.h"
#include "documents/SorvaneTextView.h"
#include "documents/TabDocument.h"
#include "shell/PlainDocumentWindow.h"

#include <QApplication>
#include <QFile>
#include <QStackedWidget>
#include <QTabBar>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
void writeAll(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}
} // namespace

class PlainDocumentWindowTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Typing in the window reaches the document without touching the bytes the user
    // did not edit: CRLF endings, a non-breaking space and U+2028 survive.
    void typingKeepsUneditedBytes()
    {
        ScriptedAlertPresenter alerts;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("note.md"));
        const QByteArray original = "# Title\r\nA\xc2\xa0" "b\xe2\x80\xa8" "c\r\n";
        writeAll(path, original);

        DocumentManager manager;
        PlainDocumentWindow window(manager);
        manager.openFile(path);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *editor = window.findChild<SorvaneTextView *>();
        QVERIFY(editor);
        editor->moveCursor(QTextCursor::End);
        QTest::keyClicks(editor, QStringLiteral("xy"));
        TabDocument *doc = manager.selectedDocument();
        QVERIFY(doc && doc->isModified());
        QVERIFY(manager.save(doc));
        QCOMPARE(readAll(path), original + "xy");
    }

    // Revert puts the disk text back into the editor; undo cannot bring the edit back.
    void revertReachesTheEditor()
    {
        ScriptedAlertPresenter alerts;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("note.md"));
        writeAll(path, "saved\n");
        DocumentManager manager;
        PlainDocumentWindow window(manager);
        manager.openFile(path);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *view = window.findChild<EditorView *>();
        view->textView()->moveCursor(QTextCursor::End);
        QTest::keyClicks(view->textView(), QStringLiteral("more"));
        QCOMPARE(manager.selectedDocument()->text(), QStringLiteral("saved\nmore"));
        alerts.alertAnswers = {0};
        manager.revertCurrentDocument();
        QCOMPARE(view->text(), QStringLiteral("saved\n"));
        view->textView()->undo();
        QCOMPARE(view->text(), QStringLiteral("saved\n"));
        QVERIFY(!manager.selectedDocument()->isModified());
    }

    void tabsFollowTheManager()
    {
        ScriptedAlertPresenter alerts;
        DocumentManager manager;
        PlainDocumentWindow window(manager);
        auto *tabs = window.findChild<QTabBar *>();
        QVERIFY(tabs);
        manager.newDocument(QStringLiteral("one"), true);
        manager.newDocument(QStringLiteral("two"), false);
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->currentIndex(), 1);
        QVERIFY(tabs->tabText(1).contains(QStringLiteral("Untitled")));
        tabs->setCurrentIndex(0);
        QCOMPARE(manager.selectedDocument()->text(), QStringLiteral("one"));
        auto *shown = qobject_cast<EditorView *>(window.findChild<QStackedWidget *>()->currentWidget());
        QVERIFY(shown);
        QCOMPARE(shown->text(), QStringLiteral("one"));
        // The modified untitled tab asks first; "Don't Save" lets it go.
        alerts.alertAnswers = {1};
        manager.closeDocument(manager.documents().at(1)->id());
        QCOMPARE(tabs->count(), 1);
        QCOMPARE(window.findChildren<EditorView *>().size(), 1);
    }
};

SORVANE_TEST_MAIN(PlainDocumentWindowTest)
#include "tst_plaindocumentwindow.moc"
