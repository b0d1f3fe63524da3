// The menu bar as the user meets it: the launched application with its real window
// and document manager, items chosen from the menus or by their keys with the
// editor focused, and the alerts, panels, printer, web pages and workspace answered
// in place of the user.
#include "EncryptionDoubles.h"
#include "ScriptedAlertPresenter.h"
#include "TestFiles.h"
#include "WebEngineTest.h"

#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "editor/EditorView.h"
#include "editor/FindReplaceBar.h"
#include "editor/MarkdownFormatter.h"
#include "editor/SorvaneTextView.h"
#include "export/DocumentExporter.h"
#include "platform/BundleInfo.h"
#include "platform/DesktopShare.h"
#include "platform/Settings.h"
#include "settings/SettingsView.h"
#include "preview/MarkdownPreview.h"
#include "shell/SorvaneApp.h"
#include "shell/SorvaneCommands.h"
#include "shell/WorkspaceSeam.h"
#include "window/DocumentContentView.h"
#include "window/MainView.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

class RecordingLauncher : public DesktopShare::Launcher
{
public:
    QList<QUrl> opened;

    bool startDetached(const QString &, const QStringList &) override { return true; }
    bool openUrl(const QUrl &url) override
    {
        opened.append(url);
        return true;
    }
    bool showItemsInFileManager(const QStringList &) override { return true; }
};

// The workspace navigators, present or not, recording what the menus ask of them.
class RecordingWorkspace : public WorkspaceSeam
{
public:
    bool present = false;
    QStringList calls;

    bool exists() const override { return present; }
    void showQuickOpen() override { calls << QStringLiteral("quick open"); }
    void showFolderSearch() override { calls << QStringLiteral("folder search"); }
};

// The four document states the enabling rules tell apart.
enum class State { NoDocument, UntitledModified, SavedClean, SavedModified };

// What a command changed, read back from where the user would see it.
enum class Probe {
    Tabs,
    DocumentCount,
    Disk,
    OpenPanels,
    SavePanelName,
    Printed,
    ShareMenus,
    PassphrasePrompts,
    Clipboard,
    FindBar,
    Formatted,
    ViewMode,
    DistractionFree,
    LastAlert,
    LaunchedURL,
};

const QString sampleText = QStringLiteral("one word two");

// The sample text with "word" selected, after the formatting action.
QString formattedSample(MarkdownFormatAction action)
{
    QTextDocument document(sampleText);
    QTextCursor cursor(&document);
    cursor.setPosition(4);
    cursor.setPosition(8, QTextCursor::KeepAnchor);
    MarkdownFormatter::apply(action, cursor);
    return document.toPlainText();
}

