#include "WorkspaceSearchController.h"

#include "FolderSearchPanel.h"
#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"

WorkspaceSearchController::WorkspaceSearchController(QObject *parent)
    : QObject(parent)
{
}

WorkspaceSearchController::~WorkspaceSearchController() = default;

void WorkspaceSearchController::setAnchorWindow(QWidget *window)
{
    m_anchor = window;
    if (m_panel)
        m_panel->setAnchorWindow(window);
}

void WorkspaceSearchController::show()
{
    const TabDocument *front = m_documentManager ? m_documentManager->selectedDocument() : nullptr;
    m_service.updateRoot(front ? front->fileURL() : QUrl());
    if (!m_panel) {
        m_panel = std::make_unique<FolderSearchPanel>(&m_service);
        m_panel->setAnchorWindow(m_anchor);
        // The line is not used: opening takes a file only, and the panel stays.
        connect(m_panel.get(), &FolderSearchPanel::openRequested, this,
                [this](const QUrl &url, int) { open(url); });
    }
    m_panel->present();
}

void WorkspaceSearchController::open(const QUrl &url)
{
    if (m_documentManager)
        m_documentManager->openFile(url);
}
