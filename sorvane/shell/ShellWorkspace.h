#pragma once

#include "WorkspaceSeam.h"

#include <QObject>
#include <QPointer>

#include <memory>

class WorkspaceSearchController;

// The workspace navigators behind the start-up seam: the AI workspace and its sidebar,
// the folder-search panel and Quick Open. main() owns one for the process.
class ShellWorkspace : public QObject, public WorkspaceSeam
{
    Q_OBJECT
public:
    explicit ShellWorkspace(QObject *parent = nullptr);
    ~ShellWorkspace() override;

    void attachDocumentManager(DocumentManager *manager) override;
    void attachMainWindow(MainWindow *window) override;
    bool exists() const override;
    void showQuickOpen() override;
    void showFolderSearch() override;

    // The folder search, made with the workspace and kept for the process.
    WorkspaceSearchController &folderSearch() const { return *m_folderSearch; }

private:
    QPointer<MainWindow> m_window;
    QPointer<DocumentManager> m_manager;
    std::unique_ptr<WorkspaceSearchController> m_folderSearch;
};
