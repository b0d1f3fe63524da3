#include "SorvaneCommands.h"

#include "SorvaneApp.h"
#include "UpdaterService.h"
#include "WorkspaceSeam.h"

#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "export/ServerExportCommands.h"
#include "platform/DesktopShare.h"
#include "platform/PlatformConstants.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "window/DocumentContentView.h"
#include "window/MainView.h"
#include "window/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>

namespace {

constexpr double largestFontSize = 24;
constexpr double smallestFontSize = 11;
constexpr double resetFontSize = 15;
// The recent-files submenu lists this many; the list itself may hold more.
constexpr qsizetype recentItemCount = 10;

QKeySequence keys(QKeyCombination combination)
{
    return QKeySequence(combination);
}

// The Keyboard Shortcuts window: menu title of the command, its label there.
struct ShortcutLine {
    const char *title;
    const char *label;
};
constexpr ShortcutLine shortcutLines[] = {
    {"New Document", "New document"},
    {"New Tab", "New tab"},
    {"Open...", "Open file"},
    {"Close Document", "Close document"},
    {"Preview", "Preview mode"},
    {"Editor", "Editor mode"},
    {"Split View", "Split view"},
    {"Save", "Save"},
    {"Save As...", "Save as"},
    {"Find...", "Find"},
    {"Find and Replace...", "Find and Replace"},
    {"Advanced Search...", "Advanced Search"},
    {"Bold", "Bold"},
    {"Italic", "Italic"},
    {"Insert Link", "Insert link"},
    {"Print...", "Print"},
    {"Increase Font Size", "Increase font"},
    {"Decrease Font Size", "Decrease font"},
    {"Reset Font Size", "Reset font"},
    {"Next Tab", "Next tab"},
    {"Previous Tab", "Previous tab"},
};

QWebEngineView *webViewAround(QWidget *widget)
{
    // The page takes the focus through a child of the view.
    for (QWidget *w = widget; w; w = w->parentWidget()) {
        if (auto *view = qobject_cast<QWebEngineView *>(w))
            return view;
    }
    return nullptr;
}

bool takesText(QWidget *widget)
{
    return qobject_cast<QLineEdit *>(widget) || qobject_cast<QPlainTextEdit *>(widget)
           || qobject_cast<QTextEdit *>(widget) || webViewAround(widget);
}

} // namespace

SorvaneCommands::SorvaneCommands(SorvaneApp &app, MainWindow &window)
    : QObject(&window)
    , m_app(app)
    , m_window(window)
{
    build();
    DocumentManager &manager = m_app.delegate().documentManager();
    connect(&manager, &DocumentManager::selectedIdChanged, this, &SorvaneCommands::watchSelectedDocument);
    connect(&manager, &DocumentManager::documentsChanged, this, &SorvaneCommands::watchSelectedDocument);
    connect(&manager, &DocumentManager::recentDocumentsChanged, this, [this] { fillRecentMenu(m_recentMenu); });
    connect(&Settings::shared(), &Settings::valueChanged, this, [this](const QString &key) {
        if (key == SettingsKeys::showWorkspace || key == SettingsKeys::distractionFree)
            refresh();
    });
    connect(&m_app.updaterService(), &UpdaterService::canCheckForUpdatesChanged, this, &SorvaneCommands::refresh);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        // Opening a menu from the keyboard focuses the bar; the items still act on
        // the widget the user was in.
        if (now && !qobject_cast<QMenuBar *>(now) && !qobject_cast<QMenu *>(now))
            m_lastFocus = now;
        refresh();
    });
    m_lastFocus = QApplication::focusWidget();
    watchSelectedDocument();
}

SorvaneCommands::~SorvaneCommands() = default;

