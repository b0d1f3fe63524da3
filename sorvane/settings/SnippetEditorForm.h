#pragma once

#include "editor/snippets/Snippet.h"

#include <QWidget>

class QLineEdit;
class QPlainTextEdit;

// Edits one snippet's name, trigger and body for the Snippets tab. It keeps its own
// copy and hands the whole copy on after each edit the user makes; loading a
// snippet is not an edit.
class SnippetEditorForm : public QWidget
{
    Q_OBJECT
public:
    explicit SnippetEditorForm(QWidget *parent = nullptr);

    // Shows `snippet` without reporting an edit.
    void setSnippet(const Snippet &snippet);
    Snippet snippet() const { return m_snippet; }

    QLineEdit *nameField() const { return m_name; }
    QLineEdit *triggerField() const { return m_trigger; }
    QPlainTextEdit *bodyEditor() const { return m_body; }

Q_SIGNALS:
    // The whole edited snippet, after each user edit and on Return in a field.
    void edited(const Snippet &snippet);

protected:
    void changeEvent(QEvent *event) override;

private:
    void applyOutline();

    Snippet m_snippet;
    QLineEdit *m_name;
    QLineEdit *m_trigger;
    QPlainTextEdit *m_body;
    bool m_loading = false;
};
