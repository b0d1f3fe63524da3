#include "VimModeController.h"

#include "editor/SorvaneTextView.h"

#include "documents/DocumentManager.h"

#include <QApplication>
#include <QColor>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <limits>

namespace {

bool isWordUnit(QChar c)
{
    return !c.isSurrogate() && (c.isLetterOrNumber() || c.isMark() || c == u'_');
}

Qt::KeyboardModifiers chordModifiers(const QKeyEvent *event)
{
    return event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

bool isControlR(const QKeyEvent *event)
{
    return chordModifiers(event) == Qt::ControlModifier && event->key() == Qt::Key_R;
}

const QString normalCommands = QStringLiteral("hjklwbe$gGftiIaAoOxXDCYvdcypPu:.");
const QString visualCommands = QStringLiteral("hljkwbdxcyv");

// Orange in normal and visual mode, purple on the command line; insert mode keeps
// the editor's own caret.
const QColor normalCaret(255, 149, 0);
const QColor commandLineCaret(175, 82, 222);

} // namespace

VimModeController::VimModeController(QObject *parent)
    : QObject(parent)
    , beep([] { QApplication::beep(); })
{
}

void VimModeController::setTextView(SorvaneTextView *view)
{
    if (m_textView && m_textView != view)
        m_textView->setCaretColor(QColor());
    m_textView = view;
    updateCaretStyle();
}

void VimModeController::setDocumentManager(DocumentManager *manager)
{
    m_documentManager = manager;
}

DocumentManager *VimModeController::documentManager() const
{
    return m_documentManager;
}

void VimModeController::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    clearPending();
    m_pendingCharMotion = QChar();
    setCommandBuffer(QString());
    setMode(on ? Mode::Normal : Mode::Insert);
    Q_EMIT enabledChanged();
}

void VimModeController::setMode(Mode mode)
{
    if (mode == m_mode)
        return;
    m_mode = mode;
    updateCaretStyle();
    Q_EMIT modeChanged();
}

void VimModeController::setCommandBuffer(const QString &text)
{
    if (text == m_commandBuffer)
        return;
    m_commandBuffer = text;
    Q_EMIT commandBufferChanged();
}

void VimModeController::updateCaretStyle()
{
    if (!m_textView)
        return;
    switch (m_mode) {
    case Mode::Insert: m_textView->setCaretColor(QColor()); break;
    case Mode::CommandLine: m_textView->setCaretColor(commandLineCaret); break;
    case Mode::Normal:
    case Mode::Visual: m_textView->setCaretColor(normalCaret); break;
    }
}

// ---------------------------------------------------------------- key dispatch

bool VimModeController::handleKeyEvent(QKeyEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride)
        return takesKey(event);
    if (event->type() == QEvent::KeyPress)
        return handle(event);
    return false;
}

bool VimModeController::takesKey(QKeyEvent *event) const
{
    if (!m_textView || !m_enabled)
        return false;
    if (event->key() == Qt::Key_Escape)
        return true;
    switch (m_mode) {
    case Mode::Insert: return false;
    case Mode::CommandLine: return true;
    case Mode::Normal: {
        if (chordModifiers(event))
            return isControlR(event);
        const QString chars = event->text();
        if (chars.isEmpty())
            return false;
        const QChar c = chars.front();
        if ((c >= u'0' && c <= u'9') || !m_pendingCharMotion.isNull() || m_awaitingG || !m_pendingOperator.isNull())
            return true;
        return normalCommands.contains(c);
    }
    case Mode::Visual:
        return !chordModifiers(event) && !event->text().isEmpty() && visualCommands.contains(event->text().front());
    }
    return false;
}

bool VimModeController::handle(QKeyEvent *event)
{
    if (!m_textView || !m_enabled)
        return false;
    if (event->key() == Qt::Key_Escape) {
        exitToNormal();
        return true;
    }
    switch (m_mode) {
    case Mode::Insert: return false;
    case Mode::Normal:
        // Chords belong to the text view and the window's shortcuts; only redo is Vim's.
        if (chordModifiers(event)) {
            if (!isControlR(event))
                return false;
            redo();
            clearPending();
            return true;
        }
        return handleNormal(event->text());
    case Mode::Visual:
        if (chordModifiers(event))
            return false;
        return handleVisual(event->text());
    case Mode::CommandLine:
        handleCommandLine(event);
        return true;
    }
    return false;
}

