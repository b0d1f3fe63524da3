#pragma once

#include "WorkspaceSeam.h"

#include <QObject>
#include <QPointer>

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
};
