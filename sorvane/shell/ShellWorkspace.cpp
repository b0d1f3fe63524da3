#include "ShellWorkspace.h"

#include "documents/DocumentManager.h"
#include "platform/HomeIndex.h"
#include "platform/Settings.h"
#include "window/EmptyStateView.h"
#include "window/MainView.h"
#include "window/MainWindow.h"
#include "window/WorkspaceRootFolder.h"
#include "workspace/AgentWorkspaceService.h"
#include "workspace/AgentWorkspaceSidebar.h"
#include "workspace/QuickOpenController.h"
#include "workspace/QuickOpenPanel.h"
#include "workspace/WorkspaceSearchController.h"

#include <QDir>

namespace {

// The AI workspace's root folder as the empty state sees it.
class AgentRootFolder : public WorkspaceRootFolder
{
public:
    AgentRootFolder(AgentWorkspaceService &service, QObject *parent)
        : WorkspaceRootFolder(parent)
        , m_service(service)
    {
        connect(&service, &AgentWorkspaceService::rootPathChanged, this, &WorkspaceRootFolder::rootFolderChanged);
    }

    bool hasRootFolder() const override { return m_service.hasRoot(); }
    void chooseRootFolder() override { m_service.chooseDirectory(); }

private:
    AgentWorkspaceService &m_service;
};

} // namespace

ShellWorkspace::ShellWorkspace(QObject *parent)
    : ShellWorkspace(Settings::shared(), parent)
{
}

ShellWorkspace::ShellWorkspace(Settings &settings, QObject *parent)
    : QObject(parent)
    , m_agentWorkspace(std::make_unique<AgentWorkspaceService>(settings))
    , m_rootFolder(new AgentRootFolder(*m_agentWorkspace, this))
    , m_folderSearch(std::make_unique<WorkspaceSearchController>())
{
}

ShellWorkspace::~ShellWorkspace() = default;

void ShellWorkspace::attachDocumentManager(DocumentManager *manager)
{
    m_manager = manager;
    m_folderSearch->setDocumentManager(manager);
}

void ShellWorkspace::attachMainWindow(MainWindow *window)
{
    m_window = window;
    m_folderSearch->setAnchorWindow(window);
    attachSidebar();
}

void ShellWorkspace::attachSidebar()
{
    if (!m_window)
        return;
    MainView *view = m_window->mainView();
    view->setWorkspaceSidebar(new AgentWorkspaceSidebar(*m_agentWorkspace, view->documentManager()));
    view->emptyState()->setWorkspaceRootFolder(m_rootFolder);
}

bool ShellWorkspace::exists() const
{
    return true;
}

void ShellWorkspace::showQuickOpen()
{
    if (!m_quickOpen) {
        m_homeIndex = new HomeIndex(QDir::homePath(), {}, this);
        m_quickOpen = new QuickOpenController(m_homeIndex, this);
    }
    if (!m_quickOpenPanel)
        m_quickOpenPanel = new QuickOpenPanel(m_quickOpen, m_window);
    m_quickOpenPanel->setAnchorWindow(m_window);
    m_quickOpenPanel->showPanel();
}

void ShellWorkspace::showFolderSearch()
{
    m_folderSearch->show();
}
