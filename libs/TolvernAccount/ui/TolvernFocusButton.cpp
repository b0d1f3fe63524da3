#include "TolvernFocusButton.h"

#include <QFocusEvent>
#include <QPainter>

void TolvernFocusButton::focusInEvent(QFocusEvent *event)
{
    m_keyboardFocus = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    QAbstractButton::focusInEvent(event);
    update();
}

void TolvernFocusButton::focusOutEvent(QFocusEvent *event)
{
    m_keyboardFocus = false;
    QAbstractButton::focusOutEvent(event);
    update();
}

void TolvernFocusButton::paintFocusRing(QPainter &painter, const QRectF &shape, double radius,
                                        const QColor &color) const
{
    if (!showsFocusRing())
        return;
    constexpr double inset = 3.0;
    constexpr double width = 2.0;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, width));
    painter.setBrush(Qt::NoBrush);
    const QRectF ring = shape.adjusted(inset, inset, -inset, -inset);
    const double ringRadius = qMax(0.0, radius - inset);
    painter.drawRoundedRect(ring, ringRadius, ringRadius);
    painter.restore();
}