void VimModeController::clearPending()
{
    m_pendingOperator = QChar();
    m_pendingCount.clear();
    m_awaitingG = false;
}

void VimModeController::exitToNormal()
{
    setMode(Mode::Normal);
    clearPending();
    setCommandBuffer(QString());
}

qint64 VimModeController::count()
{
    bool ok = false;
    const qint64 n = m_pendingCount.toLongLong(&ok);
    m_pendingCount.clear();
    return ok && n > 0 ? n : 1;
}

bool VimModeController::handleNormal(const QString &chars)
{
    if (chars.isEmpty())
        return false;
    const QChar c = chars.front();
    if (c >= u'0' && c <= u'9') {
        if (c == u'0' && m_pendingCount.isEmpty())
            setCaret(lineStart(caret()));
        else
            m_pendingCount += c;
        return true;
    }
    if (!m_pendingCharMotion.isNull()) {
        applyCharMotion(chars);
        m_pendingCharMotion = QChar();
        clearPending();
        return true;
    }
    if (m_awaitingG) {
        m_awaitingG = false;
        if (c == u'g') {
            setCaret(0);
            clearPending();
        }
        return true;
    }
    if (!m_pendingOperator.isNull()) {
        applyOperatorMotion(m_pendingOperator, c);
        clearPending();
        return true;
    }
    if (!normalCommands.contains(c))
        return false;

    switch (c.unicode()) {
    case 'h': {
        const qint64 n = count();
        setCaret(int(std::max<qint64>(caret() - n, 0)));
        break;
    }
    case 'l': {
        const qint64 n = count();
        const int len = length();
        setCaret(n >= len - caret() ? len : int(caret() + n));
        break;
    }
    case 'j': moveCaret(count()); break;
    case 'k': moveCaret(-count()); break;
    case 'w': repeatMotion(count(), [this](int p) { return wordForwardLocation(p); }); break;
    case 'b': repeatMotion(count(), [this](int p) { return wordBackwardLocation(p); }); break;
    case 'e': repeatMotion(count(), [this](int p) { return wordEndForwardLocation(p); }); break;
    case '$': setCaret(lineEndLocation(caret())); break;
    case 'g': m_awaitingG = true; return true;
    case 'G': setCaret(length()); break;
    case 'f':
    case 't': m_pendingCharMotion = c; break;
    case 'i': setMode(Mode::Insert); break;
    case 'I': setCaret(lineStart(caret())); setMode(Mode::Insert); break;
    case 'a': setCaret(std::min(caret() + 1, length())); setMode(Mode::Insert); break;
    case 'A': setCaret(lineEndLocation(caret())); setMode(Mode::Insert); break;
    case 'o': openLineBelow(); setMode(Mode::Insert); break;
    case 'O': openLineAbove(); setMode(Mode::Insert); break;
    case 'x': deleteCharForward(count()); break;
    case 'X': deleteCharBackward(count()); break;
    case 'D': deleteToEndOfLine(); break;
    case 'C': deleteToEndOfLine(); setMode(Mode::Insert); break;
    case 'Y': yankLine(); break;
    case 'v': m_visualAnchor = caret(); setMode(Mode::Visual); break;
    case 'd':
    case 'c':
    case 'y': m_pendingOperator = c; return true;
    case 'p': pasteFromYank(true); break;
    case 'P': pasteFromYank(false); break;
    case 'u': undo(); break;
    case ':':
        setCommandBuffer(QString());
        setMode(Mode::CommandLine);
        return true;
    case '.':
        // A copy: the action may replace itself while it runs.
        if (const auto action = m_lastAction)
            action();
        break;
    }
    clearPending();
    return true;
}

