#include "SorvaneTextView.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextLayout>
#include <QTextCursor>
#include <QUrl>

SorvaneTextView::SorvaneTextView(QWidget *parent)
    : QPlainTextEdit(parent)
{
    connect(this, &QPlainTextEdit::cursorPositionChanged, this, [this] {
        if (!m_caretColor.isValid())
            return;
        viewport()->update(m_paintedCaret);
        viewport()->update(drawnCaretRect());
    });
}

void SorvaneTextView::setCaretColor(const QColor &color)
{
    if (color == m_caretColor)
        return;
    m_caretColor = color;
    setCursorWidth(color.isValid() ? 0 : 1);
    viewport()->update(m_paintedCaret);
    viewport()->update(drawnCaretRect());
}

QRect SorvaneTextView::drawnCaretRect() const
{
    const QRect rect = cursorRect();
    return QRect(rect.left(), rect.top(), 2, rect.height());
}

bool SorvaneTextView::event(QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride && keyEventHandler
        && keyEventHandler(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    return QPlainTextEdit::event(event);
}

void SorvaneTextView::paintEvent(QPaintEvent *event)
{
    QPlainTextEdit::paintEvent(event);
    if (!m_caretColor.isValid() || !hasFocus())
        return;
    m_paintedCaret = drawnCaretRect();
    QPainter painter(viewport());
    painter.fillRect(m_paintedCaret, m_caretColor);
}

QStringList SorvaneTextView::droppedImageFiles(const QMimeData *source)
{
    QStringList files;
    if (!source || !source->hasUrls())
        return files;
    static const QMimeDatabase database;
    for (const QUrl &url : source->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        const QMimeType type = database.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
        if (type.name().startsWith(QLatin1String("image/")))
            files.append(path);
    }
    return files;
}

QString SorvaneTextView::defaultImageLink(const QString &filePath)
{
    return imageLink(QFileInfo(filePath).completeBaseName(), filePath);
}

QString SorvaneTextView::imageLink(const QString &altText, const QString &destination)
{
    QString alt;
    for (const QChar c : altText) {
        if (c == u'[' || c == u']' || c == u'\\')
            alt += QLatin1Char('\\');
        alt += c;
    }
    bool plain = true;
    bool bracketable = true;
    for (const QChar c : destination) {
        if (c.isSpace() || c == u'(' || c == u')' || c.category() == QChar::Other_Control)
            plain = false;
        if (c == u'<' || c == u'>' || c == u'\n' || c == u'\r' || c.category() == QChar::Other_Control)
            bracketable = false;
    }
    QString target = destination;
    if (!plain && bracketable)
        target = QLatin1Char('<') + destination + QLatin1Char('>');
    else if (!plain)
        target = QString::fromLatin1(QUrl::toPercentEncoding(destination, "/:~._-"));
    return QStringLiteral("![") + alt + QStringLiteral("](") + target + QLatin1Char(')');
}

std::pair<int, int> SorvaneTextView::visibleCharacterRange() const
{
    QTextBlock block = firstVisibleBlock();
    const QPointF offset = contentOffset();
    const qreal height = viewport()->height();
    int first = -1;
    int last = 0;
    while (block.isValid()) {
        const QRectF box = blockBoundingGeometry(block).translated(offset);
        if (box.top() > height)
            break;
        if (block.isVisible()) {
            int from = block.position();
            int to = block.position() + block.length() - 1;
            const QTextLayout *layout = block.layout();
            if (layout && layout->lineCount() > 1 && (box.top() < 0 || box.bottom() > height)) {
                from = -1;
                for (int i = 0; i < layout->lineCount(); ++i) {
                    const QTextLine line = layout->lineAt(i);
                    const qreal top = box.top() + line.y();
                    if (top + line.height() < 0 || top > height)
                        continue;
                    if (from < 0)
                        from = block.position() + line.textStart();
                    to = block.position() + line.textStart() + line.textLength();
                }
            }
            if (from >= 0) {
                if (first < 0)
                    first = from;
                last = to;
            }
        }
        block = block.next();
    }
    if (first < 0)
        return {0, 0};
    return {first, last - first};
}

void SorvaneTextView::scrollPositionToTop(int position)
{
    const QTextBlock block = document()->findBlock(position);
    if (!block.isValid())
        return;
    int line = block.firstLineNumber();
    if (const QTextLayout *layout = block.layout(); layout && layout->lineCount() > 0) {
        const QTextLine textLine = layout->lineForTextPosition(position - block.position());
        if (textLine.isValid())
            line += textLine.lineNumber();
    }
    verticalScrollBar()->setValue(line);
}

// The drawn caret shows only while the view has the focus.
void SorvaneTextView::focusInEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusInEvent(event);
    if (m_caretColor.isValid())
        viewport()->update(drawnCaretRect());
}

void SorvaneTextView::focusOutEvent(QFocusEvent *event)
{
    QPlainTextEdit::focusOutEvent(event);
    if (m_caretColor.isValid())
        viewport()->update(m_paintedCaret);
}

void SorvaneTextView::keyPressEvent(QKeyEvent *event)
{
    if (keyEventHandler && keyEventHandler(event)) {
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Tab && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier
        && tabExpansionHandler && tabExpansionHandler()) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void SorvaneTextView::dragEnterEvent(QDragEnterEvent *event)
{
    if (!isReadOnly() && !droppedImageFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QPlainTextEdit::dragEnterEvent(event);
}

void SorvaneTextView::dragMoveEvent(QDragMoveEvent *event)
{
    if (!isReadOnly() && !droppedImageFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QPlainTextEdit::dragMoveEvent(event);
}

void SorvaneTextView::dropEvent(QDropEvent *event)
{
    const QStringList images = isReadOnly() ? QStringList() : droppedImageFiles(event->mimeData());
    if (images.isEmpty()) {
        QPlainTextEdit::dropEvent(event);
        return;
    }
    QString inserted;
    for (const QString &path : images) {
        inserted += imageDropHandler ? imageDropHandler(path) : defaultImageLink(path);
        inserted += QLatin1Char('\n');
    }
    // The links land where the pointer let go, as any Linux text field does.
    QTextCursor cursor = cursorForPosition(event->position().toPoint());
    cursor.insertText(inserted);
    setTextCursor(cursor);
    setFocus(Qt::MouseFocusReason);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void SorvaneTextView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu(event->pos());
    if (contextMenuHandler)
        contextMenuHandler(menu, cursorForPosition(event->pos()).position());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
