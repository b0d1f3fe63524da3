#pragma once

#include <QList>
#include <QWidget>

class DocumentManager;
class GlyphButton;
class QHBoxLayout;
class QScrollArea;
class TabItemView;

// The strip of tabs over the document column: one tab per open document in the
// manager's order, scrolling sideways when they do not fit, and the New Tab button
// fixed at the right end. All state lives in DocumentManager; the order of the
// tabs is the order of its documents (no drag-to-reorder).
class TabBar : public QWidget
{
    Q_OBJECT
public:
    explicit TabBar(DocumentManager &manager, QWidget *parent = nullptr);

    QList<TabItemView *> tabs() const { return m_tabs; }
    GlyphButton *newTabButton() const { return m_newTab; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void rebuild();
    void updateSelection();

    DocumentManager &m_manager;
    QScrollArea *m_scroll;
    QWidget *m_strip;
    QHBoxLayout *m_stripLayout;
    GlyphButton *m_newTab;
    QList<TabItemView *> m_tabs;
};