bool VimModeController::handleVisual(const QString &chars)
{
    if (chars.isEmpty())
        return false;
    const QChar c = chars.front();
    if (!m_textView)
        return false;
    const int upper = m_textView->textCursor().selectionEnd();
    switch (c.unicode()) {
    case 'h': extendSelectionTo(std::clamp(upper - 1, 0, length())); return true;
    case 'l': extendSelectionTo(std::clamp(upper + 1, 0, length())); return true;
    case 'j': extendSelectionTo(positionOnLine(upper, 1)); return true;
    case 'k': extendSelectionTo(positionOnLine(upper, -1)); return true;
    case 'w': extendSelectionTo(wordForwardLocation(upper)); return true;
    case 'b': extendSelectionTo(wordBackwardLocation(upper)); return true;
    case 'd':
    case 'x':
        deleteSelection();
        m_lastAction = [this] { deleteSelection(); };
        setMode(Mode::Normal);
        return true;
    case 'c':
        deleteSelection();
        setMode(Mode::Insert);
        return true;
    case 'y': {
        const QTextCursor cursor = m_textView->textCursor();
        m_yankRegister = cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n');
        setCaret(cursor.selectionStart());
        setMode(Mode::Normal);
        return true;
    }
    case 'v': setMode(Mode::Normal); return true;
    default: return false;
    }
}

void VimModeController::handleCommandLine(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        const QString command = m_commandBuffer;
        setCommandBuffer(QString());
        setMode(Mode::Normal);
        executeCommand(command);
        return;
    }
    if (key == Qt::Key_Backspace) {
        if (m_commandBuffer.isEmpty())
            setMode(Mode::Normal);
        else
            setCommandBuffer(m_commandBuffer.chopped(1));
        return;
    }
    const QString chars = event->text();
    if (chars.isEmpty() || chordModifiers(event) & Qt::ControlModifier)
        return;
    const QChar c = chars.front();
    if (c.unicode() < 128 && (c.unicode() >= 0x20 || c == u'\t') && c.unicode() != 0x7f)
        setCommandBuffer(m_commandBuffer + c);
}

void VimModeController::executeCommand(const QString &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && (text.at(from) == u' ' || text.at(from) == u'\t'))
        ++from;
    while (to > from && (text.at(to - 1) == u' ' || text.at(to - 1) == u'\t'))
        --to;
    const QString command = text.mid(from, to - from);

    DocumentManager *manager = m_documentManager;
    if (!manager)
        return;
    // Saving may show a panel and closing may take the editor away: the manager is
    // held for the call, this controller is not touched afterwards.
    QPointer<DocumentManager> guard(manager);
    if (command == QLatin1String("w")) {
        if (TabDocument *document = manager->selectedDocument())
            manager->save(document);
    } else if (command == QLatin1String("q")) {
        manager->closeCurrentDocumentOrWindow();
    } else if (command == QLatin1String("wq") || command == QLatin1String("x")) {
        if (TabDocument *document = manager->selectedDocument())
            manager->save(document);
        if (guard)
            guard->closeCurrentDocumentOrWindow();
    } else if (command == QLatin1String("set nu") || command == QLatin1String("set number")
               || command == QLatin1String("set nonu") || command == QLatin1String("set nonumber")) {
        beep(); // no line numbers in this editor
    } else if (command.startsWith(QLatin1String("w "))) {
        // The name typed is not taken as a path: the Save As panel asks for one.
        if (TabDocument *document = manager->selectedDocument())
            manager->saveAs(document);
    } else {
        beep();
    }
}

// ---------------------------------------------------------------- reading

int VimModeController::length() const
{
    return m_textView ? m_textView->document()->characterCount() - 1 : 0;
}

int VimModeController::caret() const
{
    return m_textView ? m_textView->textCursor().selectionStart() : 0;
}

QChar VimModeController::at(int position) const
{
    return m_textView->document()->characterAt(position);
}

int VimModeController::lineStart(int position) const
{
    return m_textView->document()->findBlock(position).position();
}

int VimModeController::lineRangeEnd(int position) const
{
    const QTextBlock block = m_textView->document()->findBlock(position);
    return std::min(block.position() + block.length(), length());
}

int VimModeController::lineEndLocation(int position) const
{
    const QTextBlock block = m_textView->document()->findBlock(position);
    return block.position() + block.length() - 1;
}

int VimModeController::wordForwardLocation(int position) const
{
    const int len = length();
    int p = position;
    while (p < len && isWordUnit(at(p)))
        ++p;
    while (p < len && !isWordUnit(at(p)))
        ++p;
    return p;
}

int VimModeController::wordBackwardLocation(int position) const
{
    if (position < 1)
        return 0;
    int p = position - 1;
    while (p >= 0 && !isWordUnit(at(p)))
        --p;
    while (p >= 0 && isWordUnit(at(p)))
        --p;
    return p + 1;
}

