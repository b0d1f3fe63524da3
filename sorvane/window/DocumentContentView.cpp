#include "DocumentContentView.h"

#include "preview/AppearanceMode.h"
#include "preview/ThemeService.h"

#include "DocumentToolbar.h"
#include "OutlineSidebar.h"
#include "PaneSplitter.h"
#include "WindowStyle.h"
#include "diagnostics/CrashCapture.h"
#include "documents/DocumentManager.h"
#include "documents/EditorRequestHub.h"
#include "documents/TabDocument.h"
#include "editor/EditorView.h"
#include "editor/SorvaneTextView.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "preview/MarkdownPreview.h"
#include "render/MarkdownToHTML.h"

#include <QFrame>
#include <QFutureWatcher>
#include <QEvent>
#include <QHBoxLayout>
#include <QSplitter>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

DocumentContentView::RenderFunction &defaultRender()
{
    static DocumentContentView::RenderFunction render;
    return render;
}

PreviewTheme storedPreviewTheme()
{
    return previewThemeFromRawValue(
               Settings::shared().stringValue(SettingsKeys::previewTheme, SettingsDefaults::previewTheme))
        .value_or(PreviewTheme::Standard);
}

bool isWordSeparator(char32_t c)
{
    return QChar::isSpace(c) || (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Characters that continue the grapheme cluster before them.
bool extendsCluster(char32_t c)
{
    // No mark or joiner comes before U+0300; most text never asks the tables.
    if (c < 0x300)
        return false;
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return c == 0x200D || (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF);
    }
}

} // namespace

