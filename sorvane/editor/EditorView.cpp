#include "EditorView.h"

#include "FindReplaceBar.h"
#include "SorvaneTextView.h"
#include "SpellChecker.h"

#include "platform/NotificationCenter.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>

namespace {

using FormatRanges = QList<QTextLayout::FormatRange>;

// Highlight and spelling formats of one block. They live beside the block rather
// than in the document, so drawing them never counts as an edit.
class BlockDecorations : public QTextBlockUserData
{
public:
    FormatRanges highlight;
    FormatRanges spelling;
};

BlockDecorations *decorationsOf(const QTextBlock &block)
{
    return static_cast<BlockDecorations *>(block.userData());
}

BlockDecorations *ensureDecorations(QTextBlock &block)
{
    auto *decorations = decorationsOf(block);
    if (!decorations) {
        decorations = new BlockDecorations;
        block.setUserData(decorations);
    }
    return decorations;
}

void layDecorations(const QTextBlock &block)
{
    QTextLayout *layout = block.layout();
    if (!layout)
        return;
    const auto *decorations = decorationsOf(block);
    if (!decorations) {
        layout->clearFormats();
        return;
    }
    layout->setFormats(decorations->highlight + decorations->spelling);
}

// Keeps the parts of `ranges` that lie outside [from, to).
FormatRanges outside(const FormatRanges &ranges, int from, int to)
{
    FormatRanges kept;
    for (const auto &range : ranges) {
        const int end = range.start + range.length;
        if (end <= from || range.start >= to) {
            kept.append(range);
            continue;
        }
        if (range.start < from) {
            auto head = range;
            head.length = from - range.start;
            kept.append(head);
        }
        if (end > to) {
            auto tail = range;
            tail.start = to;
            tail.length = end - to;
            kept.append(tail);
        }
    }
    return kept;
}

bool isUuid(const QVariant &value, const QUuid &id)
{
    return value.metaType() == QMetaType::fromType<QUuid>() && value.toUuid() == id;
}

// Formatting parameters.
struct InlineFormat
{
    QString prefix;
    QString suffix;
    QString placeholder;
};

InlineFormat inlineFormat(MarkdownFormatAction action)
{
    switch (action) {
    case MarkdownFormatAction::italic:
        return {QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("italic text")};
    case MarkdownFormatAction::code:
        return {QStringLiteral("`"), QStringLiteral("`"), QStringLiteral("code")};
    case MarkdownFormatAction::link:
        return {QStringLiteral("["), QStringLiteral("](url)"), QStringLiteral("link text")};
    default:
        return {QStringLiteral("**"), QStringLiteral("**"), QStringLiteral("bold text")};
    }
}

const QString tableTemplate = QStringLiteral("| Column 1 | Column 2 | Column 3 |\n"
                                             "|----------|----------|----------|\n"
                                             "| Cell     | Cell     | Cell     |\n"
                                             "| Cell     | Cell     | Cell     |");
const QString codeBlockTemplate = QStringLiteral("```language\ncode\n```");

} // namespace

