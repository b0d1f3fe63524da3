#pragma once

#include "MarkdownHighlighter.h"
#include "documents/MarkdownFormatAction.h"
#include "platform/SettingsKeys.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QUuid>
#include <QWidget>

class DocumentManager;
class FindReplaceBar;
class SorvaneTextView;
class SpellingDecorator;
class VimModeController;

// The settings an editor starts with (the document pane's stored settings).
struct EditorViewConfiguration
{
    double fontSize = SettingsDefaults::fontSize;
    bool wordWrap = SettingsDefaults::wordWrap;
    bool spellCheck = SettingsDefaults::spellCheck;
    bool syntaxHighlight = SettingsDefaults::syntaxHighlight;
    bool vimModeEnabled = SettingsDefaults::vimModeEnabled;
    bool isEditable = true;
    QUrl baseURL; // folder of the document's file; empty for an unsaved document
};

// The editing surface of one open document: it wires the text view, its find bar,
// Markdown highlighting over the visible text, the spelling decorator and the
// formatter together and answers the requests EditorRequestHub carries for its
// document. It knows the document only by its id: edits leave as deltas through
// `userEdited`, outside replacements come in through `replaceText`. The document
// pane builds one per visible document.
class EditorView : public QWidget
{
    Q_OBJECT
public:
    using Configuration = EditorViewConfiguration;

    static constexpr int highlightDelayMs = 300;
    static constexpr int highlightMargin = 2000;
    // About the first screen of the widest window, and then some.
    static constexpr int firstScreenChars = 64 * 1024;

    EditorView(const QUuid &documentID, const QString &text, const Configuration &configuration = {},
               QWidget *parent = nullptr);
    ~EditorView() override;

    QUuid documentID() const { return m_documentID; }
    SorvaneTextView *textView() const { return m_textView; }
    FindReplaceBar *findBar() const { return m_findBar; }
    SpellingDecorator *spelling() const { return m_spelling; }

    // The exact text shown, line breaks as "\n". Reads the whole document: for checks,
    // not for every keystroke.
    QString text() const;
    // A long text is loaded in two steps: the first screen's worth before the editor
    // is painted, the rest just after (or as soon as the user acts on it).
    bool isLoading() const;
    void finishLoading();
    // Replaces the text from outside (revert, reload, restore) without reporting it as
    // a user edit. The undo history is cleared, so Undo never replays old edits onto
    // the new text; the selection is kept where it still fits.
    void replaceText(const QString &text);

    // Settings; each re-applies only when the value changes.
    void setFontSize(double points);
    double fontSize() const { return m_fontSize; }
    void setWordWrap(bool on);
    bool wordWrap() const { return m_wordWrap; }
    void setSpellCheck(bool on);
    bool spellCheck() const;
    void setSyntaxHighlight(bool on);
    bool syntaxHighlight() const { return m_syntaxHighlight; }
    void setVimModeEnabled(bool on);
    bool vimModeEnabled() const { return m_vimEnabled; }
    void setEditable(bool on);
    bool isEditable() const;
    void setBaseURL(const QUrl &folder);
    QUrl baseURL() const { return m_baseURL; }

    // Requests (also reachable through EditorRequestHub).
    void applyFormatting(MarkdownFormatAction action);
    void showFind(bool withReplace);
    // Selects nothing, puts the caret at `location`, brings the range into view and
    // flashes it briefly. A stale range is clamped to the text.
    void scrollToRange(int location, int length);

    // Highlighting over the visible range plus a margin.
    void scheduleHighlight();
    bool isHighlightPending() const { return m_highlightTimer.isActive(); }
    void applySyntaxHighlighting();
    MarkdownHighlighter::Colors highlightColors() const { return m_colors; }

    // The Markdown inserted for a dropped image file: relative to the base folder
    // when the file lies inside it, else the absolute path.
    QString imageLinkForDroppedFile(const QString &filePath) const;

    // Tab hook for snippets: true when the word before the caret was a trigger of
    // SnippetService::shared() and was replaced by its expanded body.
    bool tryExpandSnippet();
    // Turns the modal (Vim) layer on or off; it is made on first use and attaches
    // through SorvaneTextView::keyEventHandler.
    void configureVim(bool enabled);
    // Null until Vim mode was first turned on.
    VimModeController *vim() const { return m_vim; }
    // Where the ex commands (:w, :q) go; held weakly.
    void setDocumentManager(DocumentManager *manager);

Q_SIGNALS:
    // One user edit (typing, paste, drop, formatting, undo, redo) in UTF-16 units of the
    // text before the edit; `inserted` is exactly the new characters, "\n" line breaks.
    void userEdited(int position, int charsRemoved, const QString &inserted);

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void connectRequests();
    void onContentsChange(int position, int charsRemoved, int charsAdded);
    void setTextSilently(const QString &text);
    void applyFont();

    QUuid m_documentID;
    SorvaneTextView *m_textView;
    FindReplaceBar *m_findBar;
    SpellingDecorator *m_spelling;
    QTimer m_highlightTimer;
    QUrl m_baseURL;
    double m_fontSize;
    bool m_wordWrap;
    bool m_syntaxHighlight;
    bool m_vimEnabled = false;
    VimModeController *m_vim = nullptr;
    QPointer<DocumentManager> m_documentManager;
    bool m_silent = false;
    bool m_shownOnce = false;
    // The whole text given and where the part not yet loaded starts; -1 once loaded.
    QString m_pendingText;
    qsizetype m_pendingFrom = -1;
    bool m_finishQueued = false;
    int m_length = 0;
    int m_blockCount = 1;
    MarkdownHighlighter::Colors m_colors;
};
