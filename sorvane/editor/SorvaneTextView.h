#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>

class QMenu;

// The plain-text widget of one editor. It adds what the editing surface needs on
// top of QPlainTextEdit: image files dropped on it become Markdown image links, Tab
// is offered to snippet expansion first, and a key hook lets a modal editing layer
// see key presses before the widget types them. EditorView owns and wires it.
class SorvaneTextView : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit SorvaneTextView(QWidget *parent = nullptr);

    // Builds the Markdown inserted for one dropped image file (absolute path).
    std::function<QString(const QString &filePath)> imageDropHandler;
    // Asked first when Tab is pressed; true means the key was consumed.
    std::function<bool()> tabExpansionHandler;
    // Sees every key press first (Vim mode); true swallows it. It is also asked about
    // shortcut overrides: true there keeps the key from the window's shortcuts.
    std::function<bool(QKeyEvent *)> keyEventHandler;
    // Adds entries for the text position under the pointer to the context menu.
    std::function<void(QMenu *, int position)> contextMenuHandler;

    // The document range shown in the viewport (location, length): whole lines,
    // cut to the visible lines where a long wrapped paragraph reaches past an edge.
    std::pair<int, int> visibleCharacterRange() const;
    // Puts the line holding `position` at the top of the viewport where it can.
    void scrollPositionToTop(int position);

    // The image files among dropped URLs, in order; empty when none is an image.
    static QStringList droppedImageFiles(const QMimeData *source);
    // The link used when no handler is set: alt text from the file name, absolute target.
    static QString defaultImageLink(const QString &filePath);
    // "![alt](destination)", with the destination in angle brackets or percent-encoded
    // when it holds blanks or brackets, so that the link still points at the file.
    static QString imageLink(const QString &altText, const QString &destination);

    // A caret drawn in this colour in place of the widget's own (which always takes the
    // text colour); an invalid colour gives the widget's caret back.
    void setCaretColor(const QColor &color);
    QColor caretColor() const { return m_caretColor; }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    QRect drawnCaretRect() const;

    QColor m_caretColor;
    QRect m_paintedCaret;
};
