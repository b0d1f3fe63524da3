#pragma once

#include "editor/snippets/Snippet.h"

#include <QUuid>
#include <QWidget>

#include <optional>

class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;
class QToolButton;
class SnippetEditorForm;
class SnippetService;


// The settings window's "Snippets" tab: the library as a list of name over trigger,
// buttons to add, delete and restore the starters, and a form for the selected
// snippet. It keeps no data of its own; every change goes to the service, which
// saves it. Opening the tab again starts with nothing selected.
class SnippetsTab : public QWidget
{
    Q_OBJECT
public:
    explicit SnippetsTab(SnippetService &service, QWidget *parent = nullptr);

    std::optional<QUuid> selectedID() const { return m_selectedID; }
    // The selected snippet while it is still in the library.
    std::optional<Snippet> selectedSnippet() const;

    QListWidget *list() const { return m_list; }
    QToolButton *addButton() const { return m_add; }
    QToolButton *deleteButton() const { return m_delete; }
    QPushButton *resetButton() const { return m_reset; }
    SnippetEditorForm *form() const { return m_form; }
    // True while the editor pane shows "Select a snippet".
    bool isShowingPlaceholder() const;

private:
    void addSnippet();
    void deleteSelected();
    void select(const std::optional<QUuid> &id);
    void showSnippets();
    void showSelection();

    SnippetService &m_service;
    std::optional<QUuid> m_selectedID;
    QListWidget *m_list;
    QToolButton *m_add;
    QToolButton *m_delete;
    QPushButton *m_reset;
    QStackedWidget *m_editorPane;
    QLabel *m_placeholder;
    SnippetEditorForm *m_form;
};