DocumentContentView::DocumentContentView(DocumentManager &manager, TabDocument *document, QWidget *parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_document(document)
    , m_toolbar(new DocumentToolbar(manager, this))
    , m_toolbarDivider(WindowStyle::divider(Qt::Horizontal, this))
    , m_outlineColumn(new QWidget(this))
    , m_splitter(new PaneSplitter(this))
    , m_render(defaultRender())
{
    Q_ASSERT(document);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    const Settings &settings = Settings::shared();

    EditorViewConfiguration configuration;
    configuration.fontSize = manager.currentFontSize();
    configuration.wordWrap = settings.boolValue(SettingsKeys::wordWrap, SettingsDefaults::wordWrap);
    configuration.spellCheck = settings.boolValue(SettingsKeys::spellCheck, SettingsDefaults::spellCheck);
    configuration.syntaxHighlight = settings.boolValue(SettingsKeys::syntaxHighlight, SettingsDefaults::syntaxHighlight);
    configuration.vimModeEnabled = settings.boolValue(SettingsKeys::vimModeEnabled, SettingsDefaults::vimModeEnabled);
    configuration.baseURL = document->baseURL();
    m_editor = new EditorView(document->id(), document->text(), configuration, m_splitter);
    m_editor->setDocumentManager(&manager);
    // Starting the web engine takes longer than everything else the window needs: the
    // preview takes this blank stand-in's place once the pane has been painted.
    m_previewSlot = new QWidget(m_splitter);
    m_previewSlot->setBackgroundRole(QPalette::Base);
    m_previewSlot->setAutoFillBackground(true);
    // The extra theme and the user's CSS reach the preview as they change; typed CSS
    // once typing pauses, since each change reloads the whole page.
    connect(&ThemeService::shared(), &ThemeService::extraCSSChanged, this, [this] {
        if (m_preview)
            m_preview->setExtraCSS(ThemeService::shared().extraCSS());
    });
    m_splitter->addWidget(m_editor);
    m_splitter->addWidget(m_previewSlot);

    auto *outlineLayout = new QHBoxLayout(m_outlineColumn);
    outlineLayout->setContentsMargins(0, 0, 0, 0);
    outlineLayout->setSpacing(0);
    m_outlineColumn->setFixedWidth(outlineWidth + 1);

    auto *content = new QHBoxLayout;
    content->setContentsMargins(0, 0, 0, 0);
    content->setSpacing(0);
    content->addWidget(m_outlineColumn);
    content->addWidget(m_splitter, 1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_toolbarDivider);
    layout->addLayout(content, 1);

    // Edits travel as deltas; the document's echo of them needs no round trip back.
    connect(m_editor, &EditorView::userEdited, this, [this](int position, int removed, const QString &inserted) {
        if (!m_document)
            return;
        m_applyingEdit = true;
        m_document->userEditedRange(position, removed, inserted);
        m_applyingEdit = false;
    });
    connect(document, &TabDocument::textChanged, this, &DocumentContentView::onDocumentTextChanged);
    connect(document, &TabDocument::fileURLChanged, this, [this] {
        if (!m_document)
            return;
        m_editor->setBaseURL(m_document->baseURL());
        if (m_preview)
            m_preview->setBaseURL(m_document->baseURL());
    });
    connect(&manager, &DocumentManager::findRequestTokenChanged, this, [this] { onRequest(false); });
    connect(&manager, &DocumentManager::replaceRequestTokenChanged, this, [this] { onRequest(true); });
    connect(&Settings::shared(), &Settings::valueChanged, this, &DocumentContentView::onSettingChanged);

    m_renderTimer.setSingleShot(true);
    m_renderTimer.setInterval(renderDelayMs);
    connect(&m_renderTimer, &QTimer::timeout, this, &DocumentContentView::startRender);
    m_wordCountTimer.setSingleShot(true);
    m_wordCountTimer.setInterval(wordCountDelayMs);
    connect(&m_wordCountTimer, &QTimer::timeout, this, [this] {
        if (!m_document)
            return;
        m_cachedWordCount = wordCount(m_document->text());
        m_toolbar->setWordCount(m_cachedWordCount);
    });

    m_toolbar->setVisible(!settings.distractionFree());
    m_toolbarDivider->setVisible(m_toolbar->isVisibleTo(this));
    applyViewMode();
    applyOutline();
    applyColorScheme();

    // A newly selected document is rendered at once, without the typing delay, but
    // on the worker like every other render: the window must not wait for it.
    startRender();
    m_cachedWordCount = wordCount(document->text());
    m_toolbar->setWordCount(m_cachedWordCount);
}

DocumentContentView::~DocumentContentView()
{
    if (m_abandonRunning)
        m_abandonRunning->store(true);
}

void DocumentContentView::setRenderFunction(RenderFunction render)
{
    m_render = std::move(render);
}

void DocumentContentView::setDefaultRenderFunction(RenderFunction render)
{
    defaultRender() = std::move(render);
}

void DocumentContentView::focusEditor()
{
    if (m_editor->isVisibleTo(this))
        m_editor->textView()->setFocus(Qt::OtherFocusReason);
}

ViewMode DocumentContentView::storedViewMode()
{
    return ::storedViewMode(Settings::shared());
}

void DocumentContentView::setStoredViewMode(ViewMode mode)
{
    storeViewMode(Settings::shared(), mode);
}

QString DocumentContentView::storedAppearance()
{
    return appearanceModeRawValue(storedAppearanceMode(Settings::shared()));
}

int DocumentContentView::wordCount(const QString &text)
{
    int count = 0;
    bool inWord = false;
    bool separator = true;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < size && text.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text.at(++i).unicode());
        // A mark after a space belongs to the space's character, so it separates too.
        if (!extendsCluster(c))
            separator = isWordSeparator(c);
        if (!separator && !inWord)
            ++count;
        inWord = !separator;
    }
    return count;
}

