#pragma once

#include "WorkspaceSearchService.h"
#include "documents/DocumentManager.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <memory>

class FolderSearchPanel;
class QWidget;

// The folder search as the menus reach it: owns the one search service and the panel
// (made on the first show() and kept), roots the search at the front document's folder
// each time it shows, and opens a clicked hit through the document manager.
class WorkspaceSearchController : public QObject
{
    Q_OBJECT
public:
    explicit WorkspaceSearchController(QObject *parent = nullptr);
    ~WorkspaceSearchController() override;

    WorkspaceSearchService &service() { return m_service; }
    // None before the first show().
    FolderSearchPanel *panel() const { return m_panel.get(); }

    // Held weakly; without one a hit opens nothing.
    void setDocumentManager(DocumentManager *manager) { m_documentManager = manager; }
    // The window whose screen the panel centres on (held weakly).
    void setAnchorWindow(QWidget *window);

    // Roots the search at the selected document's folder (kept for an untitled one or
    // none), then centres, raises and activates the panel. Starts no search.
    void show();

private:
    void open(const QUrl &url);

    WorkspaceSearchService m_service;
    std::unique_ptr<FolderSearchPanel> m_panel;
    QPointer<DocumentManager> m_documentManager;
    QPointer<QWidget> m_anchor;
};
