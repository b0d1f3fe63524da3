#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"
#include "WebEngineTest.h"
#include "documents/DocumentManager.h"
#include "editor/EditorView.h"
#include "shell/QuitGate.h"
#include "editor/SorvaneTextView.h"
#include "documents/TabDocument.h"
#include "platform/Settings.h"
#include "window/MainWindow.h"
#include "window/DocumentContentView.h"
#include "window/MainView.h"
#include "window/OutlineSidebar.h"
#include "preview/MarkdownPreview.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

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
// WCAG contrast of two opaque colours.
double contrast(const QColor &a, const QColor &b)
{
    const auto luminance = [](const QColor &c) {
        const auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The strongest contrast between any pixel of `area` and the colour at its right end,
// where a short title leaves the background bare.
double textContrast(const QImage &image, const QRect &area)
{
    const QColor background = image.pixelColor(area.right() - 2, area.center().y());
    double best = 1.0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            best = std::max(best, contrast(image.pixelColor(x, y), background));
    }
    return best;
}

} // namespace

class tst_MainWindow : public QObject
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
        QuitGate gate(manager);
        MainWindow window(manager, [&gate] { return gate.requestQuit(); });
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
        QuitGate gate(manager);
        MainWindow window(manager, [&gate] { return gate.requestQuit(); });
        manager.openFile(path);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *view = window.findChild<EditorView *>();
        QVERIFY(view);
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

    // The window shows the view in the middle and carries whatever title it sets.
    void windowFollowsTheViewTitle()
    {
        ScriptedAlertPresenter alerts;
        DocumentManager manager;
        QuitGate gate(manager);
        MainWindow window(manager, [&gate] { return gate.requestQuit(); });
        QCOMPARE(window.centralWidget(), window.mainView());
        QCOMPARE(window.size(), QSize(900, 700));
        QCOMPARE(window.windowTitle(), QStringLiteral("sorv.ane"));
        manager.newDocument(QStringLiteral("text"), false);
        // The view settles its title one turn of the event loop after the change.
        QTRY_VERIFY(window.windowTitle().contains(QStringLiteral("Untitled")));
        QCOMPARE(window.windowTitle(), window.mainView()->windowTitle());
        window.mainView()->setWindowTitle(QString());
        QCOMPARE(window.windowTitle(), QStringLiteral("sorv.ane"));
    }

    void darkAppearanceEverywhere_data()
    {
        QTest::addColumn<QString>("appearance");
        QTest::addColumn<bool>("dark");
        QTest::newRow("Dark") << QStringLiteral("Dark") << true;
        QTest::newRow("Light") << QStringLiteral("Light") << false;
    }

    // The chosen appearance reaches every view: the outline's rows stay readable,
    // alerts and file dialogs (windows of their own) take the same scheme, and the
    // page in the preview is told the scheme.
    void darkAppearanceEverywhere()
    {
        QFETCH(QString, appearance);
        QFETCH(bool, dark);
        ScriptedAlertPresenter alerts;
        Settings::shared().setValue(QStringLiteral("showOutline"), true);
        Settings::shared().setValue(QStringLiteral("preferredViewMode"), QStringLiteral("Split"));
        Settings::shared().setValue(QStringLiteral("appearanceMode"), appearance);
        DocumentManager manager;
        QuitGate gate(manager);
        MainWindow window(manager, [&gate] { return gate.requestQuit(); });
        manager.newDocument(QStringLiteral("# Heading\n\nText.\n"), true);
        window.resize(1100, 700);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        DocumentContentView *pane = window.mainView()->documentPane();
        QVERIFY(pane && pane->outline());

        QListWidget *list = pane->outline()->list();
        QCOMPARE(list->count(), 1);
        const QImage rows = list->viewport()->grab().toImage();
        const QRect row = list->visualItemRect(list->item(0));
        const QColor background = rows.pixelColor(row.right() - 2, row.center().y());
        QCOMPARE(background.lightnessF() < 0.5, dark);
        QVERIFY2(textContrast(rows, row) >= 4.5, qPrintable(QString::number(textContrast(rows, row))));

        QMessageBox box(&window);
        QFileDialog dialog(&window);
        for (QWidget *other : {static_cast<QWidget *>(&box), static_cast<QWidget *>(&dialog)}) {
            const QPalette palette = other->palette();
            QCOMPARE(palette.color(QPalette::Window).lightnessF() < 0.5, dark);
            QVERIFY(contrast(palette.color(QPalette::Window), palette.color(QPalette::WindowText)) >= 4.5);
        }

        QWebEnginePage *page = pane->preview()->page();
        const QString scheme = dark ? QStringLiteral("dark") : QStringLiteral("light");
        QVERIFY(waitForScript(page, QStringLiteral("getComputedStyle(document.documentElement).colorScheme === '%1'").arg(scheme)));

        // Back to the desktop's own scheme for whatever runs next.
        Settings::shared().setValue(QStringLiteral("appearanceMode"), QStringLiteral("Auto"));
        Settings::shared().remove(QStringLiteral("showOutline"));
        Settings::shared().remove(QStringLiteral("preferredViewMode"));
    }

    // Distraction-free hides the menu bar; leaving it brings the bar back.
    void distractionFreeDropsTheMenuBar()
    {
        DocumentManager manager;
        QuitGate gate(manager);
        MainWindow window(manager, [&gate] { return gate.requestQuit(); });
        window.menuBar()->addMenu(QStringLiteral("File"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(window.menuBar()->isVisible());
        Settings::shared().setValue(QStringLiteral("distractionFree"), true);
        QVERIFY(!window.menuBar()->isVisible());
        Settings::shared().setValue(QStringLiteral("distractionFree"), false);
        QVERIFY(window.menuBar()->isVisible());
    }

    // Closing the window is quitting: each modified tab is asked about, last first.
    // Cancel, or a save that cannot happen, keeps everything open.
    void closingAsksAboutModifiedTabs_data()
    {
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<int>("prompts");
        QTest::addColumn<QByteArray>("firstOnDisk");
        QTest::addColumn<QByteArray>("secondOnDisk");
        // Buttons: 0 Save, 1 Don't Save, 2 Cancel. The second tab is asked first.
        QTest::newRow("save both") << QList<int>{0, 0} << true << 2 << QByteArray("one+") << QByteArray("two+");
        QTest::newRow("don't save both") << QList<int>{1, 1} << true << 2 << QByteArray("one") << QByteArray("two");
        QTest::newRow("save last, drop first") << QList<int>{0, 1} << true << 2 << QByteArray("one") << QByteArray("two+");
        QTest::newRow("cancel at once") << QList<int>{2} << false << 1 << QByteArray("one") << QByteArray("two");
        QTest::newRow("save last, then cancel") << QList<int>{0, 2} << false << 2 << QByteArray("one") << QByteArray("two+");
        QTest::newRow("dismissed counts as cancel") << QList<int>{-1} << false << 1 << QByteArray("one") << QByteArray("two");
    }

    void closingAsksAboutModifiedTabs()
    {
        QFETCH(QList<int>, answers);
        QFETCH(bool, closes);
        QFETCH(int, prompts);
        QFETCH(QByteArray, firstOnDisk);
        QFETCH(QByteArray, secondOnDisk);

        ScriptedAlertPresenter alerts;
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("first.md"));
        const QString second = dir.filePath(QStringLiteral("second.md"));
        writeAll(first, "one");
        writeAll(second, "two");
        DocumentManager manager;
        QuitGate gate(manager);
        MainWindow window(manager, [&gate] { return gate.requestQuit(); });
        manager.openFile(first);
        manager.openFile(second);
        for (TabDocument *doc : manager.documents())
            doc->userEditedRange(static_cast<int>(doc->text().size()), 0, QStringLiteral("+"));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        alerts.alertAnswers = answers;
        QCOMPARE(window.close(), closes);
        QCOMPARE(alerts.alerts.size(), prompts);
        QCOMPARE(alerts.alerts.first().messageText, QStringLiteral("Save changes to \"second.md\"?"));
        if (prompts > 1)
            QCOMPARE(alerts.alerts.at(1).messageText, QStringLiteral("Save changes to \"first.md\"?"));
        QCOMPARE(window.isVisible(), !closes);
        QCOMPARE(readAll(first), firstOnDisk);
        QCOMPARE(readAll(second), secondOnDisk);
        QCOMPARE(manager.documents().size(), 2);
    }
};

SORVANE_WEBENGINE_TEST_MAIN(tst_MainWindow)
#include "tst_MainWindow.moc"