int VimModeController::wordEndForwardLocation(int position) const
{
    const int len = length();
    int p = position + 1;
    while (p < len && !isWordUnit(at(p)))
        ++p;
    while (p < len && isWordUnit(at(p)))
        ++p;
    return std::min(p, len);
}

// The character under the point `lines` visual lines below (above when negative)
// the glyph at `position`, at the same horizontal place: wrapped lines count.
int VimModeController::positionOnLine(int position, qint64 lines) const
{
    QTextCursor cursor(m_textView->document());
    cursor.setPosition(position);
    const QRect rect = m_textView->cursorRect(cursor);
    const double height = std::max(rect.height(), 1);
    const double limit = std::numeric_limits<int>::max() / 2;
    const double y = std::clamp(rect.top() + height / 2 + height * double(lines), -limit, limit);
    const QTextCursor target = m_textView->cursorForPosition(QPoint(std::max(rect.left(), 0), int(y)));
    // Past the first or last line the point lands back on the caret's own line:
    // the move would leave the text, so the caret stays.
    if (lines != 0 && m_textView->cursorRect(target).top() == rect.top())
        return position;
    return target.position();
}

// ---------------------------------------------------------------- moving and editing

void VimModeController::setCaret(int position)
{
    QTextCursor cursor = m_textView->textCursor();
    cursor.setPosition(std::clamp(position, 0, length()));
    m_textView->setTextCursor(cursor);
    m_textView->ensureCursorVisible();
}

void VimModeController::setSelection(int anchor, int head)
{
    QTextCursor cursor = m_textView->textCursor();
    cursor.setPosition(std::clamp(anchor, 0, length()));
    cursor.setPosition(std::clamp(head, 0, length()), QTextCursor::KeepAnchor);
    m_textView->setTextCursor(cursor);
    m_textView->ensureCursorVisible();
}

void VimModeController::extendSelectionTo(int head)
{
    setSelection(m_visualAnchor, head);
}

template<typename Step>
void VimModeController::repeatMotion(qint64 times, Step step)
{
    int position = caret();
    // A huge count ends where the caret stops moving.
    for (qint64 i = 0; i < times; ++i) {
        const int next = step(position);
        if (next == position)
            break;
        position = next;
    }
    setCaret(position);
}

// One edit block, so each command is one undo step reported as one user edit.
void VimModeController::replace(int from, int to, const QString &text, int caretAfter)
{
    QTextCursor cursor(m_textView->document());
    cursor.beginEditBlock();
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    if (text.isEmpty())
        cursor.removeSelectedText();
    else
        cursor.insertText(text);
    cursor.endEditBlock();
    setCaret(caretAfter >= 0 ? caretAfter : cursor.position());
}

void VimModeController::applyCharMotion(const QString &target)
{
    const int from = caret() + 1;
    if (target.size() == 1 && !target.front().isSurrogate() && from <= length()) {
        const QChar wanted = target.front();
        // Block by block: only the blocks up to the match are read.
        QTextBlock block = m_textView->document()->findBlock(from);
        int offset = from - block.position();
        while (block.isValid()) {
            const qsizetype found = block.text().indexOf(wanted, offset);
            if (found >= 0) {
                setCaret(block.position() + int(found));
                return;
            }
            block = block.next();
            offset = 0;
        }
    }
    beep();
}

void VimModeController::applyOperatorMotion(QChar op, QChar motion)
{
    const int current = caret();
    int from = current;
    int to = current;
    bool repeatable = true;
    if (motion == op) {
        from = lineStart(current);
        to = lineRangeEnd(current);
    } else if (motion == u'j') {
        const int end = lineRangeEnd(current);
        if (end >= length())
            return;
        from = lineStart(current);
        to = lineRangeEnd(end);
        repeatable = false;
    } else if (motion == u'k') {
        const int start = lineStart(current);
        if (start == 0)
            return;
        from = lineStart(start - 1);
        to = lineRangeEnd(current);
        repeatable = false;
    } else {
        int target;
        switch (motion.unicode()) {
        case 'w': target = wordForwardLocation(current); break;
        case 'b': target = wordBackwardLocation(current); break;
        case 'e': target = wordEndForwardLocation(current); break;
        case '0': target = lineStart(current); break;
        case '$': target = lineEndLocation(current); break;
        case 'h': target = std::max(current - 1, 0); break;
        case 'l': target = std::min(current + 1, length()); break;
        default: return;
        }
        from = std::min(current, target);
        to = std::max(current, target);
        if (from == to)
            return;
    }

    QTextCursor range(m_textView->document());
    range.setPosition(from);
    range.setPosition(to, QTextCursor::KeepAnchor);
    m_yankRegister = range.selectedText().replace(QChar::ParagraphSeparator, u'\n');
    if (op != u'y' && from != to)
        replace(from, to, QString());
    else
        setCaret(current);
    if (op == u'c')
        setMode(Mode::Insert);

    if (motion == op) {
        // Replayed without entering insert mode.
        m_lastAction = [this, op] {
            const int start = lineStart(caret());
            const int end = lineRangeEnd(caret());
            QTextCursor line(m_textView->document());
            line.setPosition(start);
            line.setPosition(end, QTextCursor::KeepAnchor);
            m_yankRegister = line.selectedText().replace(QChar::ParagraphSeparator, u'\n');
            if (op != u'y' && start != end)
                replace(start, end, QString());
        };
    } else if (repeatable) {
        m_lastAction = [this, op, motion] { applyOperatorMotion(op, motion); };
    }
}

