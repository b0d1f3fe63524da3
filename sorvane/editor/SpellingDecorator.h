#pragma once

#include <QList>
#include <QObject>
#include <QTextLayout>
#include <QTimer>

class QMenu;
class QTextBlock;
class SorvaneTextView;

// Spell underlines over the visible lines of one text view and the spelling entries
// of its context menu (suggestions, Learn, Ignore), answered by SpellChecker. The
// underlines sit in the blocks' decorations beside the highlighting, which tells it
// where code is. EditorView attaches one per editor, forwards the "spellCheck"
// setting to it and calls `schedule` whenever the text or the visible range moves.
class SpellingDecorator : public QObject
{
    Q_OBJECT
public:
    static constexpr int checkDelayMs = 500;

    SpellingDecorator(SorvaneTextView *view, bool enabled, QObject *parent = nullptr);

    bool isEnabled() const { return m_enabled; }
    // On checks the visible lines at once; off removes every underline.
    void setEnabled(bool on);

    // Checks the visible lines after a pause; a new call restarts the pause.
    void schedule();
    bool isCheckPending() const { return m_timer.isActive(); }
    // Checks the visible lines now.
    void check();
    // Removes every underline, visible or not.
    void clear();

    // Puts the spelling entries for the misspelled word at `position`, if any,
    // at the top of `menu`.
    void addActions(QMenu *menu, int position);

    // The misspelled words of one line, as underline formats relative to the line.
    QList<QTextLayout::FormatRange> misspelledRanges(const QTextBlock &block) const;

private:
    SorvaneTextView *m_view;
    QTimer m_timer;
    bool m_enabled;
};