// The visible items of a menu in order, a separator as "-".
QString visibleItems(QMenu *menu)
{
    QStringList items;
    for (QAction *action : menu->actions()) {
        if (action->isVisible())
            items << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return items.join(QLatin1Char('|'));
}

QStringList portableKeys(const QList<QKeySequence> &sequences)
{
    QStringList keys;
    for (const QKeySequence &sequence : sequences)
        keys << sequence.toString(QKeySequence::PortableText);
    return keys;
}

// The launched application around the real window, with everything that would ask
// the user or the desktop answered here.
class Fixture
{
public:
    Fixture()
    {
        Settings &settings = Settings::shared();
        settings.setValue(QStringLiteral("hasOpenedWelcomeDoc"), true);
        settings.setValue(QStringLiteral("hasPromptedForDefaultHandler"), true);
        settings.setValue(QStringLiteral("restoreSession"), false);
        // No update feed: the updater has nothing to offer.
        BundleInfo::setInfoForTesting(QVariantMap());
        DesktopShare::setLauncher(&launcher);
        PassphrasePrompt::setShared(&passphrases);
        exporter.setPrinterChooser([this](QPrinter &) { return ++printed, false; });
        AppDelegate::LaunchEnvironment environment;
        environment.executablePath = QStringLiteral("/usr/local/bin/sorvane");
        app = std::make_unique<SorvaneApp>(LaunchSeams{&workspace}, environment);
        app->setDocumentExporter(&exporter);
        app->launch();
    }

    ~Fixture()
    {
        app.reset();
        PassphrasePrompt::setShared(nullptr);
        DesktopShare::setLauncher(nullptr);
        BundleInfo::setInfoForTesting(std::nullopt);
    }

    DocumentManager &manager() const { return app->delegate().documentManager(); }
    MainWindow &window() const { return *app->mainWindow(); }
    SorvaneCommands &commands() const { return *app->commands(); }
    DocumentContentView *pane() const { return window().mainView()->documentPane(); }
    SorvaneTextView *editor() const { return pane() ? pane()->editor()->textView() : nullptr; }

    QAction *action(const QString &title) const { return commands().action(title); }

    // Back to a window without tabs, default settings and nothing recorded.
    void reset()
    {
        if (Settings::shared().distractionFree())
            app->toggleDistractionFree();
        window().showNormal();
        closeAll();
        for (const char *key : {"fontSize", "preferredViewMode", "showWorkspace"})
            Settings::shared().remove(QString::fromLatin1(key));
        manager().clearRecentDocuments();
        workspace.present = false;
        workspace.calls.clear();
        commands().refresh();
        alerts.alerts.clear();
        alerts.alertAnswers.clear();
        alerts.savePanels.clear();
        alerts.openPanels.clear();
        alerts.menus.clear();
        launcher.opened.clear();
        passphrases.requests.clear();
        printed = 0;
        QGuiApplication::clipboard()->clear();
    }

    void closeAll()
    {
        for (TabDocument *document : manager().documents()) {
            document->discardUnsavedChanges();
            manager().closeDocument(document->id());
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    QString file(const QString &name, const QByteArray &contents)
    {
        const QString path = dir.filePath(name);
        writeFile(path, contents);
        return path;
    }

    bool activate()
    {
        window().activateWindow();
        return QTest::qWaitForWindowActive(&window());
    }

    // Puts the caret in the selected tab's editor.
    bool focusEditor()
    {
        // Panes of tabs no longer shown go before anything is pressed, as they do
        // between two of the user's keys.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!activate() || !editor())
            return false;
        pane()->focusEditor();
        return QTest::qWaitFor([this] { return editor() && editor()->hasFocus(); });
    }

    void typeAtEnd(const QString &text)
    {
        editor()->moveCursor(QTextCursor::End);
        QTest::keyClicks(editor(), text);
    }

    void selectInEditor(int from, int to)
    {
        QTextCursor cursor = editor()->textCursor();
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        editor()->setTextCursor(cursor);
    }

    bool enter(State state)
    {
        closeAll();
        switch (state) {
        case State::NoDocument:
            return activate();
        case State::UntitledModified:
            manager().newDocument(QString(), false);
            if (!focusEditor())
                return false;
            typeAtEnd(QStringLiteral("draft"));
            break;
        case State::SavedClean:
        case State::SavedModified:
            manager().openFile(file(QStringLiteral("saved.md"), sampleText.toUtf8()));
            if (!focusEditor())
                return false;
            if (state == State::SavedModified)
                typeAtEnd(QStringLiteral("!"));
            break;
        }
        TabDocument *selected = manager().selectedDocument();
        return selected && selected->isModified() == (state != State::SavedClean);
    }

    // first.md, second.md (selected, "word" selected in the editor) and third.md.
    bool openThreeTabs(bool secondModified)
    {
        closeAll();
        manager().openFile(file(QStringLiteral("first.md"), "first"));
        manager().openFile(file(QStringLiteral("second.md"), sampleText.toUtf8()));
        const QUuid second = manager().selectedId();
        manager().openFile(file(QStringLiteral("third.md"), "third"));
        manager().setSelectedId(second);
        if (!focusEditor())
            return false;
        if (secondModified)
            typeAtEnd(QStringLiteral("!"));
        selectInEditor(4, 8);
        return true;
    }

    // The key as the keyboard reports it, to whatever has the focus.
    void press(const QKeySequence &sequence)
    {
        QKeyCombination combination = sequence[0];
        Qt::Key key = combination.key();
        // Shift+Tab arrives as Backtab.
        if (key == Qt::Key_Tab && (combination.keyboardModifiers() & Qt::ShiftModifier))
            key = Qt::Key_Backtab;
        QWidget *target = QApplication::focusWidget();
        QTest::keyClick(target ? target : &window(), key, combination.keyboardModifiers());
    }

    QVariant probe(Probe probe) const
    {
        TabDocument *selected = manager().selectedDocument();
        switch (probe) {
        case Probe::Tabs:
            return QStringLiteral("%1 %2").arg(manager().documents().size()).arg(selected ? selected->title() : QString());
        case Probe::DocumentCount: return int(manager().documents().size());
        case Probe::Disk: return QString::fromUtf8(readFile(dir.filePath(QStringLiteral("second.md"))));
        case Probe::OpenPanels: return int(alerts.openPanels.size());
        case Probe::SavePanelName:
            return alerts.savePanels.isEmpty() ? QString() : alerts.savePanels.constLast().suggestedName;
        case Probe::Printed: return printed;
        case Probe::ShareMenus: return int(alerts.menus.size());
        case Probe::PassphrasePrompts: return int(passphrases.requests.size());
        case Probe::Clipboard: {
            const QMimeData *data = QGuiApplication::clipboard()->mimeData();
            if (!data)
                return QString();
            if (data->hasHtml())
                return QStringLiteral("rich");
            return data->text().contains(QStringLiteral("<body")) ? QStringLiteral("page") : data->text();
        }
        case Probe::FindBar: {
            FindReplaceBar *bar = pane() ? pane()->editor()->findBar() : nullptr;
            if (!bar || !bar->isVisible())
                return QStringLiteral("hidden");
            return bar->isReplaceShown() ? QStringLiteral("replace") : QStringLiteral("find");
        }
        case Probe::Formatted: return pane() ? pane()->editor()->text() : QString();
        case Probe::ViewMode: return Settings::shared().stringValue(QStringLiteral("preferredViewMode"));
        case Probe::DistractionFree: return Settings::shared().distractionFree();
        case Probe::LastAlert: return alerts.alerts.isEmpty() ? QString() : alerts.alerts.constLast().messageText;
        case Probe::LaunchedURL: return launcher.opened.isEmpty() ? QString() : launcher.opened.constLast().toString();
        }
        return QVariant();
    }

    ScriptedAlertPresenter alerts;
    RecordingLauncher launcher;
    RecordingWorkspace workspace;
    ScriptedPassphrasePrompt passphrases;
    QTemporaryDir dir;
    int printed = 0;
    // Made before the application, so exports still running outlive it.
    DocumentExporter exporter;
    std::unique_ptr<SorvaneApp> app;
};

} // namespace

Q_DECLARE_METATYPE(State)
Q_DECLARE_METATYPE(Probe)
Q_DECLARE_METATYPE(SorvaneCommands::Menu)

class tst_MenuCommands : public QObject
{
    Q_OBJECT

    std::unique_ptr<Fixture> f;

private Q_SLOTS:
    void initTestCase()
    {
        f = std::make_unique<Fixture>();
        QVERIFY(QTest::qWaitForWindowExposed(&f->window()));
    }

    void cleanupTestCase() { f.reset(); }

    void init() { f->reset(); }

    // The bar reads File, Edit, View, Help, each holding exactly its items in order;
    // commands of the workspace show only once it exists.
    void menuLayout_data()
    {
        QTest::addColumn<SorvaneCommands::Menu>("menu");
        QTest::addColumn<bool>("workspace");
        QTest::addColumn<QString>("items");
        const QString file = QStringLiteral(
            "New Document|New Tab|Open...|%1Open Recent|-|Close Window|Save|Save As...|-|Export HTML...|Export PDF...|"
            "Export Document|Share…|-|Encrypt Document...|Decrypt Open File...|-|Revert to Saved|Print...|-|Quit");
        const QString edit = QStringLiteral(
            "Undo|Redo|-|Cut|Copy|Paste|Select All|-|Copy as Rich Text|Copy as HTML|-|Find...|Find and Replace...|%1-|"
            "Bold|Italic|Insert Link|Insert Code Block|Insert Table|-|Heading 1|Heading 2|Heading 3|-|Blockquote|"
            "Bullet List|Numbered List|Task List|Horizontal Rule|-|Settings…");
        const QString view = QStringLiteral(
            "Preview|Editor|Split View|-|%1Enter Distraction-Free|-|Increase Font Size|Decrease Font Size|"
            "Reset Font Size|-|Next Tab|Previous Tab");
        const QString help = QStringLiteral(
            "sorv.ane Help|Contact Support|Report an Issue|Privacy Policy|Terms of Use|Keyboard Shortcuts|-|"
            "Check for Updates…|About sorv.ane");
        using M = SorvaneCommands::Menu;
        QTest::newRow("File") << M::File << false << file.arg(QString());
        QTest::newRow("File with workspace") << M::File << true << file.arg(QStringLiteral("Quick Open...|"));
        QTest::newRow("Edit") << M::Edit << false << edit.arg(QString());
        QTest::newRow("Edit with workspace") << M::Edit << true << edit.arg(QStringLiteral("Advanced Search...|"));
        QTest::newRow("View") << M::View << false << view.arg(QString());
        QTest::newRow("View with workspace") << M::View << true << view.arg(QStringLiteral("Show AI Workspace|-|"));
        QTest::newRow("Help") << M::Help << false << help;
    }

    void menuLayout()
    {
        QFETCH(SorvaneCommands::Menu, menu);
        QFETCH(bool, workspace);
        QFETCH(QString, items);
        QStringList titles;
        for (QAction *top : f->window().menuBar()->actions())
            titles << top->text().remove(QLatin1Char('&'));
        QCOMPARE(titles, (QStringList{"File", "Edit", "View", "Help"}));
        f->workspace.present = workspace;
        f->commands().refresh();
        QCOMPARE(visibleItems(f->commands().menu(menu)), items);
    }

    // Every item's keys, and whether it can be chosen with no tab, an edited untitled
    // tab, a saved tab without changes and a saved tab with changes ("y" enabled, "-"
    // not). The text commands follow the editor's focus, which comes with a tab.
    void keysAndEnabling_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QString>("enabled");
        const auto row = [](const char *title, const QStringList &keys, const char *enabled) {
            QTest::newRow(title) << QString::fromUtf8(title) << keys << QString::fromLatin1(enabled);
        };
        row("New Document", {"Ctrl+N"}, "yyyy");
        row("New Tab", {"Ctrl+T"}, "yyyy");
        row("Open...", {"Ctrl+O"}, "yyyy");
        row("Quick Open...", {"Ctrl+Shift+O"}, "----");
        row("Open Recent", {}, "yyyy");
        row("Close Window", {"Ctrl+W"}, "yyyy");
        row("Save", {"Ctrl+S"}, "-yyy");
        row("Save As...", {"Ctrl+Shift+S"}, "-yyy");
        row("Export HTML...", {}, "-yyy");
        row("Export PDF...", {}, "-yyy");
        row("Export Document", {}, "-yyy");
        row("Share…", {}, "-yyy");
        row("Encrypt Document...", {}, "-yyy");
        row("Decrypt Open File...", {}, "yyyy");
        row("Revert to Saved", {}, "---y");
        row("Print...", {"Ctrl+P"}, "-yyy");
        row("Quit", {"Ctrl+Q"}, "yyyy");
        row("Undo", {"Ctrl+Z"}, "-yyy");
        row("Redo", {"Ctrl+Shift+Z", "Ctrl+Y"}, "-yyy");
        row("Cut", {"Ctrl+X"}, "-yyy");
        row("Copy", {"Ctrl+C"}, "-yyy");
        row("Paste", {"Ctrl+V"}, "-yyy");
        row("Select All", {"Ctrl+A"}, "-yyy");
        row("Copy as Rich Text", {"Ctrl+Shift+C"}, "-yyy");
        row("Copy as HTML", {"Ctrl+Alt+C"}, "-yyy");
        row("Find...", {"Ctrl+F"}, "-yyy");
        row("Find and Replace...", {"Ctrl+H"}, "-yyy");
        row("Advanced Search...", {"Ctrl+Shift+F"}, "----");
        row("Bold", {"Ctrl+B"}, "-yyy");
        row("Italic", {"Ctrl+I"}, "-yyy");
        row("Insert Link", {"Ctrl+K"}, "-yyy");
        row("Insert Code Block", {"Ctrl+Shift+K"}, "-yyy");
        row("Insert Table", {"Ctrl+Shift+T"}, "-yyy");
        row("Heading 1", {"Ctrl+Alt+1"}, "-yyy");
        row("Heading 2", {"Ctrl+Alt+2"}, "-yyy");
        row("Heading 3", {"Ctrl+Alt+3"}, "-yyy");
        row("Blockquote", {}, "-yyy");
        row("Bullet List", {}, "-yyy");
        row("Numbered List", {}, "-yyy");
        row("Task List", {}, "-yyy");
        row("Horizontal Rule", {}, "-yyy");
        row("Settings…", {"Ctrl+,"}, "yyyy");
        row("Preview", {"Ctrl+1"}, "yyyy");
        row("Editor", {"Ctrl+2"}, "yyyy");
        row("Split View", {"Ctrl+3"}, "yyyy");
        row("Show AI Workspace", {"Ctrl+Alt+0"}, "----");
        row("Enter Distraction-Free", {"F11"}, "yyyy");
        row("Increase Font Size", {"Ctrl++", "Ctrl+="}, "yyyy");
        row("Decrease Font Size", {"Ctrl+-"}, "yyyy");
        row("Reset Font Size", {"Ctrl+0"}, "yyyy");
        row("Next Tab", {"Ctrl+PgDown", "Ctrl+Tab"}, "yyyy");
        row("Previous Tab", {"Ctrl+PgUp", "Ctrl+Shift+Tab"}, "yyyy");
        row("sorv.ane Help", {}, "yyyy");
        row("Contact Support", {}, "yyyy");
        row("Report an Issue", {}, "yyyy");
        row("Privacy Policy", {}, "yyyy");
        row("Terms of Use", {}, "yyyy");
        row("Keyboard Shortcuts", {}, "yyyy");
        row("Check for Updates…", {}, "----");
        row("About sorv.ane", {}, "yyyy");
    }

    void keysAndEnabling()
    {
        QFETCH(QString, title);
        QFETCH(QStringList, keys);
        QFETCH(QString, enabled);
        QAction *action = f->action(title);
        QVERIFY(action);
        QCOMPARE(portableKeys(action->shortcuts()), keys);
        const State states[] = {State::NoDocument, State::UntitledModified, State::SavedClean, State::SavedModified};
        for (int i = 0; i < 4; ++i) {
            QVERIFY(f->enter(states[i]));
            QVERIFY2(action->isEnabled() == (enabled.at(i) == QLatin1Char('y')), qPrintable(QString::number(i)));
        }
    }

    // What each item does, chosen by its key with the editor focused (or from its
    // menu when it has no key), on three tabs with the middle one selected.
    void effects_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("modified");
        QTest::addColumn<QVariantMap>("settings");
        QTest::addColumn<Probe>("probe");
        QTest::addColumn<QVariant>("expected");
        const auto row = [](const char *name, const char *title, const char *key, Probe probe, const QVariant &expected,
                            bool modified = false, const QVariantMap &settings = {}) {
            QTest::newRow(name) << QString::fromUtf8(title) << QString::fromLatin1(key) << modified << settings
                                << probe << expected;
        };
        const auto formatting = [&](const char *name, const char *title, const char *key, MarkdownFormatAction action) {
            row(name, title, key, Probe::Formatted, formattedSample(action));
        };
        const QVariantMap split{{"preferredViewMode", "Split"}};
        row("New Document", "New Document", "Ctrl+N", Probe::Tabs, "4 Untitled");
        row("New Tab", "New Tab", "Ctrl+T", Probe::Tabs, "4 Untitled");
        row("Open", "Open...", "Ctrl+O", Probe::OpenPanels, 1);
        row("Close Document", "Close Document", "Ctrl+W", Probe::DocumentCount, 2);
        row("Save", "Save", "Ctrl+S", Probe::Disk, "one word two!", true);
        row("Save As", "Save As...", "Ctrl+Shift+S", Probe::SavePanelName, "second.md");
        row("Export HTML", "Export HTML...", "", Probe::SavePanelName, "second.html");
        row("Export PDF", "Export PDF...", "", Probe::SavePanelName, "second.pdf");
        row("Share", "Share…", "", Probe::ShareMenus, 1);
        row("Encrypt", "Encrypt Document...", "", Probe::PassphrasePrompts, 1);
        row("Decrypt", "Decrypt Open File...", "", Probe::OpenPanels, 1);
        row("Revert", "Revert to Saved", "", Probe::LastAlert, "Revert to saved version of \"second.md\"?", true);
        row("Print", "Print...", "Ctrl+P", Probe::Printed, 1);
        row("Quit asks about changes", "Quit", "Ctrl+Q", Probe::LastAlert, "Save changes to \"second.md\"?", true);
        row("Copy as Rich Text", "Copy as Rich Text", "Ctrl+Shift+C", Probe::Clipboard, "rich");
        row("Copy as HTML", "Copy as HTML", "Ctrl+Alt+C", Probe::Clipboard, "page");
        row("Find", "Find...", "Ctrl+F", Probe::FindBar, "find");
        row("Find and Replace", "Find and Replace...", "Ctrl+H", Probe::FindBar, "replace");
        formatting("Bold", "Bold", "Ctrl+B", MarkdownFormatAction::bold);
        formatting("Italic", "Italic", "Ctrl+I", MarkdownFormatAction::italic);
        formatting("Insert Link", "Insert Link", "Ctrl+K", MarkdownFormatAction::link);
        formatting("Insert Code Block", "Insert Code Block", "Ctrl+Shift+K", MarkdownFormatAction::codeBlock);
        formatting("Insert Table", "Insert Table", "Ctrl+Shift+T", MarkdownFormatAction::table);
        formatting("Heading 1", "Heading 1", "Ctrl+Alt+1", MarkdownFormatAction::heading1);
        formatting("Heading 2", "Heading 2", "Ctrl+Alt+2", MarkdownFormatAction::heading2);
        formatting("Heading 3", "Heading 3", "Ctrl+Alt+3", MarkdownFormatAction::heading3);
        formatting("Blockquote", "Blockquote", "", MarkdownFormatAction::blockquote);
        formatting("Bullet List", "Bullet List", "", MarkdownFormatAction::bulletList);
        formatting("Numbered List", "Numbered List", "", MarkdownFormatAction::numberedList);
        formatting("Task List", "Task List", "", MarkdownFormatAction::taskList);
        formatting("Horizontal Rule", "Horizontal Rule", "", MarkdownFormatAction::horizontalRule);
        row("Preview", "Preview", "Ctrl+1", Probe::ViewMode, "Preview", false, split);
        row("Editor", "Editor", "Ctrl+2", Probe::ViewMode, "Editor", false, split);
        row("Split View", "Split View", "Ctrl+3", Probe::ViewMode, "Split", false, {{"preferredViewMode", "Editor"}});
        row("Distraction-Free", "Enter Distraction-Free", "F11", Probe::DistractionFree, true);
        row("Next Tab", "Next Tab", "Ctrl+PgDown", Probe::Tabs, "3 third.md");
        row("Next Tab, Ctrl+Tab", "Next Tab", "Ctrl+Tab", Probe::Tabs, "3 third.md");
        row("Previous Tab", "Previous Tab", "Ctrl+PgUp", Probe::Tabs, "3 first.md");
        row("Previous Tab, Ctrl+Shift+Tab", "Previous Tab", "Ctrl+Shift+Tab", Probe::Tabs, "3 first.md");
        row("Help", "sorv.ane Help", "", Probe::LaunchedURL, "https://tolvern.dev/sorvane");
        row("Contact Support", "Contact Support", "", Probe::LaunchedURL,
            "https://tolvern.dev/contact?app=sorvane&platform=linux");
        row("Report an Issue", "Report an Issue", "", Probe::LaunchedURL,
            "https://tolvern.dev/contact?app=sorvane&platform=linux&topic=bug");
        row("Privacy Policy", "Privacy Policy", "", Probe::LaunchedURL, "https://tolvern.dev/privacy/sorvane");
        row("Terms of Use", "Terms of Use", "", Probe::LaunchedURL, "https://tolvern.dev/terms/sorvane");
        row("Keyboard Shortcuts", "Keyboard Shortcuts", "", Probe::LastAlert, "Keyboard Shortcuts");
        row("About", "About sorv.ane", "", Probe::LastAlert, "sorv.ane");
    }

    void effects()
    {
        QFETCH(QString, title);
        QFETCH(QString, key);
        QFETCH(bool, modified);
        QFETCH(QVariantMap, settings);
        QFETCH(Probe, probe);
        QFETCH(QVariant, expected);
        for (auto it = settings.cbegin(); it != settings.cend(); ++it)
            Settings::shared().setValue(it.key(), QJsonValue::fromVariant(it.value()));
        QVERIFY(f->openThreeTabs(modified));
        QAction *action = f->action(title);
        QVERIFY(action);
        QVERIFY(action->isEnabled());
        const QVariant before = f->probe(probe);
        QVERIFY(before != expected);
        if (key.isEmpty())
            action->trigger();
        else
            f->press(QKeySequence(key));
        QTRY_COMPARE_WITH_TIMEOUT(f->probe(probe), expected, 20000);
        QVERIFY(f->window().isVisible());
    }

    // The font steps move the stored size and then keep it within 11 to 24; a size
    // stored outside that range is not pulled in before the step.
    void fontSize_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("result");
        QTest::newRow("increase") << "Ctrl++" << QVariant(15.0) << 16.0;
        QTest::newRow("increase with =") << "Ctrl+=" << QVariant(15.0) << 16.0;
        QTest::newRow("increase from nothing stored") << "Ctrl++" << QVariant() << 16.0;
        QTest::newRow("increase at 24") << "Ctrl++" << QVariant(24.0) << 24.0;
        QTest::newRow("increase from 23.5") << "Ctrl++" << QVariant(23.5) << 24.0;
        QTest::newRow("increase from 30") << "Ctrl++" << QVariant(30.0) << 24.0;
        QTest::newRow("decrease") << "Ctrl+-" << QVariant(15.0) << 14.0;
        QTest::newRow("decrease at 11") << "Ctrl+-" << QVariant(11.0) << 11.0;
        QTest::newRow("decrease from 11.5") << "Ctrl+-" << QVariant(11.5) << 11.0;
        QTest::newRow("decrease from 30") << "Ctrl+-" << QVariant(30.0) << 29.0;
        QTest::newRow("reset") << "Ctrl+0" << QVariant(30.0) << 15.0;
        QTest::newRow("reset from 11.5") << "Ctrl+0" << QVariant(11.5) << 15.0;
    }

    void fontSize()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, stored);
        QFETCH(double, result);
        if (stored.isValid())
            Settings::shared().setValue(QStringLiteral("fontSize"), stored.toDouble());
        QVERIFY(f->enter(State::SavedClean));
        f->press(QKeySequence(key));
        QCOMPARE(Settings::shared().storedValue(QStringLiteral("fontSize")).toDouble(), result);
    }

    // Without a document pane the view-mode keys have nothing to switch.
    void viewModeNeedsAPane_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("Preview") << "Ctrl+1";
        QTest::newRow("Editor") << "Ctrl+2";
        QTest::newRow("Split View") << "Ctrl+3";
    }

    void viewModeNeedsAPane()
    {
        QFETCH(QString, key);
        Settings::shared().setValue(QStringLiteral("preferredViewMode"), QStringLiteral("Nothing"));
        QVERIFY(f->enter(State::NoDocument));
        f->press(QKeySequence(key));
        QCOMPARE(Settings::shared().stringValue(QStringLiteral("preferredViewMode")), QStringLiteral("Nothing"));
        // The same key with a pane does switch.
        QVERIFY(f->enter(State::SavedClean));
        f->press(QKeySequence(key));
        QVERIFY(Settings::shared().stringValue(QStringLiteral("preferredViewMode")) != QStringLiteral("Nothing"));
    }

    // One item per export format, in the formats' order, each known by its raw
    // value; choosing one exports the selected tab, here refused for want of a
    // sign-in (the account work provides the session).
    void exportDocumentSubmenu()
    {
        QAction *submenu = f->action(QStringLiteral("Export Document"));
        QVERIFY(submenu && submenu->menu());
        QStringList items;
        for (QAction *item : submenu->menu()->actions())
            items << item->text() + QLatin1Char('=') + item->data().toString();
        QCOMPARE(items, (QStringList{QStringLiteral("Export DOCX…=docx"), QStringLiteral("Export EPUB…=epub"),
                                     QStringLiteral("Export LaTeX…=latex"), QStringLiteral("Export Slides…=revealjs")}));

        QVERIFY(f->enter(State::UntitledModified));
        QVERIFY(submenu->isEnabled());
        submenu->menu()->actions().constFirst()->trigger();
        QVERIFY(QTest::qWaitFor([this] { return !f->alerts.alerts.isEmpty(); }));
        QCOMPARE(f->alerts.alerts.constLast().messageText, QStringLiteral("Could not export document"));
        QCOMPARE(f->alerts.alerts.constLast().informativeText, QStringLiteral("Sign in to sorv.ane to export this format."));
        QVERIFY(f->alerts.savePanels.isEmpty());
    }

    // The close item names what it closes, following the selection.
    void closeItemTitle()
    {
        QAction *close = f->action(QStringLiteral("Close Window"));
        QVERIFY(close);
        QVERIFY(f->enter(State::NoDocument));
        QCOMPARE(close->text(), QStringLiteral("Close Window"));
        f->manager().newDocument(QString(), false);
        QCOMPARE(close->text(), QStringLiteral("Close Document"));
        f->closeAll();
        QCOMPARE(close->text(), QStringLiteral("Close Window"));
    }

    // Revert follows the selected tab's file and changes as they happen, and only
    // the selected tab's: a file given to an edited untitled tab enables it, saving
    // and reverting disable it, another tab's edits do not count, and edits after
    // the selection came back do.
    void revertFollowsTheSelectedTab()
    {
        QAction *revert = f->action(QStringLiteral("Revert to Saved"));
        QVERIFY(revert);
        QVERIFY(f->enter(State::UntitledModified));
        QVERIFY(!revert->isEnabled());
        TabDocument *named = f->manager().selectedDocument();
        named->setFileURL(QUrl::fromLocalFile(f->file(QStringLiteral("named.md"), "on disk")));
        QVERIFY(revert->isEnabled());
        f->press(QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(readFile(f->dir.filePath(QStringLiteral("named.md"))), QByteArray("draft"));
        QVERIFY(!revert->isEnabled());

        f->manager().newDocument(QString(), false);
        named->userEditedText(QStringLiteral("elsewhere"));
        QVERIFY(named->isModified());
        QVERIFY(!revert->isEnabled());
        f->manager().setSelectedId(named->id());
        QVERIFY(revert->isEnabled());

        f->alerts.alertAnswers = {0};
        revert->trigger();
        QCOMPARE(named->text(), QStringLiteral("draft"));
        QVERIFY(!revert->isEnabled());
        QVERIFY(f->focusEditor());
        f->typeAtEnd(QStringLiteral(" more"));
        QVERIFY(revert->isEnabled());
    }

    // The recent files: none gives one disabled line; otherwise the first ten in
    // order by their names (shown as they are) and "Clear Menu". The submenu itself
    // can always be opened.
    void openRecent_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("items");
        QTest::newRow("empty") << QStringList() << QStringLiteral("No Recent Documents");
        QTest::newRow("three") << QStringList{"a.md", "b.md", "R&D.md"} << QStringLiteral("R&D.md|b.md|a.md|-|Clear Menu");
        QStringList twelve;
        QStringList newestTen;
        for (int i = 1; i <= 12; ++i)
            twelve << QStringLiteral("n%1.md").arg(i);
        for (int i = 12; i >= 3; --i)
            newestTen << QStringLiteral("n%1.md").arg(i);
        QTest::newRow("twelve") << twelve << newestTen.join(QLatin1Char('|')) + QStringLiteral("|-|Clear Menu");
    }

    void openRecent()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, items);
        for (const QString &name : names)
            f->manager().noteRecentDocument(QUrl::fromLocalFile(f->file(name, "text")));
        QAction *recent = f->action(QStringLiteral("Open Recent"));
        QVERIFY(recent && recent->menu());
        QVERIFY(recent->isEnabled());
        QStringList shown;
        for (QAction *item : recent->menu()->actions())
            shown << (item->isSeparator() ? QStringLiteral("-") : item->iconText());
        QCOMPARE(shown.join(QLatin1Char('|')), items);
        if (names.isEmpty()) {
            QVERIFY(!recent->menu()->actions().constFirst()->isEnabled());
            return;
        }
        recent->menu()->actions().constLast()->trigger();
        QVERIFY(f->manager().recentDocuments().isEmpty());
        QCOMPARE(recent->menu()->actions().size(), 1);
    }

    // Two recent files with one name show twice under that name; each opens its own.
    void recentFilesWithOneName()
    {
        const QString first = f->file(QStringLiteral("a/notes.md"), "first");
        const QString second = f->file(QStringLiteral("b/notes.md"), "second");
        f->manager().noteRecentDocument(QUrl::fromLocalFile(first));
        f->manager().noteRecentDocument(QUrl::fromLocalFile(second));
        QMenu *menu = f->action(QStringLiteral("Open Recent"))->menu();
        QCOMPARE(menu->actions().at(0)->text(), QStringLiteral("notes.md"));
        QCOMPARE(menu->actions().at(1)->text(), QStringLiteral("notes.md"));
        menu->actions().at(1)->trigger();
        QCOMPARE(f->manager().selectedDocument()->text(), QStringLiteral("first"));
        // Opening notes the file again, which rebuilt the submenu.
        menu->actions().at(1)->trigger();
        QCOMPARE(f->manager().selectedDocument()->text(), QStringLiteral("second"));
        QCOMPARE(f->manager().documents().size(), 2);
    }

    // Titles follow the stored values however they change.
    void titlesFollowSettings_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("off");
        QTest::addColumn<QString>("on");
        QTest::newRow("workspace") << "showWorkspace" << "Show AI Workspace" << "Hide AI Workspace";
        QTest::newRow("distraction-free") << "distractionFree" << "Enter Distraction-Free" << "Exit Distraction-Free";
    }

    void titlesFollowSettings()
    {
        QFETCH(QString, key);
        QFETCH(QString, off);
        QFETCH(QString, on);
        QAction *action = f->action(off);
        QVERIFY(action);
        QCOMPARE(action->text(), off);
        Settings::shared().setValue(key, true);
        QCOMPARE(action->text(), on);
        Settings::shared().setValue(key, false);
        QCOMPARE(action->text(), off);
    }

    // F11 works while distraction-free mode hides the bar, and brings the bar back.
    void distractionFreeKeyWithoutTheBar()
    {
        QVERIFY(f->enter(State::SavedClean));
        f->press(QKeySequence(Qt::Key_F11));
        QVERIFY(Settings::shared().distractionFree());
        QVERIFY(!f->window().menuBar()->isVisible());
        QVERIFY(f->focusEditor());
        f->press(QKeySequence(Qt::Key_F11));
        QVERIFY(!Settings::shared().distractionFree());
        QVERIFY(f->window().menuBar()->isVisible());
    }

    // The workspace's commands: without the workspace their keys do nothing; with it
    // they reach its panels and flip the sidebar.
    void workspaceCommands_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<bool>("sidebar");
        QTest::newRow("quick open, absent") << false << "Ctrl+Shift+O" << QStringList() << false;
        QTest::newRow("folder search, absent") << false << "Ctrl+Shift+F" << QStringList() << false;
        QTest::newRow("sidebar, absent") << false << "Ctrl+Alt+0" << QStringList() << false;
        QTest::newRow("quick open") << true << "Ctrl+Shift+O" << QStringList{"quick open"} << false;
        QTest::newRow("folder search") << true << "Ctrl+Shift+F" << QStringList{"folder search"} << false;
        QTest::newRow("sidebar") << true << "Ctrl+Alt+0" << QStringList() << true;
    }

    void workspaceCommands()
    {
        QFETCH(bool, present);
        QFETCH(QString, key);
        QFETCH(QStringList, calls);
        QFETCH(bool, sidebar);
        f->workspace.present = present;
        f->commands().refresh();
        QVERIFY(f->enter(State::SavedClean));
        f->press(QKeySequence(key));
        QCOMPARE(f->workspace.calls, calls);
        QCOMPARE(Settings::shared().showWorkspace(), sidebar);
        QCOMPARE(f->manager().documents().size(), 1);
        QVERIFY(f->alerts.alerts.isEmpty());
    }

    // Ctrl+, opens the settings window and, while it is open, brings the same one
    // forward; the document is untouched.
    void settingsItemOpensTheWindow()
    {
        QVERIFY(f->enter(State::SavedClean));
        QVERIFY(!f->app->settingsWindow());
        f->press(QKeySequence(QStringLiteral("Ctrl+,")));
        QPointer<QWidget> first = f->app->settingsWindow();
        QVERIFY(first && first->isVisible());
        f->window().activateWindow();
        QTRY_VERIFY(f->window().isActiveWindow());
        f->editor()->setFocus();
        f->press(QKeySequence(QStringLiteral("Ctrl+,")));
        QCOMPARE(f->app->settingsWindow(), first.data());
        QCOMPARE(f->manager().selectedDocument()->text(), sampleText);
        first->close();
        QTRY_VERIFY(!first);
    }

    // No key sequence belongs to two actions, and every action's keys sit on the
    // window itself, so they work while the bar is hidden.
    void keysAreUniqueAndOnTheWindow()
    {
        QHash<QString, QString> owners;
        for (QAction *action : f->commands().actions()) {
            if (action->shortcuts().isEmpty())
                continue;
            QVERIFY2(f->window().actions().contains(action), qPrintable(action->text()));
            for (const QKeySequence &sequence : action->shortcuts()) {
                const QString key = sequence.toString(QKeySequence::PortableText);
                QVERIFY2(!owners.contains(key),
                         qPrintable(key + QStringLiteral(": ") + owners.value(key) + QStringLiteral(", ") + action->text()));
                owners.insert(key, action->text());
            }
        }
        QCOMPARE(owners.value(QStringLiteral("Ctrl+N")), QStringLiteral("New Document"));
    }

    // The Keyboard Shortcuts window lists the commands in its fixed order with the
    // keys the actions have; a command the menus leave out is left out here too.
    void keyboardShortcutsWindow_data()
    {
        QTest::addColumn<bool>("workspace");
        QTest::addColumn<QString>("search");
        QTest::newRow("without workspace") << false << QString();
        QTest::newRow("with workspace") << true << QStringLiteral("Ctrl+Shift+F  Advanced Search\n");
    }

    void keyboardShortcutsWindow()
    {
        QFETCH(bool, workspace);
        QFETCH(QString, search);
        f->workspace.present = workspace;
        f->commands().refresh();
        f->action(QStringLiteral("Keyboard Shortcuts"))->trigger();
        QCOMPARE(f->alerts.alerts.size(), 1);
        const AlertRequest alert = f->alerts.alerts.constFirst();
        QCOMPARE(alert.messageText, QStringLiteral("Keyboard Shortcuts"));
        QCOMPARE(alert.buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(alert.style, AlertRequest::Style::Informational);
        QCOMPARE(alert.icon, AlertRequest::Icon::None);
        const QString expected = QStringLiteral("Ctrl+N  New document\n"
                                                "Ctrl+T  New tab\n"
                                                "Ctrl+O  Open file\n"
                                                "Ctrl+W  Close document\n"
                                                "Ctrl+1  Preview mode\n"
                                                "Ctrl+2  Editor mode\n"
                                                "Ctrl+3  Split view\n"
                                                "Ctrl+S  Save\n"
                                                "Ctrl+Shift+S  Save as\n"
                                                "Ctrl+F  Find\n"
                                                "Ctrl+H  Find and Replace\n")
                                 + search
                                 + QStringLiteral("Ctrl+B  Bold\n"
                                                  "Ctrl+I  Italic\n"
                                                  "Ctrl+K  Insert link\n"
                                                  "Ctrl+P  Print\n"
                                                  "Ctrl++  Increase font\n"
                                                  "Ctrl+-  Decrease font\n"
                                                  "Ctrl+0  Reset font\n"
                                                  "Ctrl+PgDown  Next tab\n"
                                                  "Ctrl+PgUp  Previous tab");
        QCOMPARE(alert.informativeText, expected);
        // Each key named is the first key of a command in the menus.
        QList<QKeySequence> firstKeys;
        for (QAction *action : f->commands().actions()) {
            if (action->isVisible() && !action->shortcuts().isEmpty())
                firstKeys << action->shortcuts().constFirst();
        }
        for (const QString &line : alert.informativeText.split(QLatin1Char('\n'))) {
            const QString key = line.section(QStringLiteral("  "), 0, 0);
            QVERIFY2(firstKeys.contains(QKeySequence(key, QKeySequence::NativeText)), qPrintable(line));
        }
    }

    // The About window shows the build's version and number, "1.0" and "1" for what
    // the build left out or gave as something other than text.
    void aboutWindow_data()
    {
        QTest::addColumn<QVariantMap>("info");
        QTest::addColumn<QString>("version");
        QTest::newRow("no keys") << QVariantMap() << "Version 1.0 (1)";
        QTest::newRow("both keys") << QVariantMap{{"CFBundleShortVersionString", "2.4.1"}, {"CFBundleVersion", "318"}}
                                   << "Version 2.4.1 (318)";
        QTest::newRow("version only") << QVariantMap{{"CFBundleShortVersionString", "2.4.1"}} << "Version 2.4.1 (1)";
        QTest::newRow("number not text") << QVariantMap{{"CFBundleShortVersionString", 3}, {"CFBundleVersion", 318}}
                                         << "Version 1.0 (1)";
    }

    void aboutWindow()
    {
        QFETCH(QVariantMap, info);
        QFETCH(QString, version);
        BundleInfo::setInfoForTesting(info);
        f->action(QStringLiteral("About sorv.ane"))->trigger();
        BundleInfo::setInfoForTesting(QVariantMap());
        QCOMPARE(f->alerts.alerts.size(), 1);
        const AlertRequest alert = f->alerts.alerts.constFirst();
        QCOMPARE(alert.messageText, QStringLiteral("sorv.ane"));
        QCOMPARE(alert.informativeText, version + QStringLiteral("\n\nA native markdown editor for documents that ship."));
        QCOMPARE(alert.buttons, QStringList{QStringLiteral("OK")});
        QCOMPARE(alert.style, AlertRequest::Style::Informational);
        QCOMPARE(alert.icon, AlertRequest::Icon::Application);
    }

    // The Edit menu's text items act on whatever has the focus: the editor, a field
    // of the find bar or the preview.
    void textItemsActOnTheFocus_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("text");
        const QString same = sampleText;
        QTest::newRow("editor copy") << "editor" << QStringList{"Copy"} << "word" << same;
        QTest::newRow("editor cut") << "editor" << QStringList{"Cut"} << "word" << "one  two";
        QTest::newRow("editor paste") << "editor" << QStringList{"Paste"} << "pasted" << "one pasted two";
        QTest::newRow("editor undo") << "editor" << QStringList{"Cut", "Undo"} << "word" << same;
        QTest::newRow("editor redo") << "editor" << QStringList{"Cut", "Undo", "Redo"} << "word" << "one  two";
        QTest::newRow("editor select all") << "editor" << QStringList{"Select All", "Copy"} << same << same;
        QTest::newRow("find field copy") << "find field" << QStringList{"Copy"} << "word" << same;
        QTest::newRow("find field cut") << "find field" << QStringList{"Cut"} << "word" << "one  two";
        QTest::newRow("find field paste") << "find field" << QStringList{"Paste"} << "pasted" << "one pasted two";
        QTest::newRow("find field select all") << "find field" << QStringList{"Select All", "Copy"} << same << same;
        QTest::newRow("preview select all") << "preview" << QStringList{"Select All", "Copy"} << same << QString();
    }

    void textItemsActOnTheFocus()
    {
        QFETCH(QString, target);
        QFETCH(QStringList, items);
        QFETCH(QString, clipboard);
        QFETCH(QString, text);
        QVERIFY(f->enter(State::SavedClean));
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));
        f->selectInEditor(4, 8);
        QWidget *widget = nullptr;
        std::function<QString()> textOf;
        if (target == QLatin1String("editor")) {
            widget = f->editor();
            textOf = [this] { return f->editor()->toPlainText(); };
        } else if (target == QLatin1String("find field")) {
            f->press(QKeySequence(QStringLiteral("Ctrl+F")));
            FindReplaceBar *bar = f->pane()->editor()->findBar();
            QTRY_VERIFY(bar->isVisible());
            QLineEdit *field = bar->findField();
            field->setText(sampleText);
            field->setSelection(4, 4);
            widget = field;
            textOf = [field] { return field->text(); };
        } else {
            MarkdownPreview *preview = f->pane()->preview();
            QVERIFY(waitForScript(preview->page(), QStringLiteral("document.body.innerText.includes('one word two')")));
            widget = preview->focusProxy() ? preview->focusProxy() : preview;
        }
        widget->setFocus();
        QTRY_VERIFY(widget->hasFocus());
        for (const QString &item : items) {
            QAction *action = f->action(item);
            QVERIFY2(action && action->isEnabled(), qPrintable(item));
            action->trigger();
        }
        QTRY_COMPARE(QGuiApplication::clipboard()->text().trimmed(), clipboard);
        if (textOf)
            QCOMPARE(textOf(), text);
    }

    // Ctrl+C copies the selection wherever it is: in the editor, the find bar, the
    // preview and a line edit of a dialog over the window.
    void copyKeyCopiesTheSelection_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("editor") << "editor";
        QTest::newRow("find field") << "find field";
        QTest::newRow("preview") << "preview";
        QTest::newRow("dialog field") << "dialog field";
    }

    void copyKeyCopiesTheSelection()
    {
        QFETCH(QString, target);
        QVERIFY(f->enter(State::SavedClean));
        f->selectInEditor(4, 8);
        QDialog dialog(&f->window());
        if (target == QLatin1String("find field")) {
            f->press(QKeySequence(QStringLiteral("Ctrl+F")));
            FindReplaceBar *bar = f->pane()->editor()->findBar();
            QTRY_VERIFY(bar->isVisible());
            bar->findField()->setText(sampleText);
            bar->findField()->setSelection(4, 4);
            bar->findField()->setFocus();
            QTRY_VERIFY(bar->findField()->hasFocus());
        } else if (target == QLatin1String("preview")) {
            MarkdownPreview *preview = f->pane()->preview();
            QWebEnginePage *page = preview->page();
            QVERIFY(waitForScript(page, QStringLiteral("document.body.innerText.includes('one word two')")));
            runScript(page, QStringLiteral("(() => { const r = document.createRange();"
                                           " const p = document.querySelector('p'); const t = p.firstChild;"
                                           " r.setStart(t, 4); r.setEnd(t, 8);"
                                           " getSelection().removeAllRanges(); getSelection().addRange(r); })()"));
            QWidget *proxy = preview->focusProxy() ? preview->focusProxy() : preview;
            proxy->setFocus();
            QTRY_VERIFY(proxy->hasFocus());
        } else if (target == QLatin1String("dialog field")) {
            auto *field = new QLineEdit(sampleText, &dialog);
            (new QVBoxLayout(&dialog))->addWidget(field);
            dialog.show();
            dialog.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            field->setFocus();
            field->setSelection(4, 4);
            QTRY_VERIFY(field->hasFocus());
        }
        f->press(QKeySequence(QStringLiteral("Ctrl+C")));
        QTRY_COMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("word"));
    }
};

SORVANE_WEBENGINE_TEST_MAIN(tst_MenuCommands)
#include "tst_MenuCommands.moc"