std::vector<SorvaneCommands::Row> SorvaneCommands::table()
{
    using C = Condition;
    DocumentManager &manager = m_app.delegate().documentManager();
    DocumentManager *documents = &manager;
    const auto format = [documents](MarkdownFormatAction action) {
        return [documents, action] { documents->requestFormatting(action); };
    };
    const auto exports = [this](void (DocumentExportCommands::*command)()) {
        return [this, command] {
            if (DocumentExportCommands *commands = m_app.exportCommands())
                (commands->*command)();
        };
    };
    const auto encryption = [this](void (DocumentEncryptionCommands::*command)()) {
        return [this, command] {
            if (DocumentEncryptionCommands *commands = m_app.encryptionCommands())
                (commands->*command)();
        };
    };
    const auto viewMode = [this](ViewMode mode) {
        return [this, mode] {
            // Only a pane on screen has a layout to switch.
            if (m_window.mainView()->documentPane())
                DocumentContentView::setStoredViewMode(mode);
        };
    };
    const auto onFocus = [this](TextCommand command) { return [this, command] { runOnFocus(command); }; };
    const auto web = [this](const char *pathAndQuery) {
        return [this, pathAndQuery] { openWebsite(QString::fromLatin1(pathAndQuery)); };
    };
    const auto separator = [](Menu menu, Condition shownWhen = C::Always) {
        return Row{.menu = menu, .kind = Kind::Separator, .shownWhen = shownWhen};
    };
    const Menu File = Menu::File;
    const Menu Edit = Menu::Edit;
    const Menu View = Menu::View;
    const Menu Help = Menu::Help;
    const auto ctrl = Qt::CTRL;
    const auto shift = Qt::SHIFT;
    const auto alt = Qt::ALT;

    return {
        {.menu = File, .title = QStringLiteral("New Document"), .keys = {keys(ctrl | Qt::Key_N)},
         .run = [documents] { documents->newDocument(QString(), false); }},
        {.menu = File, .title = QStringLiteral("New Tab"), .keys = {keys(ctrl | Qt::Key_T)},
         .run = [documents] { documents->newDocument(QString(), false); }},
        {.menu = File, .title = QStringLiteral("Open..."), .keys = {keys(ctrl | Qt::Key_O)},
         .run = [documents] { documents->openFilePicker(); }},
        {.menu = File, .title = QStringLiteral("Quick Open..."), .keys = {keys(ctrl | shift | Qt::Key_O)},
         .shownWhen = C::WorkspaceExists,
         .run = [this] { m_app.delegate().seams().workspace->showQuickOpen(); }},
        {.menu = File, .kind = Kind::Submenu, .title = QStringLiteral("Open Recent"),
         .fill = [this](QMenu *menu) {
             m_recentMenu = menu;
             fillRecentMenu(menu);
         }},
        separator(File),
        {.menu = File, .title = QStringLiteral("Close Window"), .switchedTitle = QStringLiteral("Close Document"),
         .switchesOn = C::DocumentSelected, .keys = {keys(ctrl | Qt::Key_W)},
         .run = [documents] { documents->closeCurrentDocumentOrWindow(); }},
        {.menu = File, .title = QStringLiteral("Save"), .keys = {keys(ctrl | Qt::Key_S)},
         .enabledWhen = C::DocumentSelected,
         .run = [documents] {
             // The key can come in just after the last tab went.
             if (TabDocument *document = documents->selectedDocument())
                 documents->save(document);
         }},
        {.menu = File, .title = QStringLiteral("Save As..."), .keys = {keys(ctrl | shift | Qt::Key_S)},
         .enabledWhen = C::DocumentSelected,
         .run = [documents] {
             if (TabDocument *document = documents->selectedDocument())
                 documents->saveAs(document);
         }},
        separator(File),
        {.menu = File, .title = QStringLiteral("Export HTML..."), .enabledWhen = C::DocumentSelected,
         .run = exports(&DocumentExportCommands::exportHTMLCurrentDocument)},
        {.menu = File, .title = QStringLiteral("Export PDF..."), .enabledWhen = C::DocumentSelected,
         .run = exports(&DocumentExportCommands::exportPDFCurrentDocument)},
        {.menu = File, .kind = Kind::Submenu, .title = QStringLiteral("Export Document"),
         .enabledWhen = C::DocumentSelected,
         .fill = [this](QMenu *menu) { fillExportMenu(menu); }},
        {.menu = File, .title = QStringLiteral("Share…"), .enabledWhen = C::DocumentSelected,
         .run = [this] {
             DocumentExportCommands *commands = m_app.exportCommands();
             if (!commands)
                 return;
             QWidget *key = QApplication::activeWindow();
             auto *main = qobject_cast<QMainWindow *>(key);
             commands->shareCurrentDocument(main ? main->centralWidget() : key);
         }},
        separator(File),
        {.menu = File, .title = QStringLiteral("Encrypt Document..."), .enabledWhen = C::DocumentSelected,
         .run = encryption(&DocumentEncryptionCommands::encryptCurrentDocument)},
        {.menu = File, .title = QStringLiteral("Decrypt Open File..."),
         .run = encryption(&DocumentEncryptionCommands::openEncryptedFile)},
        separator(File),
        {.menu = File, .title = QStringLiteral("Revert to Saved"), .enabledWhen = C::Revertible,
         .run = [documents] { documents->revertCurrentDocument(); }},
        {.menu = File, .title = QStringLiteral("Print..."), .keys = {keys(ctrl | Qt::Key_P)},
         .enabledWhen = C::DocumentSelected, .run = exports(&DocumentExportCommands::printCurrentDocument)},
        separator(File),
        // The same way out as the window's close button, through the quit gate.
        {.menu = File, .title = QStringLiteral("Quit"), .keys = {keys(ctrl | Qt::Key_Q)},
         .run = [this] { m_window.close(); }},

        {.menu = Edit, .title = QStringLiteral("Undo"), .keys = {keys(ctrl | Qt::Key_Z)},
         .enabledWhen = C::TextFocus, .run = onFocus(TextCommand::Undo)},
        {.menu = Edit, .title = QStringLiteral("Redo"), .keys = {keys(ctrl | shift | Qt::Key_Z), keys(ctrl | Qt::Key_Y)},
         .enabledWhen = C::TextFocus, .run = onFocus(TextCommand::Redo)},
        separator(Edit),
        {.menu = Edit, .title = QStringLiteral("Cut"), .keys = {keys(ctrl | Qt::Key_X)},
         .enabledWhen = C::TextFocus, .run = onFocus(TextCommand::Cut)},
        {.menu = Edit, .title = QStringLiteral("Copy"), .keys = {keys(ctrl | Qt::Key_C)},
         .enabledWhen = C::TextFocus, .run = onFocus(TextCommand::Copy)},
        {.menu = Edit, .title = QStringLiteral("Paste"), .keys = {keys(ctrl | Qt::Key_V)},
         .enabledWhen = C::TextFocus, .run = onFocus(TextCommand::Paste)},
        {.menu = Edit, .title = QStringLiteral("Select All"), .keys = {keys(ctrl | Qt::Key_A)},
         .enabledWhen = C::TextFocus, .run = onFocus(TextCommand::SelectAll)},
        separator(Edit),
        {.menu = Edit, .title = QStringLiteral("Copy as Rich Text"), .keys = {keys(ctrl | shift | Qt::Key_C)},
         .enabledWhen = C::DocumentSelected, .run = exports(&DocumentExportCommands::copyCurrentAsRichText)},
        {.menu = Edit, .title = QStringLiteral("Copy as HTML"), .keys = {keys(ctrl | alt | Qt::Key_C)},
         .enabledWhen = C::DocumentSelected, .run = exports(&DocumentExportCommands::copyCurrentAsHTML)},
        separator(Edit),
        {.menu = Edit, .title = QStringLiteral("Find..."), .keys = {keys(ctrl | Qt::Key_F)},
         .enabledWhen = C::DocumentSelected, .run = [documents] { documents->requestFind(); }},
        {.menu = Edit, .title = QStringLiteral("Find and Replace..."), .keys = {keys(ctrl | Qt::Key_H)},
         .enabledWhen = C::DocumentSelected, .run = [documents] { documents->requestReplace(); }},
        {.menu = Edit, .title = QStringLiteral("Advanced Search..."), .keys = {keys(ctrl | shift | Qt::Key_F)},
         .shownWhen = C::WorkspaceExists,
         .run = [this] { m_app.delegate().seams().workspace->showFolderSearch(); }},
        separator(Edit),
        {.menu = Edit, .title = QStringLiteral("Bold"), .keys = {keys(ctrl | Qt::Key_B)},
         .enabledWhen = C::DocumentSelected, .run = format(MarkdownFormatAction::bold)},
        {.menu = Edit, .title = QStringLiteral("Italic"), .keys = {keys(ctrl | Qt::Key_I)},
         .enabledWhen = C::DocumentSelected, .run = format(MarkdownFormatAction::italic)},
        {.menu = Edit, .title = QStringLiteral("Insert Link"), .keys = {keys(ctrl | Qt::Key_K)},
         .enabledWhen = C::DocumentSelected, .run = format(MarkdownFormatAction::link)},
        {.menu = Edit, .title = QStringLiteral("Insert Code Block"), .keys = {keys(ctrl | shift | Qt::Key_K)},
         .enabledWhen = C::DocumentSelected, .run = format(MarkdownFormatAction::codeBlock)},
        {.menu = Edit, .title = QStringLiteral("Insert Table"), .keys = {keys(ctrl | shift | Qt::Key_T)},
         .enabledWhen = C::DocumentSelected, .run = format(MarkdownFormatAction::table)},
        separator(Edit),
        {.menu = Edit, .title = QStringLiteral("Heading 1"), .keys = {keys(ctrl | alt | Qt::Key_1)},
         .enabledWhen = C::DocumentSelected, .run = format(MarkdownFormatAction::heading1)},
        {.menu = Edit, .title = QStringLiteral("Heading 2"), .keys = {keys(ctrl | alt | Qt::Key_2)},
         .enabledWhen = C::DocumentSelected, .run = format(MarkdownFormatAction::heading2)},
        {.menu = Edit, .title = QStringLiteral("Heading 3"), .keys = {keys(ctrl | alt | Qt::Key_3)},
         .enabledWhen = C::DocumentSelected, .run = format(MarkdownFormatAction::heading3)},
        separator(Edit),
        {.menu = Edit, .title = QStringLiteral("Blockquote"), .enabledWhen = C::DocumentSelected,
         .run = format(MarkdownFormatAction::blockquote)},
        {.menu = Edit, .title = QStringLiteral("Bullet List"), .enabledWhen = C::DocumentSelected,
         .run = format(MarkdownFormatAction::bulletList)},
        {.menu = Edit, .title = QStringLiteral("Numbered List"), .enabledWhen = C::DocumentSelected,
         .run = format(MarkdownFormatAction::numberedList)},
        {.menu = Edit, .title = QStringLiteral("Task List"), .enabledWhen = C::DocumentSelected,
         .run = format(MarkdownFormatAction::taskList)},
        {.menu = Edit, .title = QStringLiteral("Horizontal Rule"), .enabledWhen = C::DocumentSelected,
         .run = format(MarkdownFormatAction::horizontalRule)},
        separator(Edit),
        {.menu = Edit, .title = QStringLiteral("Settings…"), .keys = {keys(ctrl | Qt::Key_Comma)},
         .run = [this] { m_app.showSettingsWindow(); }},

        {.menu = View, .title = QStringLiteral("Preview"), .keys = {keys(ctrl | Qt::Key_1)},
         .run = viewMode(ViewMode::Preview)},
        {.menu = View, .title = QStringLiteral("Editor"), .keys = {keys(ctrl | Qt::Key_2)},
         .run = viewMode(ViewMode::Editor)},
        {.menu = View, .title = QStringLiteral("Split View"), .keys = {keys(ctrl | Qt::Key_3)},
         .run = viewMode(ViewMode::Split)},
        separator(View),
        {.menu = View, .title = QStringLiteral("Show AI Workspace"), .switchedTitle = QStringLiteral("Hide AI Workspace"),
         .switchesOn = C::WorkspaceShown, .keys = {keys(ctrl | alt | Qt::Key_0)}, .shownWhen = C::WorkspaceExists,
         .run = [] {
             Settings &settings = Settings::shared();
             settings.setValue(SettingsKeys::showWorkspace, !settings.showWorkspace());
         }},
        separator(View, C::WorkspaceExists),
        {.menu = View, .title = QStringLiteral("Enter Distraction-Free"),
         .switchedTitle = QStringLiteral("Exit Distraction-Free"), .switchesOn = C::DistractionFree,
         .keys = {keys(Qt::Key_F11)}, .run = [this] { m_app.toggleDistractionFree(); }},
        separator(View),
        // The value is moved and then kept in range; a stored size outside the range
        // is not pulled in first (30 goes to 29 on a decrease).
        {.menu = View, .title = QStringLiteral("Increase Font Size"),
         .keys = {keys(ctrl | Qt::Key_Plus), keys(ctrl | Qt::Key_Equal)},
         .run = [] { Settings::shared().setFontSize(std::min(Settings::shared().fontSize() + 1, largestFontSize)); }},
        {.menu = View, .title = QStringLiteral("Decrease Font Size"), .keys = {keys(ctrl | Qt::Key_Minus)},
         .run = [] { Settings::shared().setFontSize(std::max(Settings::shared().fontSize() - 1, smallestFontSize)); }},
        {.menu = View, .title = QStringLiteral("Reset Font Size"), .keys = {keys(ctrl | Qt::Key_0)},
         .run = [] { Settings::shared().setFontSize(resetFontSize); }},
        separator(View),
        {.menu = View, .title = QStringLiteral("Next Tab"),
         .keys = {keys(ctrl | Qt::Key_PageDown), keys(ctrl | Qt::Key_Tab)},
         .run = [documents] { documents->selectNextTab(); }},
        {.menu = View, .title = QStringLiteral("Previous Tab"),
         .keys = {keys(ctrl | Qt::Key_PageUp), keys(ctrl | shift | Qt::Key_Tab)},
         .run = [documents] { documents->selectPreviousTab(); }},

        {.menu = Help, .title = QStringLiteral("sorv.ane Help"), .run = web("/sorvane")},
        {.menu = Help, .title = QStringLiteral("Contact Support"), .run = web("/contact?app=sorvane&platform=linux")},
        {.menu = Help, .title = QStringLiteral("Report an Issue"),
         .run = web("/contact?app=sorvane&platform=linux&topic=bug")},
        {.menu = Help, .title = QStringLiteral("Privacy Policy"), .run = web("/privacy/sorvane")},
        {.menu = Help, .title = QStringLiteral("Terms of Use"), .run = web("/terms/sorvane")},
        {.menu = Help, .title = QStringLiteral("Keyboard Shortcuts"),
         .run = [this] { m_app.showKeyboardShortcutsWindow(); }},
        separator(Help),
        {.menu = Help, .title = QStringLiteral("Check for Updates…"), .enabledWhen = C::CanCheckForUpdates,
         .run = [this] {
             UpdaterService &updater = m_app.updaterService();
             if (updater.hasController())
                 updater.checkForUpdates();
         }},
        {.menu = Help, .title = QStringLiteral("About sorv.ane"), .run = [this] { m_app.showAboutWindow(); }},
    };
}

