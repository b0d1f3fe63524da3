#pragma once

#include <QList>
#include <QPointer>
#include <QUrl>
#include <QWidget>

class DocumentManager;
class WorkspaceRootFolder;
class QLabel;
class QPushButton;
class QVBoxLayout;

// What the document column shows while no document is selected: the brand mark, a
// greeting, Open File and New Document, up to five recent files, and a drop target
// for files from the file manager (each dropped URL goes to DocumentManager::openFile,
// which decides what it can open and reports what it cannot).
class EmptyStateView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int maximumRecentRows = 5;

    explicit EmptyStateView(DocumentManager &manager, QWidget *parent = nullptr);

    bool isDropTargeted() const { return m_dropTargeted; }
    QPushButton *openFileButton() const { return m_openFile; }
    QPushButton *newDocumentButton() const { return m_newDocument; }
    // The AI workspace button: hidden until the shell hands over the workspace's
    // root folder (held weakly), then "Set AI Working Directory…" or "Show AI Workspace".
    void setWorkspaceRootFolder(WorkspaceRootFolder *rootFolder);
    QPushButton *workspaceButton() const { return m_workspace; }
    // The rows shown under "Recent Files", in order.
    QList<QUrl> shownRecentFiles() const { return m_shownRecent; }
    QWidget *recentSection() const { return m_recentSection; }

    // The folder line of a recent-file row: the path of the folder holding the file.
    static QString folderLine(const QUrl &url);

protected:
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void rebuildRecent();
    void setDropTargeted(bool on);
    void applyColors();
    void updateWorkspaceButton();
    void openWorkspace();

    DocumentManager &m_manager;
    QPushButton *m_openFile;
    QPushButton *m_newDocument;
    QPushButton *m_workspace;
    QPointer<WorkspaceRootFolder> m_rootFolder;
    QWidget *m_recentSection;
    QVBoxLayout *m_recentRows;
    QList<QUrl> m_shownRecent;
    QList<QLabel *> m_secondaryLabels;
    bool m_dropTargeted = false;
};
