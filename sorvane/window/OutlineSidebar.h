#pragma once

#include "render/MarkdownToHTML.h"

#include <QList>
#include <QString>
#include <QTimer>
#include <QUuid>
#include <QWidget>

class QLabel;
class QListWidget;

// The headings of one document in a narrow column beside its editor. The list is
// parsed at once when the sidebar is built and again 0.5 s after the last change
// of the text; clicking a heading sends the scroll request ("sorvane.scrollToRange")
// through EditorRequestHub so the document's editor puts its caret there.
class OutlineSidebar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int reparseDelayMs = 500;

    OutlineSidebar(const QUuid &documentID, const QString &text, QWidget *parent = nullptr);

    // The document's new text; the list follows after the pause.
    void setText(const QString &text);
    QList<OutlineEntry> items() const { return m_items; }
    bool isReparsePending() const { return m_reparse.isActive(); }
    QListWidget *list() const { return m_list; }

    // Sends the scroll request for the entry at `row`.
    void activate(int row);

    // The document's headings, less the heading-like lines inside code blocks
    // (fenced with ``` or ~~~, or indented), which the page does not show as headings.
    static QList<OutlineEntry> headings(const QString &text);

Q_SIGNALS:
    // A row was clicked; `occurrence` counts earlier entries with the same level and
    // title, so the page's element can be told from its twins.
    void headingActivated(const OutlineEntry &entry, int occurrence, int row);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void setItems(const QList<OutlineEntry> &items);
    void applyColors();

    QUuid m_documentID;
    QString m_text;
    QList<OutlineEntry> m_items;
    QTimer m_reparse;
    QLabel *m_header;
    QLabel *m_empty;
    QListWidget *m_list;
};