void DocumentContentView::onSettingChanged(const QString &key)
{
    namespace K = SettingsKeys;
    namespace D = SettingsDefaults;
    const Settings &settings = Settings::shared();
    if (key == K::preferredViewMode) {
        applyViewMode();
    } else if (key == K::showOutline) {
        applyOutline();
    } else if (key == K::distractionFree) {
        const bool visible = !settings.distractionFree();
        m_toolbar->setVisible(visible);
        m_toolbarDivider->setVisible(visible);
    } else if (key == K::fontSize) {
        const double size = m_manager.currentFontSize();
        m_editor->setFontSize(size);
        if (m_preview)
            m_preview->setFontSize(size);
    } else if (key == K::wordWrap) {
        m_editor->setWordWrap(settings.boolValue(key, D::wordWrap));
    } else if (key == K::spellCheck) {
        m_editor->setSpellCheck(settings.boolValue(key, D::spellCheck));
    } else if (key == K::syntaxHighlight) {
        m_editor->setSyntaxHighlight(settings.boolValue(key, D::syntaxHighlight));
    } else if (key == K::vimModeEnabled) {
        m_editor->setVimModeEnabled(settings.boolValue(key, D::vimModeEnabled));
    } else if (key == K::previewTheme) {
        if (m_preview)
            m_preview->setTheme(storedPreviewTheme());
    } else if (key == K::appearanceMode) {
        applyColorScheme();
    }
}

void DocumentContentView::onDocumentTextChanged()
{
    if (!m_document)
        return;
    const QString text = m_document->text();
    // Text replaced from outside (revert, reload) goes back into the editor.
    if (!m_applyingEdit)
        m_editor->replaceText(text);
    m_wordCountTimer.start();
    m_renderTimer.start();
    if (m_outline)
        m_outline->setText(text);
}

void DocumentContentView::startRender()
{
    if (!m_document)
        return;
    // Whatever is running now answers an older text.
    ++m_renderGeneration;
    if (m_abandonRunning)
        m_abandonRunning->store(true);
    Q_EMIT renderRequested();
    if (m_document->text().size() > previewSizeLimit) {
        m_renderWaiting = false;
        setRendering(false);
        setRenderedHTML(QString());
        setPreviewStatus(MarkdownPreview::Status::TooLarge);
        return;
    }
    setRendering(true);
    setPreviewStatus(MarkdownPreview::Status::Rendering);
    // One render at a time: a request during a run waits for it and then takes the
    // text as it is by then, so stale texts never pile up.
    if (m_renderRunning) {
        m_renderWaiting = true;
        return;
    }
    runRender();
}

void DocumentContentView::runRender()
{
    m_renderRunning = true;
    m_renderWaiting = false;
    const quint64 generation = m_renderGeneration;
    m_abandonRunning = std::make_shared<std::atomic<bool>>(false);
    // The result comes back through a watcher the pane owns: a pane that goes while
    // its render finishes takes the way back with it. (A continuation with the pane
    // as context would post to it from the worker, racing its deletion.)
    auto *watcher = new QFutureWatcher<QString>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, generation] {
        const QString html = watcher->result();
        watcher->deleteLater();
        m_renderRunning = false;
        m_abandonRunning.reset();
        // A render that finishes after a newer one was asked for is out of date: drop it.
        if (generation == m_renderGeneration) {
            setRenderedHTML(html);
            setRendering(false);
            setPreviewStatus(MarkdownPreview::Status::Current);
        } else if (m_renderWaiting && m_document) {
            runRender();
        }
    });
    // An outdated render (or one whose pane is gone) stops: before it starts, or inside
    // the converter, which keeps checking.
    watcher->setFuture(QtConcurrent::run([render = m_render, text = m_document->text(), abandon = m_abandonRunning] {
        // A pool thread: deep nesting in a document must still end in a crash record.
        CrashCapture::prepareThread();
        if (abandon->load())
            return QString();
        if (render)
            return render(text);
        return MarkdownToHTML::renderedBodyHTML(text, [&abandon] { return abandon->load(); }).value_or(QString());
    }));
}

void DocumentContentView::setRendering(bool rendering)
{
    if (rendering == m_rendering)
        return;
    m_rendering = rendering;
    Q_EMIT renderingChanged(rendering);
}

void DocumentContentView::setRenderedHTML(const QString &html)
{
    m_renderedHTML = html;
    m_hasRenderedHTML = true;
    if (m_preview)
        m_preview->setBodyHTML(html);
    Q_EMIT renderedHTMLChanged();
}

