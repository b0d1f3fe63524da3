#pragma once

#include <QMainWindow>
#include <QPointer>

class DocumentManager;
class QPlainTextEdit;
class QTabBar;
class TabDocument;

// A plain window over the DocumentManager: a tab bar, a text editor and the File
// menu. It stands in until the full main window exists.
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
    void editorTextChanged();

    DocumentManager &m_manager;
    QTabBar *m_tabs = nullptr;
    QPlainTextEdit *m_editor = nullptr;
    QPointer<TabDocument> m_shown;
    bool m_updatingEditor = false;
    bool m_updatingTabs = false;
};
