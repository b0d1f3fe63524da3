#include "EditorView.h"

#include "BlockDecorations.h"
#include "DocumentText.h"
#include "FindReplaceBar.h"
#include "MarkdownFormatter.h"
#include "SorvaneTextView.h"
#include "SpellingDecorator.h"
#include "snippets/SnippetService.h"
#include "vim/VimModeController.h"

#include "documents/DocumentManager.h"
#include "documents/EditorRequestHub.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPointer>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace {
// The text as the document will hold it: every break the widget starts a new block at
// becomes "\n", so that a tail not yet loaded reads as it will once it is.
QString asBlockText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar &c : text) {
        if (c == u'\r' || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) || c == QChar(0xFDD1))
            c = u'\n';
    }
    return text;
}
} // namespace

EditorView::EditorView(const QUuid &documentID, const QString &text, const Configuration &configuration,
                       QWidget *parent)
    : QWidget(parent)
    , m_documentID(documentID)
    , m_textView(new SorvaneTextView(this))
    , m_findBar(new FindReplaceBar(m_textView, this))
    , m_spelling(new SpellingDecorator(m_textView, configuration.spellCheck, this))
    , m_baseURL(configuration.baseURL)
    , m_fontSize(configuration.fontSize)
    , m_wordWrap(configuration.wordWrap)
    , m_syntaxHighlight(configuration.syntaxHighlight)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_textView, 1);
    layout->addWidget(m_findBar);

    m_textView->setFrameShape(QFrame::NoFrame);
    m_textView->setTabChangesFocus(false);
    m_textView->setUndoRedoEnabled(true);
    m_textView->document()->setDocumentMargin(20);
    m_textView->setLineWrapMode(m_wordWrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    m_textView->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_textView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    applyFont();
    setEditable(configuration.isEditable);
    m_colors = MarkdownHighlighter::Colors::forPalette(palette());

    m_textView->imageDropHandler = [this](const QString &path) { return imageLinkForDroppedFile(path); };
    QPointer<EditorView> self(this);
    m_textView->tabExpansionHandler = [self] { return self && self->tryExpandSnippet(); };
    m_textView->contextMenuHandler = [this](QMenu *menu, int position) { m_spelling->addActions(menu, position); };

    // A long text's first screen goes in now and the rest once the editor has been
    // painted: a QTextDocument takes a second or more to take in ten megabytes.
    const qsizetype cut = text.size() > 2 * firstScreenChars ? text.indexOf(QLatin1Char('\n'), firstScreenChars) : -1;
    if (cut >= 0 && cut + 1 < text.size()) {
        setTextSilently(text.left(cut + 1));
        // Shared, not copied: the rest is cut out only when it goes in.
        m_pendingText = text;
        m_pendingFrom = cut + 1;
        // Nothing paints a hidden editor: its text is completed at once.
        QTimer::singleShot(0, this, [this] {
            if (!m_textView->viewport()->isVisible())
                finishLoading();
        });
    } else {
        setTextSilently(text);
    }
    connect(m_textView->document(), &QTextDocument::contentsChange, this, &EditorView::onContentsChange);

    m_highlightTimer.setSingleShot(true);
    m_highlightTimer.setInterval(highlightDelayMs);
    connect(&m_highlightTimer, &QTimer::timeout, this, &EditorView::applySyntaxHighlighting);

    const auto scrolled = [this] {
        scheduleHighlight();
        m_spelling->schedule();
    };
    connect(m_textView->verticalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
    connect(m_textView->horizontalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
    m_textView->viewport()->installEventFilter(this);
    m_textView->installEventFilter(this);

    connectRequests();

    if (configuration.vimModeEnabled)
        configureVim(true);
}

EditorView::~EditorView() = default;

// ---------------------------------------------------------------- text in and out

QString EditorView::text() const
{
    if (m_pendingFrom < 0)
        return DocumentText::whole(m_textView->document());
    return DocumentText::whole(m_textView->document()) + asBlockText(m_pendingText.mid(m_pendingFrom));
}

bool EditorView::isLoading() const
{
    return m_pendingFrom >= 0;
}

void EditorView::finishLoading()
{
    if (m_pendingFrom < 0)
        return;
    QTextDocument *document = m_textView->document();
    // Part of the loading, not an edit: no undo step, no change reported.
    const bool undo = document->isUndoRedoEnabled();
    const bool modified = document->isModified();
    m_silent = true;
    document->setUndoRedoEnabled(false);
    QTextCursor end(document);
    end.movePosition(QTextCursor::End);
    end.insertText(m_pendingText.mid(m_pendingFrom));
    document->setUndoRedoEnabled(undo);
    document->setModified(modified);
    m_silent = false;
    m_pendingText.clear();
    m_pendingFrom = -1;
    m_length = DocumentText::length(document);
    m_blockCount = document->blockCount();
    scheduleHighlight();
    m_spelling->schedule();
}

void EditorView::setTextSilently(const QString &text)
{
    m_pendingText.clear();
    m_pendingFrom = -1;
    m_silent = true;
    m_textView->setPlainText(text);
    m_silent = false;
    m_length = DocumentText::length(m_textView->document());
    m_blockCount = m_textView->document()->blockCount();
}

void EditorView::replaceText(const QString &newText)
{
    if (newText.size() == m_length && text() == newText)
        return;
    const QTextCursor old = m_textView->textCursor();
    const int location = old.selectionStart();
    const int length = old.selectionEnd() - location;
    const bool caretAtStart = old.position() < old.anchor();
    const int vertical = m_textView->verticalScrollBar()->value();
    const int horizontal = m_textView->horizontalScrollBar()->value();

    // setPlainText starts a fresh undo history: old edit ranges never meet the new text.
    setTextSilently(newText);

    if (location <= m_length) {
        const int kept = std::min(length, m_length - location);
        QTextCursor cursor(m_textView->document());
        cursor.setPosition(caretAtStart ? location + kept : location);
        cursor.setPosition(caretAtStart ? location : location + kept, QTextCursor::KeepAnchor);
        m_textView->setTextCursor(cursor);
    }
    m_textView->verticalScrollBar()->setValue(vertical);
    m_textView->horizontalScrollBar()->setValue(horizontal);
    if (m_syntaxHighlight)
        applySyntaxHighlighting();
    m_spelling->schedule();
}

void EditorView::onContentsChange(int position, int charsRemoved, int charsAdded)
{
    QTextDocument *document = m_textView->document();
    const int oldLength = m_length;
    const int newLength = DocumentText::length(document);
    m_length = newLength;
    if (m_silent)
        return;

    // The widget may count the implicit last block break into the range; cut it off.
    const int overshoot = std::max(position + charsRemoved - oldLength, position + charsAdded - newLength);
    if (overshoot > 0) {
        charsRemoved -= overshoot;
        charsAdded -= overshoot;
    }
    BlockDecorations::shift(document, m_blockCount, position, charsRemoved, charsAdded);
    m_blockCount = document->blockCount();

    if (position < 0 || charsRemoved < 0 || charsAdded < 0 || oldLength - charsRemoved + charsAdded != newLength) {
        // A report that does not add up: hand over the whole text rather than a wrong delta
        // (what is loaded of it: a tail still to come is the same on both sides).
        Q_EMIT userEdited(0, oldLength, DocumentText::whole(document));
    } else if (charsRemoved > 0 || charsAdded > 0) {
        Q_EMIT userEdited(position, charsRemoved, DocumentText::between(document, position, position + charsAdded));
    }
    scheduleHighlight();
    m_spelling->schedule();
}

// ---------------------------------------------------------------- settings

void EditorView::applyFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Sizes are given in the logical pixels of the preview; 0.75 turns them into points at 96 dpi.
    font.setPointSizeF(std::max(1.0, m_fontSize) * 0.75);
    font.setWeight(QFont::Normal);
    m_textView->setFont(font);
    m_textView->setTabStopDistance(QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')) * 4);
}

void EditorView::setFontSize(double points)
{
    if (points == m_fontSize)
        return;
    m_fontSize = points;
    applyFont();
    if (m_syntaxHighlight)
        applySyntaxHighlighting();
}

void EditorView::setWordWrap(bool on)
{
    if (on == m_wordWrap)
        return;
    m_wordWrap = on;
    m_textView->setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    scheduleHighlight();
}

void EditorView::setSpellCheck(bool on)
{
    m_spelling->setEnabled(on);
}

bool EditorView::spellCheck() const
{
    return m_spelling->isEnabled();
}

void EditorView::setSyntaxHighlight(bool on)
{
    if (on == m_syntaxHighlight)
        return;
    m_syntaxHighlight = on;
    if (on)
        applySyntaxHighlighting();
    else
        m_highlightTimer.stop();
}

void EditorView::setVimModeEnabled(bool on)
{
    if (on != m_vimEnabled)
        configureVim(on);
}

void EditorView::configureVim(bool enabled)
{
    m_vimEnabled = enabled;
    if (!m_vim) {
        if (!enabled)
            return;
        m_vim = new VimModeController(this);
        m_vim->setTextView(m_textView);
        QPointer<VimModeController> vim(m_vim);
        m_textView->keyEventHandler = [vim](QKeyEvent *event) { return vim && vim->handleKeyEvent(event); };
    }
    m_vim->setDocumentManager(m_documentManager);
    m_vim->setEnabled(enabled);
}

void EditorView::setDocumentManager(DocumentManager *manager)
{
    m_documentManager = manager;
    if (m_vim)
        m_vim->setDocumentManager(manager);
}

void EditorView::setEditable(bool on)
{
    m_textView->setReadOnly(!on);
    m_textView->setTextInteractionFlags(on ? Qt::TextEditorInteraction : Qt::NoTextInteraction);
}

bool EditorView::isEditable() const
{
    return !m_textView->isReadOnly();
}

void EditorView::setBaseURL(const QUrl &folder)
{
    m_baseURL = folder;
}

bool EditorView::tryExpandSnippet()
{
    // A cursor edit would get past the read-only flag, which only stops typing.
    if (!m_textView || m_textView->isReadOnly())
        return false;
    QTextCursor cursor = m_textView->textCursor();
    const int caret = cursor.selectionStart();
    if (caret == 0)
        return false;
    // A trigger never spans a line break, so the caret's block is all there is to read.
    const QTextBlock block = m_textView->document()->findBlock(caret);
    const QString line = block.text();
    const int inBlock = caret - block.position();
    int from = inBlock;
    while (from > 0 && !line.at(from - 1).isSpace())
        --from;
    if (from == inBlock)
        return false;
    const auto snippet = SnippetService::shared().find(line.mid(from, inBlock - from));
    if (!snippet)
        return false;

    const Snippet::Expansion expansion = snippet->expand(QDateTime::currentDateTime());
    const int start = block.position() + from;
    // One edit, so one Undo brings the trigger back; it reaches the document as typing does.
    cursor.beginEditBlock();
    cursor.setPosition(start);
    cursor.setPosition(caret, QTextCursor::KeepAnchor);
    cursor.insertText(expansion.text);
    cursor.endEditBlock();
    cursor.setPosition(start + expansion.cursorOffset);
    m_textView->setTextCursor(cursor);
    return true;
}

QString EditorView::imageLinkForDroppedFile(const QString &filePath) const
{
    const QString name = QFileInfo(filePath).completeBaseName();
    if (m_baseURL.isLocalFile()) {
        QString folder = m_baseURL.toLocalFile();
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        if (filePath.startsWith(folder) && filePath.size() > folder.size())
            return SorvaneTextView::imageLink(name, filePath.mid(folder.size()));
    }
    return SorvaneTextView::imageLink(name, filePath);
}

// ---------------------------------------------------------------- requests

void EditorView::connectRequests()
{
    // Every editor hears every request; only the one showing the document answers.
    auto &hub = EditorRequestHub::shared();
    connect(&hub, &EditorRequestHub::findRequested, this, [this](const QUuid &documentID) {
        if (documentID == m_documentID)
            showFind(false);
    });
    connect(&hub, &EditorRequestHub::replaceRequested, this, [this](const QUuid &documentID) {
        if (documentID == m_documentID)
            showFind(true);
    });
    connect(&hub, &EditorRequestHub::formattingRequested, this,
            [this](const QUuid &documentID, MarkdownFormatAction action) {
                if (documentID == m_documentID)
                    applyFormatting(action);
            });
    connect(&hub, &EditorRequestHub::scrollToRangeRequested, this,
            [this](const QUuid &documentID, int location, int length) {
                if (documentID == m_documentID)
                    scrollToRange(location, length);
            });
}

void EditorView::showFind(bool withReplace)
{
    finishLoading();
    m_textView->setFocus(Qt::OtherFocusReason);
    m_findBar->open(withReplace);
}

void EditorView::scrollToRange(int location, int length)
{
    finishLoading();
    location = std::clamp(location, 0, m_length);
    length = std::clamp(length, 0, m_length - location);
    QTextCursor cursor(m_textView->document());
    cursor.setPosition(location);
    m_textView->setTextCursor(cursor);
    m_textView->scrollPositionToTop(location);
    m_textView->ensureCursorVisible();

    // A short flash over the range stands in for the find indicator.
    QTextEdit::ExtraSelection flash;
    flash.cursor = QTextCursor(m_textView->document());
    flash.cursor.setPosition(location);
    flash.cursor.setPosition(location + length, QTextCursor::KeepAnchor);
    QColor colour = m_textView->palette().color(QPalette::Highlight);
    colour.setAlphaF(0.35f);
    flash.format.setBackground(colour);
    m_textView->setExtraSelections({flash});
    QTimer::singleShot(900, this, [this] { m_textView->setExtraSelections({}); });
}

// ---------------------------------------------------------------- formatting

void EditorView::applyFormatting(MarkdownFormatAction action)
{
    if (m_textView->isReadOnly())
        return;
    finishLoading();
    m_textView->setFocus(Qt::OtherFocusReason);
    QTextCursor cursor = m_textView->textCursor();
    if (MarkdownFormatter::apply(action, cursor))
        m_textView->setTextCursor(cursor);
}

// ---------------------------------------------------------------- highlighting

void EditorView::scheduleHighlight()
{
    m_highlightTimer.stop();
    if (!m_syntaxHighlight)
        return;
    m_highlightTimer.start();
}

void EditorView::applySyntaxHighlighting()
{
    m_highlightTimer.stop();
    QTextDocument *document = m_textView->document();
    if (!m_syntaxHighlight || m_length <= 0)
        return;
    const auto [visible, visibleLength] = m_textView->visibleCharacterRange();
    int start = std::max(visible - highlightMargin, 0);
    int end = std::min(visible + visibleLength + highlightMargin, m_length);
    if (end - start < 1)
        return;
    // Widen to whole lines so "^" means a line start, unless a line is so long that
    // widening would defeat the margin.
    const QTextBlock firstBlock = document->findBlock(start);
    if (start - firstBlock.position() <= highlightMargin)
        start = firstBlock.position();
    const QTextBlock lastBlock = document->findBlock(end);
    const int lastEnd = lastBlock.position() + lastBlock.length() - 1;
    if (lastEnd - end <= highlightMargin)
        end = std::min(lastEnd, m_length);

    const FormatRanges ranges = MarkdownHighlighter::formatRanges(DocumentText::between(document, start, end), m_colors);

    QList<QTextBlock> blocks;
    QList<int> starts;
    for (QTextBlock block = firstBlock; block.isValid() && block.position() <= end; block = block.next()) {
        blocks.append(block);
        starts.append(block.position());
    }
    QList<FormatRanges> perBlock(blocks.size());
    for (const auto &range : ranges) {
        const int from = start + range.start;
        const int to = from + range.length;
        auto index = int(std::upper_bound(starts.begin(), starts.end(), from) - starts.begin()) - 1;
        for (int i = std::max(index, 0); i < blocks.size() && starts[i] < to; ++i) {
            const int blockEnd = starts[i] + blocks[i].length() - 1;
            const int s = std::max(from, starts[i]);
            const int e = std::min(to, blockEnd);
            if (e > s) {
                QTextLayout::FormatRange piece = range;
                piece.start = s - starts[i];
                piece.length = e - s;
                perBlock[i].append(piece);
            }
        }
    }
    for (int i = 0; i < blocks.size(); ++i) {
        const int windowFrom = std::max(start, starts[i]) - starts[i];
        const int windowTo = std::min(end, starts[i] + blocks[i].length() - 1) - starts[i];
        auto *decorations = BlockDecorations::of(blocks[i]);
        if (!decorations && perBlock[i].isEmpty())
            continue;
        decorations = BlockDecorations::ensure(blocks[i]);
        decorations->highlight = rangesOutside(decorations->highlight, windowFrom, windowTo) + perBlock[i];
        BlockDecorations::lay(blocks[i]);
    }
    // Relayout of the touched lines only; this is not an edit (no undo, no signal).
    document->markContentsDirty(start, end - start);
}

void EditorView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) {
        m_colors = MarkdownHighlighter::Colors::forPalette(palette());
        if (m_syntaxHighlight)
            applySyntaxHighlighting();
    }
}

void EditorView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        if (m_syntaxHighlight)
            applySyntaxHighlighting();
        m_spelling->schedule();
    }
}

bool EditorView::eventFilter(QObject *watched, QEvent *event)
{
    if (m_pendingFrom >= 0) {
        switch (event->type()) {
        case QEvent::Paint:
            // Completed right after the first screen is on show.
            if (watched == m_textView->viewport() && !m_finishQueued) {
                m_finishQueued = true;
                QTimer::singleShot(0, this, &EditorView::finishLoading);
            }
            break;
        case QEvent::KeyPress:
        case QEvent::ShortcutOverride:
        case QEvent::InputMethod:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Drop:
        case QEvent::Wheel:
            // Whatever the user does meets the whole text.
            finishLoading();
            break;
        default:
            break;
        }
    }
    if (watched == m_textView->viewport() && event->type() == QEvent::Resize) {
        scheduleHighlight();
        m_spelling->schedule();
    }
    return QWidget::eventFilter(watched, event);
}
