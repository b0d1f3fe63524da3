#pragma once

#include "WorkspaceSeam.h"

#include <QObject>
#include <QPointer>

#include <memory>

class AgentWorkspaceService;
class HomeIndex;
class QuickOpenController;
class QuickOpenPanel;
class Settings;
class WorkspaceRootFolder;
class WorkspaceSearchController;

// The workspace navigators behind the start-up seam: the AI workspace and its sidebar,
// the folder-search panel and Quick Open. main() owns one for the process.
class ShellWorkspace : public QObject, public WorkspaceSeam
{
    Q_OBJECT
public:
    // Makes the AI workspace service, which restores its folder and walks it.
    explicit ShellWorkspace(QObject *parent = nullptr);
    ShellWorkspace(Settings &settings, QObject *parent = nullptr);
    ~ShellWorkspace() override;

    void attachDocumentManager(DocumentManager *manager) override;
    void attachMainWindow(MainWindow *window) override;
    bool exists() const override;
    void showQuickOpen() override;
    void showFolderSearch() override;

    AgentWorkspaceService &agentWorkspace() const { return *m_agentWorkspace; }
    // The folder search, made with the workspace and kept for the process.
    WorkspaceSearchController &folderSearch() const { return *m_folderSearch; }

private:
    // The sidebar into the window's view and the root folder into its empty state.
    void attachSidebar();

    std::unique_ptr<AgentWorkspaceService> m_agentWorkspace;
    WorkspaceRootFolder *m_rootFolder = nullptr;
    QPointer<MainWindow> m_window;
    QPointer<DocumentManager> m_manager;
    std::unique_ptr<WorkspaceSearchController> m_folderSearch;
    // Quick Open: made by its first command, the index running from then on.
    HomeIndex *m_homeIndex = nullptr;
    QuickOpenController *m_quickOpen = nullptr;
    QPointer<QuickOpenPanel> m_quickOpenPanel;
};
