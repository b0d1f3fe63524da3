#include "ShellWorkspace.h"

#include "documents/DocumentManager.h"
#include "platform/HomeIndex.h"
#include "window/MainWindow.h"
#include "workspace/QuickOpenController.h"
#include "workspace/QuickOpenPanel.h"

#include <QDir>

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
}
