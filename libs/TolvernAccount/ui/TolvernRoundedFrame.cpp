#include "TolvernRoundedFrame.h"

#include <QPainter>

TolvernRoundedFrame::TolvernRoundedFrame(double radius, const QColor &border, QWidget *parent)
    : QWidget(parent), m_radius(radius), m_border(border)
{
}

void TolvernRoundedFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(m_border, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), m_radius - 0.5, m_radius - 0.5);
}
