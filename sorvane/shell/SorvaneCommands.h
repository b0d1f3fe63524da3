#pragma once

#include <QMap>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <vector>

class MainWindow;
class QAction;
class QMenu;
class QWidget;
class SorvaneApp;
class TabDocument;

// The main window's menu bar and the command behind each item. One table of rows
// (menu, title or pair of titles, keys, when it is enabled, when it shows, what it
// does) builds the actions; titles and enabling follow the document manager, the
// selected tab, the settings, the updater and the focus. Every action also sits on
// the window, so its keys work while distraction-free mode hides the bar. Each
// action looks up what it acts on when it runs. Made by SorvaneApp with the window,
// which owns it.
class SorvaneCommands : public QObject
{
    Q_OBJECT
public:
    enum class Menu { File, Edit, View, Help };

    SorvaneCommands(SorvaneApp &app, MainWindow &window);
    ~SorvaneCommands() override;

    QMenu *menu(Menu menu) const;
    // The action of the item with this title (either title of a pair), or nullptr.
    QAction *action(const QString &title) const;
    // Every item's action, separators and submenus included, in table order.
    QList<QAction *> actions() const;
    // The Keyboard Shortcuts window's text: a line per listed command that shows in
    // the menus, its first key in the desktop's notation, two spaces and its label.
    QString keyboardShortcutsText() const;
    // The maker's web page at this path (and query).
    static QUrl websiteURL(const QString &pathAndQuery);
    // How the recent-files submenu shows a file name: as it is, "&" included.
    static QString menuTitleForFileName(const QString &name);

    // Reads the state again: titles, enabling and what shows.
    void refresh();

private:
    // What an item's title, enabling or showing depends on.
    enum class Condition {
        Always,
        Never,
        DocumentSelected,
        Revertible,
        TextFocus,
        WorkspaceExists,
        WorkspaceShown,
        DistractionFree,
        CanCheckForUpdates,
    };
    enum class Kind { Item, Separator, Submenu };
    enum class TextCommand { Undo, Redo, Cut, Copy, Paste, SelectAll };

    struct Row {
        Menu menu;
        Kind kind = Kind::Item;
        QString title;
        // Shown instead of `title` while `switchesOn` holds; empty for a fixed title.
        QString switchedTitle;
        Condition switchesOn = Condition::Never;
        QList<QKeySequence> keys;
        Condition enabledWhen = Condition::Always;
        Condition shownWhen = Condition::Always;
        std::function<void()> run;
        // Submenus: puts the items in.
        std::function<void(QMenu *)> fill;
    };
    struct Item {
        Row row;
        QAction *action = nullptr;
    };

    std::vector<Row> table();
    void build();
    bool holds(Condition condition) const;
    void watchSelectedDocument();
    void fillRecentMenu(QMenu *menu);
    void fillExportMenu(QMenu *menu);
    void runOnFocus(TextCommand command);
    // The widget the pasteboard items act on: the focus widget, or the one that had
    // the focus before the menu bar took it.
    QWidget *focusTarget() const;
    void openWebsite(const QString &pathAndQuery);

    SorvaneApp &m_app;
    MainWindow &m_window;
    QMap<Menu, QMenu *> m_menus;
    std::vector<Item> m_items;
    QMenu *m_recentMenu = nullptr;
    QPointer<TabDocument> m_watched;
    QList<QMetaObject::Connection> m_watchConnections;
    QPointer<QWidget> m_lastFocus;
};