void SorvaneCommands::build()
{
    QMenuBar *bar = m_window.menuBar();
    m_menus.insert(Menu::File, bar->addMenu(QStringLiteral("&File")));
    m_menus.insert(Menu::Edit, bar->addMenu(QStringLiteral("&Edit")));
    m_menus.insert(Menu::View, bar->addMenu(QStringLiteral("&View")));
    m_menus.insert(Menu::Help, bar->addMenu(QStringLiteral("&Help")));
    for (Row &row : table()) {
        QMenu *menu = m_menus.value(row.menu);
        QAction *action = nullptr;
        switch (row.kind) {
        case Kind::Separator:
            action = menu->addSeparator();
            break;
        case Kind::Submenu: {
            QMenu *submenu = menu->addMenu(row.title);
            if (row.fill)
                row.fill(submenu);
            action = submenu->menuAction();
            break;
        }
        case Kind::Item:
            action = menu->addAction(row.title);
            action->setShortcuts(row.keys);
            if (row.run)
                connect(action, &QAction::triggered, this, row.run);
            // Keys keep working while the menu bar is hidden (distraction-free).
            m_window.addAction(action);
            break;
        }
        m_items.push_back({std::move(row), action});
    }
    refresh();
}

void SorvaneCommands::refresh()
{
    for (const Item &item : m_items) {
        const bool shown = holds(item.row.shownWhen);
        item.action->setVisible(shown);
        if (item.row.kind == Kind::Separator)
            continue;
        // A hidden item's keys must not reach a command that is not there.
        item.action->setEnabled(shown && holds(item.row.enabledWhen));
        if (!item.row.switchedTitle.isEmpty())
            item.action->setText(holds(item.row.switchesOn) ? item.row.switchedTitle : item.row.title);
    }
}

