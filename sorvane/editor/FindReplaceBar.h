#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;
class QPushButton;

// The find and replace strip under an editor: incremental find as the user types,
// next and previous with wrap-around, a match-case switch, replace and replace all
// (one undo step). Escape closes it and hands the focus back to the text.
class FindReplaceBar : public QWidget
{
    Q_OBJECT
public:
    explicit FindReplaceBar(QPlainTextEdit *editor, QWidget *parent = nullptr);

    // Shows the bar (with the replace row when asked), seeded with a one-line selection.
    void open(bool withReplace);
    void close();

    QLineEdit *findField() const { return m_findField; }
    QLineEdit *replaceField() const { return m_replaceField; }
    QCheckBox *matchCaseBox() const { return m_matchCase; }
    bool isReplaceShown() const;

    bool findNext();
    bool findPrevious();
    // Replaces the current match (when the selection is one) and moves to the next.
    bool replaceCurrent();
    // Replaces every match as one undoable edit; returns how many.
    int replaceAll();

Q_SIGNALS:
    void closed();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool find(int from, bool backward);
    bool selectionIsMatch() const;
    void showResult(bool found);

    QPlainTextEdit *m_editor;
    QLineEdit *m_findField;
    QLineEdit *m_replaceField;
    QCheckBox *m_matchCase;
    QLabel *m_status;
    QWidget *m_replaceRow;
};