EditorView::EditorView(const QUuid &documentID, const QString &text, const Configuration &configuration,
                       QWidget *parent)
    : QWidget(parent)
    , m_documentID(documentID)
    , m_textView(new SorvaneTextView(this))
    , m_findBar(new FindReplaceBar(m_textView, this))
    , m_baseURL(configuration.baseURL)
    , m_fontSize(configuration.fontSize)
    , m_wordWrap(configuration.wordWrap)
    , m_spellCheck(configuration.spellCheck)
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
    m_textView->contextMenuHandler = [this](QMenu *menu, int position) { addSpellingActions(menu, position); };

    setTextSilently(text);
    connect(m_textView->document(), &QTextDocument::contentsChange, this, &EditorView::onContentsChange);

    m_highlightTimer.setSingleShot(true);
    m_highlightTimer.setInterval(highlightDelayMs);
    connect(&m_highlightTimer, &QTimer::timeout, this, &EditorView::applySyntaxHighlighting);
    m_spellTimer.setSingleShot(true);
    m_spellTimer.setInterval(spellCheckDelayMs);
    connect(&m_spellTimer, &QTimer::timeout, this, &EditorView::applySpellCheck);

    const auto scrolled = [this] {
        scheduleHighlight();
        scheduleSpellCheck();
    };
    connect(m_textView->verticalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
    connect(m_textView->horizontalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
    m_textView->viewport()->installEventFilter(this);

    connect(&NotificationCenter::shared(), &NotificationCenter::posted, this, &EditorView::onNotification);

    if (configuration.vimModeEnabled)
        QTimer::singleShot(0, this, [this] { configureVim(true); });
}

EditorView::~EditorView() = default;

// ---------------------------------------------------------------- text in and out

QString EditorView::rawText(int from, int to) const
{
    if (to <= from)
        return {};
    QTextCursor cursor(m_textView->document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    // Block breaks come back as U+2029; everything else (NBSP, U+2028) is as stored.
    QString text = cursor.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QString EditorView::text() const
{
    QString text = m_textView->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void EditorView::setTextSilently(const QString &text)
{
    m_silent = true;
    m_textView->setPlainText(text);
    m_silent = false;
    m_length = m_textView->document()->characterCount() - 1;
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
    scheduleSpellCheck();
}

void EditorView::onContentsChange(int position, int charsRemoved, int charsAdded)
{
    QTextDocument *document = m_textView->document();
    const int oldLength = m_length;
    const int newLength = document->characterCount() - 1;
    m_length = newLength;
    if (m_silent)
        return;

    // The widget may count the implicit last block break into the range; cut it off.
    const int overshoot = std::max(position + charsRemoved - oldLength, position + charsAdded - newLength);
    if (overshoot > 0) {
        charsRemoved -= overshoot;
        charsAdded -= overshoot;
    }
    shiftDecorations(position, charsRemoved, charsAdded);
    m_blockCount = document->blockCount();

    if (position < 0 || charsRemoved < 0 || charsAdded < 0 || oldLength - charsRemoved + charsAdded != newLength) {
        // A report that does not add up: hand over the whole text rather than a wrong delta.
        Q_EMIT userEdited(0, oldLength, text());
    } else if (charsRemoved > 0 || charsAdded > 0) {
        Q_EMIT userEdited(position, charsRemoved, rawText(position, position + charsAdded));
    }
    scheduleHighlight();
    scheduleSpellCheck();
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
    if (on == m_spellCheck)
        return;
    m_spellCheck = on;
    if (on)
        applySpellCheck();
    else
        clearSpelling();
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
    return false;
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

QVariant EditorView::rangeValue(int location, int length)
{
    return QVariant::fromValue(std::pair<int, int>(location, length));
}

std::optional<std::pair<int, int>> EditorView::rangeFromValue(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<std::pair<int, int>>())
        return value.value<std::pair<int, int>>();
    if (value.metaType() == QMetaType::fromType<QPoint>()) {
        const QPoint point = value.toPoint();
        return std::pair<int, int>(point.x(), point.y());
    }
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
        const QVariantMap map = value.toMap();
        bool locationOk = false;
        bool lengthOk = false;
        const int location = map.value(QStringLiteral("location")).toInt(&locationOk);
        const int length = map.value(QStringLiteral("length")).toInt(&lengthOk);
        if (locationOk && lengthOk)
            return std::pair<int, int>(location, length);
    }
    return std::nullopt;
}

void EditorView::onNotification(const QString &name, const QVariant &object, const QVariantMap &userInfo)
{
    if (name == sorvaneShowFind || name == sorvaneShowReplace) {
        if (isUuid(object, m_documentID))
            showFind(name == sorvaneShowReplace);
    } else if (name == sorvaneFormatting) {
        if (!isUuid(userInfo.value(QStringLiteral("documentID")), m_documentID))
            return;
        const QVariant action = userInfo.value(QStringLiteral("action"));
        if (action.metaType() != QMetaType::fromType<QString>())
            return;
        if (const auto parsed = MarkdownFormatActions::fromString(action.toString()))
            applyFormatting(*parsed);
    } else if (name == sorvaneScrollToRange) {
        if (!isUuid(userInfo.value(QStringLiteral("documentID")), m_documentID))
            return;
        if (const auto range = rangeFromValue(userInfo.value(QStringLiteral("range"))))
            scrollToRange(range->first, range->second);
    }
}

void EditorView::showFind(bool withReplace)
{
    m_textView->setFocus(Qt::OtherFocusReason);
    m_findBar->open(withReplace);
}

void EditorView::scrollToRange(int location, int length)
{
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
    m_textView->setFocus(Qt::OtherFocusReason);
    switch (action) {
    case MarkdownFormatAction::heading1:
        return applyHeadingFormat(QStringLiteral("# "));
    case MarkdownFormatAction::heading2:
        return applyHeadingFormat(QStringLiteral("## "));
    case MarkdownFormatAction::heading3:
        return applyHeadingFormat(QStringLiteral("### "));
    case MarkdownFormatAction::table:
        return insertBlockTemplate(tableTemplate);
    case MarkdownFormatAction::codeBlock:
        return insertBlockTemplate(codeBlockTemplate);
    case MarkdownFormatAction::blockquote:
        return applyLinePrefixToggle(QStringLiteral("> "));
    case MarkdownFormatAction::bulletList:
        return applyLinePrefixToggle(QStringLiteral("- "));
    case MarkdownFormatAction::numberedList:
        return applyLinePrefixToggle(QStringLiteral("1. "));
    case MarkdownFormatAction::taskList:
        return applyLinePrefixToggle(QStringLiteral("- [ ] "));
    case MarkdownFormatAction::horizontalRule:
        return insertBlockTemplate(QStringLiteral("---"));
    case MarkdownFormatAction::bold:
    case MarkdownFormatAction::italic:
    case MarkdownFormatAction::code:
    case MarkdownFormatAction::link:
        return applyInlineFormat(action);
    }
}

void EditorView::applyInlineFormat(MarkdownFormatAction action)
{
    const InlineFormat format = inlineFormat(action);
    const int prefixLength = int(format.prefix.size());
    const int suffixLength = int(format.suffix.size());
    QTextCursor cursor = m_textView->textCursor();
    const int location = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    QTextCursor edit(m_textView->document());
    // Each action is its own undo step, never merged with the typing before it.
    edit.beginEditBlock();
    if (location == end) {
        edit.setPosition(location);
        edit.insertText(format.prefix + format.placeholder + format.suffix);
        edit.endEditBlock();
        cursor.setPosition(location + prefixLength);
        cursor.setPosition(location + prefixLength + int(format.placeholder.size()), QTextCursor::KeepAnchor);
        m_textView->setTextCursor(cursor);
        return;
    }
    const QString before = rawText(std::max(location - prefixLength, 0), location);
    const QString after = rawText(end, std::min(end + suffixLength, m_length));
    int caret;
    if (before.endsWith(format.prefix) && after.startsWith(format.suffix)) {
        edit.setPosition(end);
        edit.setPosition(end + suffixLength, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
        edit.setPosition(location - prefixLength);
        edit.setPosition(location, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
        caret = end - prefixLength;
    } else {
        // Only the marks are inserted; the selected characters themselves stay untouched.
        edit.setPosition(end);
        edit.insertText(format.suffix);
        edit.setPosition(location);
        edit.insertText(format.prefix);
        caret = end + prefixLength + suffixLength;
    }
    edit.endEditBlock();
    cursor.setPosition(caret);
    m_textView->setTextCursor(cursor);
}

void EditorView::replaceLine(const QTextBlock &block, const QString &newLine)
{
    // Only the part that differs is replaced, so the edit covers the marks alone.
    const QString oldLine = block.text();
    int head = 0;
    const int shorter = int(std::min(oldLine.size(), newLine.size()));
    while (head < shorter && oldLine.at(head) == newLine.at(head))
        ++head;
    int tail = 0;
    while (tail < shorter - head && oldLine.at(oldLine.size() - 1 - tail) == newLine.at(newLine.size() - 1 - tail))
        ++tail;
    const int start = block.position();
    QTextCursor edit(m_textView->document());
    edit.beginEditBlock();
    edit.setPosition(start + head);
    edit.setPosition(start + int(oldLine.size()) - tail, QTextCursor::KeepAnchor);
    edit.insertText(newLine.mid(head, newLine.size() - head - tail));
    edit.endEditBlock();
    QTextCursor caret(m_textView->document());
    caret.setPosition(start + int(newLine.size()));
    m_textView->setTextCursor(caret);
}

void EditorView::applyHeadingFormat(const QString &prefix)
{
    // The line without its break: stripping blanks after the marks must never eat it.
    const QTextBlock block = m_textView->document()->findBlock(m_textView->textCursor().selectionStart());
    static const QRegularExpression marks(QStringLiteral("^#{1,6}\\s*"));
    const QString line = block.text();
    QString stripped = line;
    stripped.remove(marks);
    replaceLine(block, line.startsWith(prefix) ? stripped : prefix + stripped);
}

void EditorView::applyLinePrefixToggle(const QString &prefix)
{
    const QTextBlock block = m_textView->document()->findBlock(m_textView->textCursor().selectionStart());
    const QString line = block.text();
    replaceLine(block, line.startsWith(prefix) ? line.mid(prefix.size()) : prefix + line);
}

void EditorView::insertBlockTemplate(const QString &blockTemplate)
{
    const int start = m_textView->textCursor().selectionStart();
    const QTextBlock block = m_textView->document()->findBlock(start);
    const bool bare = start == 0 || block.text().isEmpty();
    const QString inserted = (bare ? QString() : QStringLiteral("\n\n")) + blockTemplate + QLatin1Char('\n');
    QTextCursor edit(m_textView->document());
    edit.beginEditBlock();
    edit.setPosition(start);
    edit.insertText(inserted);
    edit.endEditBlock();
    QTextCursor caret(m_textView->document());
    caret.setPosition(start + int(inserted.size()));
    m_textView->setTextCursor(caret);
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

    const FormatRanges ranges = MarkdownHighlighter::formatRanges(rawText(start, end), m_colors);

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
        auto *decorations = decorationsOf(blocks[i]);
        if (!decorations && perBlock[i].isEmpty())
            continue;
        decorations = ensureDecorations(blocks[i]);
        decorations->highlight = outside(decorations->highlight, windowFrom, windowTo) + perBlock[i];
        layDecorations(blocks[i]);
    }
    // Relayout of the touched lines only; this is not an edit (no undo, no signal).
    document->markContentsDirty(start, end - start);
}

void EditorView::shiftDecorations(int position, int charsRemoved, int charsAdded)
{
    QTextDocument *document = m_textView->document();
    QTextBlock block = document->findBlock(position);
    if (!block.isValid())
        return;
    const int blockEnd = block.position() + block.length() - 1;
    const bool withinLine = document->blockCount() == m_blockCount && position + charsAdded <= blockEnd;
    if (!withinLine) {
        // Lines were split or joined: their formats are redrawn by the next pass.
        const QTextBlock last = document->findBlock(position + charsAdded);
        for (;;) {
            if (decorationsOf(block)) {
                block.setUserData(nullptr);
                layDecorations(block);
            }
            if (block == last || !block.isValid())
                break;
            block = block.next();
        }
        return;
    }
    auto *decorations = decorationsOf(block);
    if (!decorations)
        return;
    const int at = position - block.position();
    const int delta = charsAdded - charsRemoved;
    FormatRanges highlight;
    for (auto range : std::as_const(decorations->highlight)) {
        const int end = range.start + range.length;
        if (end <= at) {
        } else if (range.start >= at + charsRemoved) {
            range.start += delta;
        } else {
            // The edit falls inside the range: the range grows or shrinks with it.
            const int newStart = std::min(range.start, at);
            const int newEnd = end >= at + charsRemoved ? end + delta : at + charsAdded;
            range.start = newStart;
            range.length = newEnd - newStart;
        }
        if (range.length > 0)
            highlight.append(range);
    }
    FormatRanges spelling;
    for (auto range : std::as_const(decorations->spelling)) {
        const int end = range.start + range.length;
        if (end < at) {
            spelling.append(range);
        } else if (range.start > at + charsRemoved) {
            range.start += delta;
            spelling.append(range);
        }
        // A word being typed loses its underline until the next check.
    }
    decorations->highlight = highlight;
    decorations->spelling = spelling;
    layDecorations(block);
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
        scheduleSpellCheck();
    }
}

bool EditorView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_textView->viewport() && event->type() == QEvent::Resize) {
        scheduleHighlight();
        scheduleSpellCheck();
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------- spelling

void EditorView::scheduleSpellCheck()
{
    m_spellTimer.stop();
    if (m_spellCheck && SpellChecker::shared().isAvailable())
        m_spellTimer.start();
}

QList<QTextLayout::FormatRange> EditorView::misspelledRanges(const QTextBlock &block) const
{
    FormatRanges found;
    const QString line = block.text();
    if (line.isEmpty())
        return found;
    static const QRegularExpression word(QStringLiteral("[\\p{L}\\p{M}]+(?:['\u2019][\\p{L}\\p{M}]+)*"),
                                         QRegularExpression::UseUnicodePropertiesOption);
    const auto *decorations = decorationsOf(block);
    QTextCharFormat underline;
    underline.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    underline.setUnderlineColor(QColor(0xe0, 0x1b, 0x24));
    SpellChecker &checker = SpellChecker::shared();
    auto it = word.globalMatch(line);
    while (it.hasNext()) {
        const auto match = it.next();
        const int start = int(match.capturedStart());
        const int length = int(match.capturedLength());
        const QString candidate = match.captured();
        if (length < 2)
            continue;
        // Words glued to digits or underscores are identifiers, not prose.
        const QChar before = start > 0 ? line.at(start - 1) : QChar();
        const QChar after = start + length < line.size() ? line.at(start + length) : QChar();
        if (before.isDigit() || after.isDigit() || before == u'_' || after == u'_')
            continue;
        // Acronyms and camel case are names.
        if (std::any_of(candidate.begin() + 1, candidate.end(), [](QChar c) { return c.isUpper(); }))
            continue;
        // Addresses and paths: the blank-separated run around the word holds a scheme,
        // an @ or a slash.
        int runFrom = start;
        while (runFrom > 0 && !line.at(runFrom - 1).isSpace())
            --runFrom;
        int runTo = start + length;
        while (runTo < line.size() && !line.at(runTo).isSpace())
            ++runTo;
        const QStringView run = QStringView(line).mid(runFrom, runTo - runFrom);
        if (run.contains(QLatin1String("://")) || run.contains(u'@') || run.contains(u'/') || run.startsWith(QLatin1String("www.")))
            continue;
        // Code is not prose either.
        bool inCode = false;
        if (decorations) {
            for (const auto &range : decorations->highlight) {
                const int style = range.format.intProperty(MarkdownHighlighter::styleProperty);
                if ((style == int(MarkdownHighlighter::Style::codeBlock) || style == int(MarkdownHighlighter::Style::inlineCode))
                    && range.format.hasProperty(MarkdownHighlighter::styleProperty) && range.start <= start
                    && range.start + range.length >= start + length) {
                    inCode = true;
                    break;
                }
            }
        }
        if (inCode || checker.isCorrect(candidate))
            continue;
        QTextLayout::FormatRange range;
        range.start = start;
        range.length = length;
        range.format = underline;
        found.append(range);
    }
    return found;
}

void EditorView::applySpellCheck()
{
    m_spellTimer.stop();
    if (!m_spellCheck || !SpellChecker::shared().isAvailable() || m_length <= 0)
        return;
    QTextDocument *document = m_textView->document();
    const auto [visible, visibleLength] = m_textView->visibleCharacterRange();
    int dirtyFrom = -1;
    int dirtyTo = -1;
    for (QTextBlock block = document->findBlock(visible); block.isValid() && block.position() <= visible + visibleLength;
         block = block.next()) {
        const FormatRanges spelling = misspelledRanges(block);
        auto *decorations = decorationsOf(block);
        if ((!decorations && spelling.isEmpty()) || (decorations && decorations->spelling == spelling))
            continue;
        ensureDecorations(block)->spelling = spelling;
        layDecorations(block);
        if (dirtyFrom < 0)
            dirtyFrom = block.position();
        dirtyTo = block.position() + block.length() - 1;
    }
    if (dirtyFrom >= 0)
        document->markContentsDirty(dirtyFrom, std::max(dirtyTo - dirtyFrom, 1));
}

void EditorView::clearSpelling()
{
    m_spellTimer.stop();
    QTextDocument *document = m_textView->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        auto *decorations = decorationsOf(block);
        if (decorations && !decorations->spelling.isEmpty()) {
            decorations->spelling.clear();
            layDecorations(block);
            document->markContentsDirty(block.position(), std::max(block.length() - 1, 1));
        }
    }
}

void EditorView::addSpellingActions(QMenu *menu, int position)
{
    if (!m_spellCheck || m_textView->isReadOnly())
        return;
    const QTextBlock block = m_textView->document()->findBlock(position);
    const auto *decorations = decorationsOf(block);
    if (!decorations)
        return;
    const int at = position - block.position();
    for (const auto &range : decorations->spelling) {
        if (at < range.start || at > range.start + range.length)
            continue;
        const int from = block.position() + range.start;
        const int to = from + range.length;
        const QString word = block.text().mid(range.start, range.length);
        QAction *first = menu->actions().value(0);
        QList<QAction *> added;
        const QStringList guesses = SpellChecker::shared().suggestions(word);
        for (const QString &guess : guesses) {
            auto *action = new QAction(guess, menu);
            connect(action, &QAction::triggered, this, [this, from, to, word, guess] {
                if (rawText(from, to) != word)
                    return;
                QTextCursor edit(m_textView->document());
                edit.beginEditBlock();
                edit.setPosition(from);
                edit.setPosition(to, QTextCursor::KeepAnchor);
                edit.insertText(guess);
                edit.endEditBlock();
            });
            added.append(action);
        }
        if (guesses.isEmpty()) {
            auto *none = new QAction(tr("No Guesses Found"), menu);
            none->setEnabled(false);
            added.append(none);
        }
        auto *separator = new QAction(menu);
        separator->setSeparator(true);
        added.append(separator);
        auto *learn = new QAction(tr("Learn Spelling"), menu);
        connect(learn, &QAction::triggered, this, [this, word] {
            SpellChecker::shared().learn(word);
            applySpellCheck();
        });
        auto *ignore = new QAction(tr("Ignore Spelling"), menu);
        connect(ignore, &QAction::triggered, this, [this, word] {
            SpellChecker::shared().ignore(word);
            applySpellCheck();
        });
        added << learn << ignore;
        auto *separator2 = new QAction(menu);
        separator2->setSeparator(true);
        added.append(separator2);
        menu->insertActions(first, added);
        return;
    }
}
