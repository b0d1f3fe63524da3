#pragma once

#include "ViewMode.h"
#include "documents/MarkdownFormatAction.h"

#include <QList>
#include <QPointer>
#include <QWidget>

class DocumentExportCommands;
class DocumentManager;
class GlyphButton;
class QLabel;
class QMenu;

// The row above a document: the view-mode switch, the formatting buttons (sent to
// the selected document's editor through DocumentManager), the workspace and outline toggles, the
// copy menu and the share button, the text size, the appearance switch and the word
// count. Apart from the short "Copied" feedback it keeps no state: every control
// reads and writes the stored settings, so all panes and menus agree.
class DocumentToolbar : public QWidget
{
    Q_OBJECT
public:
    static constexpr double minimumFontSize = 11.0;
    static constexpr double maximumFontSize = 24.0;
    static constexpr int copiedFlashMs = 1500;

    explicit DocumentToolbar(DocumentManager &manager, QWidget *parent = nullptr);

    void setWordCount(int count);
    // The copy and share commands; until set, those controls do nothing.
    void setExportCommands(DocumentExportCommands *commands);

    GlyphButton *viewModeButton(ViewMode mode) const;
    // In the order of the row.
    QList<GlyphButton *> formattingButtons() const { return m_formatButtons; }
    QWidget *formattingGroup() const { return m_formatting; }
    GlyphButton *outlineButton() const { return m_outline; }
    // The AI workspace toggle; shown once the workspace exists.
    void setWorkspaceToggleShown(bool shown);
    GlyphButton *workspaceButton() const { return m_workspace; }
    GlyphButton *decreaseButton() const { return m_decrease; }
    GlyphButton *increaseButton() const { return m_increase; }
    QLabel *fontSizeLabel() const { return m_sizeLabel; }
    // Auto, Light, Dark.
    QList<GlyphButton *> appearanceButtons() const { return m_appearance; }
    QLabel *wordCountLabel() const { return m_wordCount; }
    GlyphButton *copyButton() const { return m_copy; }
    // "Copy as Rich Text", "Copy as HTML".
    QMenu *copyMenu() const { return m_copyMenu; }
    GlyphButton *shareButton() const { return m_share; }
    // "Copied" shows for a moment after each copy.
    bool isShowingCopied() const { return m_showCopied; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refresh(const QString &key);
    void applyColors();
    GlyphButton *addFormatButton(GlyphButton *button, MarkdownFormatAction action, const QString &tooltip);
    void copy(bool richText);
    void flashCopied();
    void setShowCopied(bool on);

    DocumentManager &m_manager;
    QList<GlyphButton *> m_viewModes;
    QWidget *m_formatting;
    QList<GlyphButton *> m_formatButtons;
    GlyphButton *m_workspace;
    GlyphButton *m_outline;
    GlyphButton *m_decrease;
    GlyphButton *m_increase;
    QLabel *m_sizeLabel;
    QList<GlyphButton *> m_appearance;
    QLabel *m_wordCount;
    GlyphButton *m_copy;
    QMenu *m_copyMenu;
    GlyphButton *m_share;
    QPointer<DocumentExportCommands> m_exports;
    bool m_showCopied = false;
};
