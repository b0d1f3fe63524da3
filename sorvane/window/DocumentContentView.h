#pragma once

#include "ViewMode.h"
#include "documents/TabDocument.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

class DocumentManager;
class DocumentToolbar;
class EditorView;
class MarkdownPreview;
class OutlineSidebar;
class PaneSplitter;

// The pane of one open document: its toolbar, the outline when switched on, and the
// editor, the preview or both side by side as the stored view mode says. It keeps the
// preview and the word count current while the user types (rendering on a worker
// thread 0.35 s after the last change, counting 0.5 s after it) and turns the
// manager's find and replace requests for its own document into editor requests.
// MainView builds a fresh pane whenever another tab is selected.
class DocumentContentView : public QWidget
{
    Q_OBJECT
public:
    static constexpr int renderDelayMs = 350;
    static constexpr int wordCountDelayMs = 500;
    static constexpr int outlineWidth = 220;
    static constexpr int minimumSplitWidth = 300;

    using RenderFunction = std::function<QString(const QString &markdown)>;

    DocumentContentView(DocumentManager &manager, TabDocument *document, QWidget *parent = nullptr);
    ~DocumentContentView() override;

    TabDocument *document() const { return m_document; }
    EditorView *editor() const { return m_editor; }
    MarkdownPreview *preview() const { return m_preview; }
    DocumentToolbar *toolbar() const { return m_toolbar; }
    OutlineSidebar *outline() const { return m_outline; }
    PaneSplitter *splitter() const { return m_splitter; }

    // Puts the caret in the editor when the layout shows one; the preview-only layout
    // leaves the focus where it is.
    void focusEditor();

    // The body HTML last handed to the preview and the word count the toolbar shows.
    QString renderedHTML() const { return m_renderedHTML; }
    int cachedWordCount() const { return m_cachedWordCount; }
    // The conversion the worker runs; MarkdownToHTML::renderedBodyHTML unless replaced
    // (tests count and hold renders with it). Must be safe to call from any thread.
    void setRenderFunction(RenderFunction render);

    // The stored "preferredViewMode": "Preview" and "Editor" as named, anything else
    // (including "Split") the split layout.
    static ViewMode storedViewMode();
    static void setStoredViewMode(ViewMode mode);
    // The stored "appearanceMode" raw value; anything but "Light" and "Dark" reads "Auto".
    static QString storedAppearance();
    // Words: maximal runs of characters that are neither whitespace nor line breaks.
    static int wordCount(const QString &text);

Q_SIGNALS:
    // After each result the preview received (first render included).
    void renderedHTMLChanged();

protected:
    void changeEvent(QEvent *event) override;

private:
    void onSettingChanged(const QString &key);
    void onDocumentTextChanged();
    void onRequest(bool replace);
    void startRender();
    void applyViewMode();
    void applyOutline();
    void applyColorScheme();
    void setRenderedHTML(const QString &html);

    DocumentManager &m_manager;
    QPointer<TabDocument> m_document;
    DocumentToolbar *m_toolbar;
    QWidget *m_toolbarDivider;
    QWidget *m_outlineColumn;
    OutlineSidebar *m_outline = nullptr;
    PaneSplitter *m_splitter = nullptr;
    EditorView *m_editor = nullptr;
    MarkdownPreview *m_preview = nullptr;

    RenderFunction m_render;
    QString m_renderedHTML;
    int m_cachedWordCount = 0;
    QTimer m_renderTimer;
    QTimer m_wordCountTimer;
    quint64 m_renderGeneration = 0;
    bool m_applyingEdit = false;
};
