#pragma once

#include <QHash>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class DocumentManager;
class EditorView;
class QStackedWidget;
class QTabBar;
class TabDocument;

// The main window's content: a tab bar over the selected document's editor. Keeps its
// own windowTitle in step with the selected document ("sorv.ane" without one; the
// document's title, with " — Edited" while modified); the window mirrors it.
class MainView : public QWidget
{
    Q_OBJECT
public:
    explicit MainView(DocumentManager &manager, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void rebuildTabs();
    void showSelectedDocument();
    void refreshTitles();
    void applyChrome();
    EditorView *editorFor(TabDocument *document);

    DocumentManager &m_manager;
    QTabBar *m_tabs = nullptr;
    QStackedWidget *m_editors = nullptr;
    QHash<QUuid, QPointer<EditorView>> m_editorById;
    bool m_updatingTabs = false;
    bool m_applyingEdit = false;
};
