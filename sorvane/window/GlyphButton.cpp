#include "GlyphButton.h"

#include "WindowStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

GlyphButton::GlyphButton(Glyph glyph, QWidget *parent)
    : QAbstractButton(parent)
    , m_glyph(glyph)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setFixedSize(24, 24);
}

GlyphButton::GlyphButton(const QString &text, const QFont &font, QWidget *parent)
    : GlyphButton(Glyph::none, parent)
{
    setText(text);
    setFont(font);
}

void GlyphButton::setHighlighted(bool on)
{
    if (m_highlighted == on)
        return;
    m_highlighted = on;
    update();
}

void GlyphButton::setHighlightBackground(qreal opacity)
{
    m_highlightBackground = opacity;
    update();
}

void GlyphButton::setForeground(const QColor &color)
{
    m_foreground = color;
    update();
}

QSize GlyphButton::sizeHint() const { return size(); }

void GlyphButton::setGlyphAndText(Glyph glyph, const QString &text)
{
    m_glyph = glyph;
    setText(text);
    const int width = qCeil(m_glyphSize) + 4 + QFontMetrics(font()).horizontalAdvance(text) + 8;
    setFixedWidth(width);
    update();
}

QIcon GlyphButton::icon(Glyph glyph, const QColor &color)
{
    QIcon icon;
    for (const int side : {16, 32}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        drawGlyph(painter, glyph, QRectF(0, 0, side, side), color);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void GlyphButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    update();
    QAbstractButton::enterEvent(event);
}

void GlyphButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void GlyphButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const bool on = m_highlighted || isChecked();
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (on && m_highlightBackground > 0) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(WindowStyle::withAlpha(WindowStyle::accent(pal), m_highlightBackground));
        painter.drawRoundedRect(r, 4, 4);
    } else if (m_hovered && isEnabled()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(WindowStyle::withAlpha(WindowStyle::primary(pal), isDown() ? 0.14 : 0.07));
        painter.drawRoundedRect(r, 4, 4);
    }
    QColor color = m_foreground.isValid() ? m_foreground : (on ? WindowStyle::accent(pal) : WindowStyle::secondary(pal));
    if (!isEnabled())
        color = WindowStyle::withAlpha(color, 0.35);
    if (m_glyph == Glyph::none) {
        painter.setPen(color);
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter, text());
        return;
    }
    const qreal s = m_glyphSize;
    if (!text().isEmpty()) {
        const QRectF box(QPointF(4, (height() - s) / 2.0), QSizeF(s, s));
        drawGlyph(painter, m_glyph, box, color);
        painter.setPen(color);
        painter.setFont(font());
        painter.drawText(QRectF(box.right() + 4, 0, width() - box.right() - 4, height()), Qt::AlignLeft | Qt::AlignVCenter,
                         text());
        return;
    }
    const QRectF box(QPointF((width() - s) / 2.0, (height() - s) / 2.0), QSizeF(s, s));
    drawGlyph(painter, m_glyph, box, color);
}

