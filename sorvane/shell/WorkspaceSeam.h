#pragma once

class DocumentManager;
class MainWindow;

// What start-up and the menus need of the workspace navigators (AI workspace, folder
// search, Quick Open). Does nothing until the workspace is built; its issue fills it
// in. While exists() is false the menus leave out the workspace's commands.
class WorkspaceSeam
{
public:
    virtual ~WorkspaceSeam() = default;
    // After launch: the folder search opens its hits through this manager (held weakly).
    virtual void attachDocumentManager(DocumentManager *manager) { (void)manager; }
    // Once the main window is made, before it shows: the sidebar goes into its view and
    // the floating panels centre on its screen.
    virtual void attachMainWindow(MainWindow *window) { (void)window; }
    // True once the navigators stand behind this seam.
    virtual bool exists() const { return false; }
    // The floating Quick Open panel, cleared and in front.
    virtual void showQuickOpen() {}
    // The floating folder-search panel, rooted at the selected document's folder.
    virtual void showFolderSearch() {}
};
