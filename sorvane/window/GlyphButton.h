#pragma once

#include <QAbstractButton>
#include <QFont>
#include <QIcon>
#include <QSize>

// A borderless button that draws a small line glyph or a short text in the
// palette's colours: secondary normally, the accent while it is "on" (checked
// toggles), dimmed while disabled, with a faint rounded background on hover. It
// never takes keyboard focus, so clicking it leaves the editor's caret alone.
class GlyphButton : public QAbstractButton
{
    Q_OBJECT
public:
    enum class Glyph {
        none, // the button's text
        inlineCode,
        codeBlock,
        link,
        quote,
        bulletList,
        numberedList,
        taskList,
        horizontalRule,
        table,
        outline,
        sidebar,
        plus,
        close,
        autoScheme,
        lightScheme,
        darkScheme,
        copy,
        checkmark,
        richText,
        share,
    };

    explicit GlyphButton(Glyph glyph, QWidget *parent = nullptr);
    GlyphButton(const QString &text, const QFont &font, QWidget *parent = nullptr);

    // Accent colour while on (for toggles that are not checkable).
    void setHighlighted(bool on);
    bool isHighlighted() const { return m_highlighted; }
    // Accent background at this opacity while on; 0 for none.
    void setHighlightBackground(qreal opacity);
    void setForeground(const QColor &color);
    void setGlyphSize(qreal size) { m_glyphSize = size; update(); }
    // A glyph followed by a text, 4 pixels apart; the button takes the width of both.
    void setGlyphAndText(Glyph glyph, const QString &text);
    Glyph glyph() const { return m_glyph; }

    // A glyph as a menu icon in one colour.
    static QIcon icon(Glyph glyph, const QColor &color);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    static void drawGlyph(QPainter &painter, Glyph glyph, const QRectF &box, const QColor &color);

    Glyph m_glyph = Glyph::none;
    bool m_highlighted = false;
    bool m_hovered = false;
    qreal m_highlightBackground = 0.0;
    qreal m_glyphSize = 14.0;
    QColor m_foreground;
};