bool SorvaneCommands::holds(Condition condition) const
{
    const DocumentManager &manager = m_app.delegate().documentManager();
    switch (condition) {
    case Condition::Always: return true;
    case Condition::Never: return false;
    case Condition::DocumentSelected: return manager.selectedDocument() != nullptr;
    case Condition::Revertible: {
        const TabDocument *document = manager.selectedDocument();
        return document && !document->fileURL().isEmpty() && document->isModified();
    }
    case Condition::TextFocus: return takesText(focusTarget());
    case Condition::WorkspaceExists: return m_app.delegate().seams().workspace->exists();
    case Condition::WorkspaceShown: return Settings::shared().showWorkspace();
    case Condition::DistractionFree: return Settings::shared().distractionFree();
    case Condition::CanCheckForUpdates: return m_app.updaterService().canCheckForUpdates();
    }
    return false;
}

QMenu *SorvaneCommands::menu(Menu menu) const
{
    return m_menus.value(menu);
}

QAction *SorvaneCommands::action(const QString &title) const
{
    for (const Item &item : m_items) {
        if (item.row.kind != Kind::Separator && (item.row.title == title || item.row.switchedTitle == title))
            return item.action;
    }
    return nullptr;
}

QList<QAction *> SorvaneCommands::actions() const
{
    QList<QAction *> all;
    for (const Item &item : m_items)
        all.append(item.action);
    return all;
}

