#pragma once

#include <QPointer>
#include <QWidget>

class AgentWorkspaceModel;
class AgentWorkspaceRowDelegate;
class AgentWorkspaceService;
class AgentWorkspaceTreeView;
class DocumentManager;
class GlyphButton;
class QLabel;
class QMenu;
class QPushButton;
class QStackedWidget;
class QToolButton;
class TabDocument;

// The AI workspace column beside the documents: a header with the hide button, then
// either a prompt to choose a folder, or the folder bar (name, progress while
// scanning, options menu) over one list of pins, file count and tree. It shows the
// service's published state and the selected document's file; every action is one
// call of the service or of DocumentManager, or switches "showWorkspace" off.
class AgentWorkspaceSidebar : public QWidget
{
    Q_OBJECT
public:
    AgentWorkspaceSidebar(AgentWorkspaceService &service, DocumentManager &manager, QWidget *parent = nullptr);

    GlyphButton *hideButton() const { return m_hide; }
    // The prompt shown without a folder, and its "Choose Folder…" button.
    QWidget *emptyPrompt() const { return m_emptyPrompt; }
    QPushButton *chooseFolderButton() const { return m_chooseFolder; }
    // The folder bar: the folder's name, the progress indicator, the options menu.
    QWidget *folderBar() const { return m_folderBar; }
    QString folderNameText() const;
    QWidget *progressIndicator() const { return m_progress; }
    QToolButton *optionsButton() const { return m_options; }
    QMenu *optionsMenu() const { return m_menu; }
    AgentWorkspaceTreeView *listView() const { return m_list; }
    AgentWorkspaceModel *model() const { return m_model; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *buildHeader();
    QWidget *buildEmptyPrompt();
    QWidget *buildFolderBar();
    void showRoot();
    void showScanning();
    void watchSelectedDocument();
    void updateOpenPath();
    void openRow(const QModelIndex &index);
    void activateRow(const QModelIndex &index);
    void toggleStar(const QModelIndex &index);
    void unpin(const QModelIndex &index);
    void rememberExpanded();
    void restoreExpanded();
    void applyColors();

    AgentWorkspaceService &m_service;
    DocumentManager &m_manager;
    GlyphButton *m_hide = nullptr;
    QLabel *m_headerIcon = nullptr;
    QLabel *m_headerTitle = nullptr;
    QStackedWidget *m_pages = nullptr;
    QWidget *m_emptyPrompt = nullptr;
    QLabel *m_promptIcon = nullptr;
    QLabel *m_promptTitle = nullptr;
    QLabel *m_promptText = nullptr;
    QPushButton *m_chooseFolder = nullptr;
    QWidget *m_rootPage = nullptr;
    QWidget *m_folderBar = nullptr;
    QLabel *m_folderIcon = nullptr;
    QLabel *m_folderName = nullptr;
    QWidget *m_progress = nullptr;
    QToolButton *m_options = nullptr;
    QMenu *m_menu = nullptr;
    AgentWorkspaceModel *m_model = nullptr;
    AgentWorkspaceRowDelegate *m_delegate = nullptr;
    AgentWorkspaceTreeView *m_list = nullptr;
    QPointer<TabDocument> m_watched;
    QStringList m_expanded;
};
