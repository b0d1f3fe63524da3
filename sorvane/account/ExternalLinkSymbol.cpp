#include "ExternalLinkSymbol.h"

#include "window/WindowStyle.h"

#include <QPainter>
#include <QPainterPath>

ExternalLinkSymbol::ExternalLinkSymbol(int size, std::optional<QColor> color, QWidget *parent)
    : QWidget(parent), m_color(color)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ExternalLinkSymbol::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = width();
    const qreal line = qMax<qreal>(1.2, side / 9.0);
    QPen pen(m_color.value_or(WindowStyle::secondary(palette())), line, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const QRectF square = QRectF(0, 0, side, side).adjusted(line / 2, line / 2, -line / 2, -line / 2);
    painter.drawRoundedRect(square, side * 0.22, side * 0.22);
    // The arrow points up and right from the middle of the square.
    const QPointF tip(square.right() - side * 0.24, square.top() + side * 0.24);
    const QPointF tail(square.left() + side * 0.3, square.bottom() - side * 0.3);
    painter.drawLine(tail, tip);
    QPainterPath head;
    head.moveTo(tip.x() - side * 0.3, tip.y());
    head.lineTo(tip);
    head.lineTo(tip.x(), tip.y() + side * 0.3);
    painter.drawPath(head);
}
