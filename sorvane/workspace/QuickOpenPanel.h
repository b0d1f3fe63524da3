#pragma once

#include "FloatingPanel.h"

#include <QPointer>

class QLabel;
class QLineEdit;
class QListWidget;
class QStackedWidget;
class QuickOpenController;

// The Quick Open card: a search field over the rows of the controller, or a line saying
// the index is still gathering or nothing matches. Up and Down move the highlight,
// Return or a click opens a file, Escape hides the card. Made once and reused.
class QuickOpenPanel : public FloatingPanel
{
    Q_OBJECT
public:
    explicit QuickOpenPanel(QuickOpenController *controller, QWidget *parent = nullptr);

    // Clears the search, then shows the card centred and in front with the field focused.
    void showPanel();

    QLineEdit *searchField() const { return m_field; }
    QListWidget *resultList() const { return m_list; }
    // "Indexing..." or "No matches" while there are no rows.
    QLabel *emptyLabel() const { return m_emptyLabel; }
    QAction *clearAction() const { return m_clearAction; }

    static constexpr int panelWidth = 580;
    static constexpr int panelHeight = 420;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void rebuildRows();
    void followSelection();
    void updateGlyphs();

    QPointer<QuickOpenController> m_controller;
    QLabel *m_searchGlyph;
    QLineEdit *m_field;
    QAction *m_clearAction;
    QStackedWidget *m_stack;
    QListWidget *m_list;
    QLabel *m_emptyGlyph;
    QLabel *m_emptyLabel;
};
