#include "ShellWorkspace.h"

#include "documents/DocumentManager.h"
#include "window/MainWindow.h"
#include "workspace/WorkspaceSearchController.h"

ShellWorkspace::ShellWorkspace(QObject *parent)
    : QObject(parent)
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
}

bool ShellWorkspace::exists() const
{
    return true;
}

void ShellWorkspace::showQuickOpen()
{
}

void ShellWorkspace::showFolderSearch()
{
    m_folderSearch->show();
}
