#pragma once

#include <QMainWindow>
#include <QPointer>

#include <QHash>
#include <QUuid>

class DocumentManager;
class EditorView;
class QStackedWidget;
class QTabBar;
class TabDocument;

// A plain window over the DocumentManager: a tab bar, one editor per open document
// and the File menu. It stands in until the full main window exists.
class PlainDocumentWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit PlainDocumentWindow(DocumentManager &manager, QWidget *parent = nullptr);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus();
    void rebuildTabs();
    void showSelectedDocument();
    void refreshTabTitles();
    EditorView *editorFor(TabDocument *document);

    DocumentManager &m_manager;
    QTabBar *m_tabs = nullptr;
    QStackedWidget *m_editors = nullptr;
    QHash<QUuid, QPointer<EditorView>> m_editorById;
    bool m_updatingTabs = false;
    bool m_applyingEdit = false;
};