// Glyphs are drawn on a 16-unit grid scaled into the box, so they stay crisp at any size.
void GlyphButton::drawGlyph(QPainter &painter, Glyph glyph, const QRectF &box, const QColor &color)
{
    painter.save();
    painter.translate(box.topLeft());
    painter.scale(box.width() / 16.0, box.height() / 16.0);
    QPen pen(color, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const auto line = [&](qreal x1, qreal y1, qreal x2, qreal y2) { painter.drawLine(QPointF(x1, y1), QPointF(x2, y2)); };
    const auto dot = [&](qreal x, qreal y, qreal radius) {
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QPointF(x, y), radius, radius);
        painter.restore();
    };
    switch (glyph) {
    case Glyph::none:
        break;
    case Glyph::inlineCode:
        painter.drawPolyline(QPolygonF({{5, 4}, {1.5, 8}, {5, 12}}));
        painter.drawPolyline(QPolygonF({{11, 4}, {14.5, 8}, {11, 12}}));
        line(9.2, 3, 6.8, 13);
        break;
    case Glyph::codeBlock: {
        QPainterPath left;
        left.moveTo(6, 2);
        left.cubicTo(3.5, 2, 4.5, 7.2, 2, 8);
        left.cubicTo(4.5, 8.8, 3.5, 14, 6, 14);
        painter.drawPath(left);
        QPainterPath right;
        right.moveTo(10, 2);
        right.cubicTo(12.5, 2, 11.5, 7.2, 14, 8);
        right.cubicTo(11.5, 8.8, 12.5, 14, 10, 14);
        painter.drawPath(right);
        break;
    }
    case Glyph::link:
        painter.save();
        painter.translate(8, 8);
        painter.rotate(-45);
        painter.drawRoundedRect(QRectF(-7.5, -2.6, 8, 5.2), 2.6, 2.6);
        painter.drawRoundedRect(QRectF(-0.5, -2.6, 8, 5.2), 2.6, 2.6);
        painter.restore();
        break;
    case Glyph::quote:
        painter.save();
        painter.setPen(QPen(color, 2.0, Qt::SolidLine, Qt::RoundCap));
        line(2.5, 3, 2.5, 13);
        painter.restore();
        line(6, 4, 14, 4);
        line(6, 8, 14, 8);
        line(6, 12, 11, 12);
        break;
    case Glyph::bulletList:
        for (const qreal y : {3.5, 8.0, 12.5}) {
            dot(2.5, y, 1.3);
            line(6, y, 14.5, y);
        }
        break;
    case Glyph::numberedList: {
        QFont f = WindowStyle::font(5.2, QFont::DemiBold);
        painter.setFont(f);
        int n = 1;
        for (const qreal y : {3.5, 8.0, 12.5}) {
            painter.drawText(QRectF(0, y - 3, 4.5, 6), Qt::AlignCenter, QString::number(n++));
            line(6.5, y, 14.5, y);
        }
        break;
    }
    case Glyph::taskList:
        painter.drawRoundedRect(QRectF(1.2, 1.5, 5, 5), 1, 1);
        painter.drawPolyline(QPolygonF({{2.4, 4}, {3.6, 5.2}, {5.4, 2.8}}));
        painter.drawRoundedRect(QRectF(1.2, 9.5, 5, 5), 1, 1);
        line(8.5, 4, 14.5, 4);
        line(8.5, 12, 14.5, 12);
        break;
    case Glyph::horizontalRule:
        line(2, 8, 14, 8);
        break;
    case Glyph::table:
        painter.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 1.5, 1.5);
        line(1.5, 6.2, 14.5, 6.2);
        line(1.5, 9.8, 14.5, 9.8);
        line(6, 2.5, 6, 13.5);
        line(10.3, 2.5, 10.3, 13.5);
        break;
    case Glyph::outline:
        dot(2.2, 3.5, 1.2);
        line(5, 3.5, 14.5, 3.5);
        dot(5.2, 8, 1.2);
        line(8, 8, 14.5, 8);
        dot(5.2, 12.5, 1.2);
        line(8, 12.5, 14.5, 12.5);
        break;
    case Glyph::sidebar:
        painter.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 2, 2);
        line(6, 2.5, 6, 13.5);
        break;
    case Glyph::plus:
        line(8, 2.5, 8, 13.5);
        line(2.5, 8, 13.5, 8);
        break;
    case Glyph::close:
        painter.save();
        painter.setPen(QPen(color, 2.0, Qt::SolidLine, Qt::RoundCap));
        line(4, 4, 12, 12);
        line(12, 4, 4, 12);
        painter.restore();
        break;
    case Glyph::autoScheme: {
        painter.drawEllipse(QPointF(8, 8), 6, 6);
        QPainterPath half;
        half.moveTo(8, 2);
        half.arcTo(QRectF(2, 2, 12, 12), 90, 180);
        half.closeSubpath();
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(half);
        painter.restore();
        break;
    }
    case Glyph::lightScheme:
        painter.drawEllipse(QPointF(8, 8), 3, 3);
        for (int i = 0; i < 8; ++i) {
            const qreal a = qDegreesToRadians(45.0 * i);
            line(8 + 5.0 * qCos(a), 8 + 5.0 * qSin(a), 8 + 6.8 * qCos(a), 8 + 6.8 * qSin(a));
        }
        break;
    case Glyph::darkScheme: {
        QPainterPath moon;
        moon.addEllipse(QPointF(7.5, 8.5), 5.5, 5.5);
        QPainterPath bite;
        bite.addEllipse(QPointF(11, 5), 4.8, 4.8);
        painter.drawPath(moon.subtracted(bite));
        break;
    }
    case Glyph::copy:
        // Two sheets, the front one over the back one's corner.
        painter.drawPolyline(QPolygonF({{4.5, 11.5}, {2.5, 11.5}, {2.5, 1.5}, {10.5, 1.5}, {10.5, 3.5}}));
        painter.drawRoundedRect(QRectF(5.5, 4.5, 8, 10), 1.2, 1.2);
        break;
    case Glyph::checkmark:
        painter.drawPolyline(QPolygonF({{2.5, 8.5}, {6.2, 12.2}, {13.5, 3.8}}));
        break;
    case Glyph::richText:
        // A page with a heading bar and text lines.
        painter.drawRoundedRect(QRectF(2.5, 1.5, 11, 13), 1.2, 1.2);
        painter.save();
        painter.setPen(QPen(color, 2.0, Qt::SolidLine, Qt::RoundCap));
        line(5, 4.8, 9, 4.8);
        painter.restore();
        line(5, 8, 11, 8);
        line(5, 10.5, 11, 10.5);
        line(5, 13, 8.5, 13);
        break;
    case Glyph::share:
        // An arrow leaving an open box.
        painter.drawPolyline(QPolygonF({{5.5, 6.5}, {3, 6.5}, {3, 14.5}, {13, 14.5}, {13, 6.5}, {10.5, 6.5}}));
        line(8, 1.5, 8, 10);
        painter.drawPolyline(QPolygonF({{5.2, 4.2}, {8, 1.5}, {10.8, 4.2}}));
        break;
    }
    painter.restore();
}
