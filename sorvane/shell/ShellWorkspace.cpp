#include "ShellWorkspace.h"

#include "documents/DocumentManager.h"
#include "window/MainWindow.h"

ShellWorkspace::ShellWorkspace(QObject *parent)
    : QObject(parent)
{
}

ShellWorkspace::~ShellWorkspace() = default;

void ShellWorkspace::attachDocumentManager(DocumentManager *manager)
{
    m_manager = manager;
}

void ShellWorkspace::attachMainWindow(MainWindow *window)
{
    m_window = window;
}

bool ShellWorkspace::exists() const
{
    return false;
}

void ShellWorkspace::showQuickOpen()
{
}

void ShellWorkspace::showFolderSearch()
{
}
