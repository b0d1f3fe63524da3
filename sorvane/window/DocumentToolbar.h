#pragma once

#include "ViewMode.h"
#include "documents/MarkdownFormatAction.h"

#include <QList>
#include <QWidget>

class DocumentManager;
class GlyphButton;
class QLabel;

// The row above a document: the view-mode switch, the formatting buttons (sent to
// the selected document's editor through DocumentManager), the outline toggle, the
// text size, the appearance switch and the word count. It keeps no state: every
// control reads and writes the stored settings, so all panes and menus agree.
class DocumentToolbar : public QWidget
{
    Q_OBJECT
public:
    static constexpr double minimumFontSize = 11.0;
    static constexpr double maximumFontSize = 24.0;

    explicit DocumentToolbar(DocumentManager &manager, QWidget *parent = nullptr);

    void setWordCount(int count);

    GlyphButton *viewModeButton(ViewMode mode) const;
    // In the order of the row.
    QList<GlyphButton *> formattingButtons() const { return m_formatButtons; }
    QWidget *formattingGroup() const { return m_formatting; }
    GlyphButton *outlineButton() const { return m_outline; }
    GlyphButton *decreaseButton() const { return m_decrease; }
    GlyphButton *increaseButton() const { return m_increase; }
    QLabel *fontSizeLabel() const { return m_sizeLabel; }
    // Auto, Light, Dark.
    QList<GlyphButton *> appearanceButtons() const { return m_appearance; }
    QLabel *wordCountLabel() const { return m_wordCount; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh(const QString &key);
    void applyColors();
    GlyphButton *addFormatButton(GlyphButton *button, MarkdownFormatAction action, const QString &tooltip);

    DocumentManager &m_manager;
    QList<GlyphButton *> m_viewModes;
    QWidget *m_formatting;
    QList<GlyphButton *> m_formatButtons;
    GlyphButton *m_outline;
    GlyphButton *m_decrease;
    GlyphButton *m_increase;
    QLabel *m_sizeLabel;
    QList<GlyphButton *> m_appearance;
    QLabel *m_wordCount;
};
