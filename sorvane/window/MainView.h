#pragma once

#include <QPointer>
#include <QSize>
#include <QString>
#include <QUuid>
#include <QWidget>

class DocumentContentView;
class DocumentExportCommands;
class DocumentManager;
class EmptyStateView;
class QStackedLayout;
class TabBar;
class TabDocument;

// The content of the main window: the tab bar over the selected document's pane, or
// the empty state when nothing is selected, with room on the left for the workspace
// sidebar. It tells its host window the title, minimum size and colour scheme to use
// through properties and signals; it does not restore the session (the shell calls
// DocumentSessionKeeper::restoreSessionIfNeeded() when the window is first shown) and it
// takes no drops itself (the empty state does).
class MainView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString windowTitleText READ windowTitleText NOTIFY windowTitleTextChanged)
    Q_PROPERTY(QString colorScheme READ colorScheme NOTIFY colorSchemeChanged)

public:
    static constexpr int workspaceSidebarWidth = 260;

    explicit MainView(DocumentManager &manager, QWidget *parent = nullptr);
    ~MainView() override;

    // "sorv.ane" without a selection, else the document's title, with " — Edited"
    // while it has unsaved changes. Follows a turn of the event loop after the change.
    QString windowTitleText() const { return m_title; }
    // 500 × 400, or 760 wide while the workspace sidebar shows.
    QSize minimumContentSize() const;
    // "light" or "dark" as the user chose, empty for the desktop's own scheme.
    QString colorScheme() const;
    // The palette the host window should carry for colorScheme().
    static QPalette paletteForColorScheme(const QString &scheme);

    // The workspace sidebar, once the workspace exists; shown while "showWorkspace" is
    // on and distraction-free mode is off. The view takes ownership.
    void setWorkspaceSidebar(QWidget *sidebar);
    bool isWorkspaceSidebarShown() const;

    // The copy and share commands the panes' toolbars run.
    void setExportCommands(DocumentExportCommands *commands);

    DocumentManager &documentManager() const { return m_manager; }
    TabBar *tabBar() const { return m_tabBar; }
    EmptyStateView *emptyState() const { return m_emptyState; }
    // The pane of the selected document; null while nothing is selected. Menus switch
    // its view mode through DocumentContentView::setStoredViewMode.
    DocumentContentView *documentPane() const;

Q_SIGNALS:
    void windowTitleTextChanged(const QString &title);
    void colorSchemeChanged(const QString &scheme);
    // "showWorkspace" was switched on: the host widens the window so the sidebar fits.
    void workspaceWidthNeeded();
    void documentPaneChanged(DocumentContentView *pane);

private:
    void onSettingChanged(const QString &key);
    void showSelection();
    void watchSelectedDocument();
    void scheduleTitleUpdate();
    void updateTitle();
    void updateChrome();

    DocumentManager &m_manager;
    QWidget *m_sidebarColumn;
    QPointer<QWidget> m_sidebar;
    TabBar *m_tabBar;
    QWidget *m_tabDivider;
    QStackedLayout *m_stack;
    EmptyStateView *m_emptyState;
    QPointer<DocumentContentView> m_pane;
    QUuid m_paneDocumentId;
    QPointer<TabDocument> m_watched;
    QPointer<DocumentExportCommands> m_exports;
    QString m_title;
    QString m_colorScheme;
    QSize m_minimumSize;
    bool m_titleUpdateQueued = false;
};
