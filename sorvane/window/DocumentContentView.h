#pragma once

#include "ViewMode.h"
#include "documents/TabDocument.h"
#include "preview/MarkdownPreview.h"

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>

class DocumentManager;
class DocumentToolbar;
class EditorView;
class OutlineSidebar;
class PaneSplitter;

// The pane of one open document: its toolbar, the outline when switched on, and the
// editor, the preview or both side by side as the stored view mode says. It keeps the
// preview and the word count current while the user types (rendering on a worker
// thread 0.35 s after the last change, counting 0.5 s after it) and turns the
// manager's find and replace requests for its own document into editor requests.
// MainView builds a fresh pane whenever another tab is selected.
//
// Renders never run on the window thread, the first one included: a new pane shows
// its text at once and the preview follows. At most one render runs and one waits;
// a newer request makes the running one's result worthless.
class DocumentContentView : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool rendering READ isRendering NOTIFY renderingChanged)
public:
    static constexpr int renderDelayMs = 350;
    static constexpr int wordCountDelayMs = 500;
    static constexpr int outlineWidth = 220;
    static constexpr int minimumSplitWidth = 300;
    // Texts longer than this (UTF-16 units) are not previewed. The converter's time
    // grows faster than the text on a single long paragraph (10 MB: 4 s, 50 MB: over
    // 10 minutes), and a preview page of that size is too slow to scroll anyway.
    static constexpr qsizetype previewSizeLimit = 12 * 1024 * 1024;

    using RenderFunction = std::function<QString(const QString &markdown)>;

    DocumentContentView(DocumentManager &manager, TabDocument *document, QWidget *parent = nullptr);
    ~DocumentContentView() override;

    TabDocument *document() const { return m_document; }
    EditorView *editor() const { return m_editor; }
    // Made once the pane has been painted, or at once when asked for before.
    MarkdownPreview *preview();
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
    // The conversion panes made from now on start with; an empty function restores
    // the converter. Lets tests hold a pane's first render.
    static void setDefaultRenderFunction(RenderFunction render);

    // A render is asked for or running and its result not shown yet.
    bool isRendering() const { return m_rendering; }

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
    void renderingChanged(bool rendering);
    // The typing pause ended (or the pane was made) and the current text was asked for.
    void renderRequested();

protected:
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void onSettingChanged(const QString &key);
    void onDocumentTextChanged();
    void onRequest(bool replace);
    void startRender();
    void runRender();
    void setRendering(bool rendering);
    void applyViewMode();
    void applyOutline();
    void applyColorScheme();
    void setRenderedHTML(const QString &html);
    void setPreviewStatus(MarkdownPreview::Status status);

    DocumentManager &m_manager;
    QPointer<TabDocument> m_document;
    DocumentToolbar *m_toolbar;
    QWidget *m_toolbarDivider;
    QWidget *m_outlineColumn;
    OutlineSidebar *m_outline = nullptr;
    PaneSplitter *m_splitter = nullptr;
    EditorView *m_editor = nullptr;
    MarkdownPreview *m_preview = nullptr;
    QWidget *m_previewSlot = nullptr;
    bool m_previewQueued = false;
    MarkdownPreview::Status m_previewStatus = MarkdownPreview::Status::Current;

    RenderFunction m_render;
    QString m_renderedHTML;
    bool m_hasRenderedHTML = false;
    int m_cachedWordCount = 0;
    QTimer m_renderTimer;
    QTimer m_wordCountTimer;
    quint64 m_renderGeneration = 0;
    bool m_renderRunning = false;
    bool m_renderWaiting = false;
    bool m_rendering = false;
    // Set when the running render's text is out of date, which stops it.
    std::shared_ptr<std::atomic<bool>> m_abandonRunning;
    bool m_applyingEdit = false;
};
