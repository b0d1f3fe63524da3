#pragma once

#include "WorkspaceSeam.h"

#include <QObject>
#include <QPointer>

class HomeIndex;
class QuickOpenController;
class QuickOpenPanel;

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

private:
    QPointer<MainWindow> m_window;
    QPointer<DocumentManager> m_manager;
    // Quick Open: made by its first command, the index running from then on.
    HomeIndex *m_homeIndex = nullptr;
    QuickOpenController *m_quickOpen = nullptr;
    QPointer<QuickOpenPanel> m_quickOpenPanel;
};
