#include "TolvernPlainButton.h"

#include <QPainter>
#include <QPainterPath>

TolvernPlainButton::TolvernPlainButton(const QString &text, int pixelSize, QFont::Weight weight,
                                       const QColor &color, QWidget *parent)
    : TolvernFocusButton(parent), m_pixelSize(pixelSize), m_weight(weight), m_color(color)
{
    setText(text);
    setAccessibleName(text);
    setCursor(Qt::PointingHandCursor);
}

void TolvernPlainButton::setFill(const QColor &fill, double radius)
{
    m_fill = fill;
    m_radius = radius;
    update();
}

void TolvernPlainButton::setMinimumButtonHeight(int height)
{
    m_minHeight = height;
    updateGeometry();
}

QFont TolvernPlainButton::labelFont() const
{
    QFont font = this->font();
    font.setPixelSize(m_pixelSize);
    font.setWeight(m_weight);
    return font;
}

QSize TolvernPlainButton::sizeHint() const
{
    const QFontMetrics metrics(labelFont());
    return QSize(metrics.horizontalAdvance(text()) + 2, qMax(m_minHeight, metrics.height()));
}

QSize TolvernPlainButton::minimumSizeHint() const
{
    return sizeHint();
}

void TolvernPlainButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_fill.isValid()) {
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), m_radius, m_radius);
        painter.fillPath(path, m_fill);
    }
    painter.setFont(labelFont());
    painter.setPen(isDown() ? m_color.darker(130) : m_color);
    painter.drawText(rect(), Qt::AlignCenter, text());
    paintFocusRing(painter, QRectF(rect()), m_fill.isValid() ? m_radius : 4.0, m_color);
}