void DocumentContentView::applyViewMode()
{
    const ViewMode mode = storedViewMode();
    const bool split = mode == ViewMode::Split;
    m_editor->setVisible(mode != ViewMode::Preview);
    QWidget *preview = m_preview ? static_cast<QWidget *>(m_preview) : m_previewSlot;
    preview->setVisible(mode != ViewMode::Editor);
    m_editor->setMinimumWidth(split ? minimumSplitWidth : 0);
    preview->setMinimumWidth(split ? minimumSplitWidth : 0);
    if (split)
        m_splitter->applyShare();
}

void DocumentContentView::applyOutline()
{
    const bool show = Settings::shared().showOutline();
    m_outlineColumn->setVisible(show);
    if (show == (m_outline != nullptr))
        return;
    if (!show) {
        delete m_outline;
        m_outline = nullptr;
        qDeleteAll(m_outlineColumn->findChildren<QWidget *>(Qt::FindDirectChildrenOnly));
        return;
    }
    // A fresh sidebar parses the current text at once.
    m_outline = new OutlineSidebar(m_document ? m_document->id() : QUuid(), m_document ? m_document->text() : QString(),
                                   m_outlineColumn);
    m_outline->setFixedWidth(outlineWidth);
    // The editor gets its caret there in every layout; when only the page shows, the
    // page goes to the heading too.
    connect(m_outline, &OutlineSidebar::headingActivated, this,
            [this](const OutlineEntry &entry, int occurrence, int row) {
                if (storedViewMode() == ViewMode::Preview)
                    preview()->scrollToHeading(entry.level, entry.title, occurrence, row);
            });
    m_outlineColumn->layout()->addWidget(m_outline);
    m_outlineColumn->layout()->addWidget(WindowStyle::divider(Qt::Vertical, m_outlineColumn));
}

void DocumentContentView::applyColorScheme()
{
    // Palette changes arrive while the constructor is still building the children.
    if (!m_preview)
        return;
    m_preview->setColorScheme(resolvedColorScheme(storedAppearanceMode(Settings::shared()), palette()));
}

MarkdownPreview *DocumentContentView::preview()
{
    if (m_preview)
        return m_preview;
    m_preview = new MarkdownPreview;
    m_preview->setFontSize(m_manager.currentFontSize());
    m_preview->setTheme(storedPreviewTheme());
    m_preview->setExtraCSS(ThemeService::shared().extraCSS());
    if (m_document)
        m_preview->setBaseURL(m_document->baseURL());
    m_preview->setStatus(m_previewStatus);
    if (m_hasRenderedHTML)
        m_preview->setBodyHTML(m_renderedHTML);
    applyColorScheme();
    delete m_splitter->replaceWidget(m_splitter->indexOf(m_previewSlot), m_preview);
    m_previewSlot = nullptr;
    applyViewMode();
    return m_preview;
}

void DocumentContentView::setPreviewStatus(MarkdownPreview::Status status)
{
    m_previewStatus = status;
    if (m_preview)
        m_preview->setStatus(status);
}

void DocumentContentView::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    if (!m_preview && !m_previewQueued) {
        m_previewQueued = true;
        QTimer::singleShot(0, this, [this] { preview(); });
    }
}

void DocumentContentView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColorScheme();
}

void DocumentContentView::onRequest(bool replace)
{
    const auto request = replace ? m_manager.replaceRequestState() : m_manager.findRequestState();
    if (!request || !m_document || request->documentID != m_document->id())
        return;
    // The find bar lives in the editor: a preview-only layout makes room for it.
    if (storedViewMode() == ViewMode::Preview)
        setStoredViewMode(ViewMode::Editor);
    const QUuid id = m_document->id();
    QTimer::singleShot(0, this, [replace, id] {
        if (replace)
            EditorRequestHub::shared().requestReplace(id);
        else
            EditorRequestHub::shared().requestFind(id);
    });
}