void VimModeController::moveCaret(qint64 lines)
{
    setCaret(positionOnLine(caret(), lines));
}

void VimModeController::openLineBelow()
{
    const int current = caret();
    const int end = lineRangeEnd(current);
    // On a last line without a break the new line starts after the inserted break.
    const bool lastLine = end == lineEndLocation(current);
    replace(end, end, QStringLiteral("\n"), lastLine ? end + 1 : end);
}

void VimModeController::openLineAbove()
{
    const int start = lineStart(caret());
    replace(start, start, QStringLiteral("\n"), start);
}

void VimModeController::deleteCharForward(qint64 n)
{
    const int current = caret();
    const int len = length();
    if (current >= len)
        return;
    replace(current, current + int(std::min<qint64>(n, len - current)), QString());
    m_lastAction = [this, n] { deleteCharForward(n); };
}

void VimModeController::deleteCharBackward(qint64 n)
{
    const int current = caret();
    if (current <= 0)
        return;
    replace(current - int(std::min<qint64>(n, current)), current, QString());
    m_lastAction = [this, n] { deleteCharBackward(n); };
}

void VimModeController::deleteToEndOfLine()
{
    const int current = caret();
    const int end = lineEndLocation(current);
    QTextCursor range(m_textView->document());
    range.setPosition(current);
    range.setPosition(end, QTextCursor::KeepAnchor);
    m_yankRegister = range.selectedText();
    if (end > current)
        replace(current, end, QString());
    else
        setCaret(current);
    m_lastAction = [this] { deleteToEndOfLine(); };
}

void VimModeController::yankLine()
{
    QTextCursor range(m_textView->document());
    range.setPosition(lineStart(caret()));
    range.setPosition(lineRangeEnd(caret()), QTextCursor::KeepAnchor);
    m_yankRegister = range.selectedText().replace(QChar::ParagraphSeparator, u'\n');
}

void VimModeController::pasteFromYank(bool after)
{
    if (m_yankRegister.isEmpty())
        return;
    const int at = after ? std::min(caret() + 1, length()) : caret();
    replace(at, at, m_yankRegister);
}

void VimModeController::deleteSelection()
{
    if (!m_textView)
        return;
    const QTextCursor cursor = m_textView->textCursor();
    m_yankRegister = cursor.selectedText().replace(QChar::ParagraphSeparator, u'\n');
    if (cursor.hasSelection())
        replace(cursor.selectionStart(), cursor.selectionEnd(), QString());
}

void VimModeController::undo()
{
    undoOrRedo(true);
}

void VimModeController::redo()
{
    undoOrRedo(false);
}

// The view leaves the caret where the undo stack says, which for our edit blocks is
// the start of the document: like vi, put it where the text changed.
void VimModeController::undoOrRedo(bool undo)
{
    int changedAt = -1;
    const QMetaObject::Connection watch = connect(m_textView->document(), &QTextDocument::contentsChange, this,
                                                  [&changedAt](int position, int, int) {
                                                      if (changedAt < 0 || position < changedAt)
                                                          changedAt = position;
                                                  });
    if (undo)
        m_textView->undo();
    else
        m_textView->redo();
    disconnect(watch);
    setCaret(changedAt >= 0 ? changedAt : caret());
}
