#include "TolvernSpinner.h"

#include <QPainter>
#include <QVariantAnimation>

TolvernSpinner::TolvernSpinner(int size, const QColor &color, QWidget *parent)
    : QWidget(parent), m_color(color), m_animation(new QVariantAnimation(this))
{
    setFixedSize(size, size);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(360.0);
    m_animation->setDuration(900);
    m_animation->setLoopCount(-1);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_angle = value.toDouble();
        update();
    });
}

void TolvernSpinner::showEvent(QShowEvent *)
{
    m_animation->start();
}

void TolvernSpinner::hideEvent(QHideEvent *)
{
    m_animation->stop();
}

void TolvernSpinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double pen = qMax(1.5, width() / 8.0);
    const QRectF ring = QRectF(rect()).adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2);
    QColor track = m_color;
    track.setAlphaF(m_color.alphaF() * 0.25f);
    painter.setPen(QPen(track, pen));
    painter.drawEllipse(ring);
    painter.setPen(QPen(m_color, pen, Qt::SolidLine, Qt::RoundCap));
    painter.drawArc(ring, int(-m_angle * 16), 100 * 16);
}