QString SorvaneCommands::keyboardShortcutsText() const
{
    QStringList lines;
    for (const ShortcutLine &line : shortcutLines) {
        const QAction *command = action(QString::fromLatin1(line.title));
        // A command the menus leave out has no keys to show either.
        if (!command || !command->isVisible() || command->shortcuts().isEmpty())
            continue;
        lines << command->shortcuts().constFirst().toString(QKeySequence::NativeText) + QStringLiteral("  ")
                     + QString::fromLatin1(line.label);
    }
    return lines.join(QLatin1Char('\n'));
}

QUrl SorvaneCommands::websiteURL(const QString &pathAndQuery)
{
    return QUrl(QString::fromLatin1(PlatformConstants::website) + pathAndQuery);
}

QString SorvaneCommands::menuTitleForFileName(const QString &name)
{
    // A lone "&" would turn into a mnemonic and vanish from the title.
    QString title = name;
    return title.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

void SorvaneCommands::watchSelectedDocument()
{
    TabDocument *selected = m_app.delegate().documentManager().selectedDocument();
    if (selected != m_watched) {
        for (const QMetaObject::Connection &connection : std::as_const(m_watchConnections))
            disconnect(connection);
        m_watchConnections.clear();
        m_watched = selected;
        if (selected) {
            m_watchConnections << connect(selected, &TabDocument::fileURLChanged, this, &SorvaneCommands::refresh)
                               << connect(selected, &TabDocument::isModifiedChanged, this, &SorvaneCommands::refresh);
        }
    }
    refresh();
}

void SorvaneCommands::fillRecentMenu(QMenu *menu)
{
    if (!menu)
        return;
    // Choosing a recent file notes it again, which rebuilds this menu from inside
    // the chosen item's own signal: the old items go once that has returned.
    for (QAction *item : menu->actions()) {
        menu->removeAction(item);
        item->deleteLater();
    }
    DocumentManager *documents = &m_app.delegate().documentManager();
    const QList<QUrl> recent = documents->recentDocuments();
    if (recent.isEmpty()) {
        menu->addAction(QStringLiteral("No Recent Documents"))->setEnabled(false);
        return;
    }
    for (const QUrl &url : recent.mid(0, recentItemCount)) {
        QAction *item = menu->addAction(menuTitleForFileName(QFileInfo(url.path()).fileName()));
        item->setData(url);
        connect(item, &QAction::triggered, this, [documents, url] { documents->openFile(url); });
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Clear Menu")), &QAction::triggered, this,
            [documents] { documents->clearRecentDocuments(); });
}

void SorvaneCommands::fillExportMenu(QMenu *menu)
{
    auto *commands = new ServerExportCommands(m_app.delegate().documentManager(), this);
    for (ServerPandocFormat format : ServerPandocFormat::allCases()) {
        QAction *action = menu->addAction(format.menuTitle());
        action->setData(format.rawValue());
        // The export finishes later; several may run at once.
        connect(action, &QAction::triggered, commands,
                [commands, format] { commands->exportViaServerCurrentDocument(format); });
    }
}

QWidget *SorvaneCommands::focusTarget() const
{
    QWidget *focus = QApplication::focusWidget();
    if (!focus || qobject_cast<QMenuBar *>(focus) || qobject_cast<QMenu *>(focus))
        return m_lastFocus;
    return focus;
}

void SorvaneCommands::runOnFocus(TextCommand command)
{
    QWidget *target = focusTarget();
    const auto run = [command](auto *widget) {
        switch (command) {
        case TextCommand::Undo: widget->undo(); break;
        case TextCommand::Redo: widget->redo(); break;
        case TextCommand::Cut: widget->cut(); break;
        case TextCommand::Copy: widget->copy(); break;
        case TextCommand::Paste: widget->paste(); break;
        case TextCommand::SelectAll: widget->selectAll(); break;
        }
    };
    if (auto *line = qobject_cast<QLineEdit *>(target)) {
        run(line);
    } else if (auto *plain = qobject_cast<QPlainTextEdit *>(target)) {
        run(plain);
    } else if (auto *rich = qobject_cast<QTextEdit *>(target)) {
        run(rich);
    } else if (QWebEngineView *view = webViewAround(target)) {
        static constexpr QWebEnginePage::WebAction pageActions[] = {
            QWebEnginePage::Undo, QWebEnginePage::Redo,  QWebEnginePage::Cut,
            QWebEnginePage::Copy, QWebEnginePage::Paste, QWebEnginePage::SelectAll,
        };
        view->page()->triggerAction(pageActions[static_cast<int>(command)]);
    }
}

void SorvaneCommands::openWebsite(const QString &pathAndQuery)
{
    DesktopShare::launcher().openUrl(websiteURL(pathAndQuery));
}
