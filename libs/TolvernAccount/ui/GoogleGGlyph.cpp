#include "GoogleGGlyph.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr QPointF kCentre(12, 12);
constexpr double kOuter = 10.0;
constexpr double kInner = 6.2;

// A ring segment from startDegrees, sweeping counter-clockwise by spanDegrees.
QPainterPath ringSegment(double startDegrees, double spanDegrees)
{
    const QRectF outer(kCentre.x() - kOuter, kCentre.y() - kOuter, 2 * kOuter, 2 * kOuter);
    const QRectF inner(kCentre.x() - kInner, kCentre.y() - kInner, 2 * kInner, 2 * kInner);
    QPainterPath path;
    path.arcMoveTo(outer, startDegrees);
    path.arcTo(outer, startDegrees, spanDegrees);
    path.arcTo(inner, startDegrees + spanDegrees, -spanDegrees);
    path.closeSubpath();
    return path;
}

QColor rgb(double r, double g, double b)
{
    return QColor::fromRgbF(float(r), float(g), float(b));
}

} // namespace

void GoogleGGlyph::paint(QPainter &painter, const QRectF &square)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.translate(square.topLeft());
    const double scale = square.width() / 24.0;
    painter.scale(scale, scale);

    QPainterPath blue = ringSegment(-45, 45);
    blue.addRect(QRectF(12, 10.1, kCentre.x() + kOuter - 12, 3.8));
    blue.setFillRule(Qt::WindingFill);
    painter.setBrush(rgb(0.26, 0.52, 0.96));
    painter.drawPath(blue.simplified());
    painter.setBrush(rgb(0.2, 0.66, 0.33));
    painter.drawPath(ringSegment(205, 110));
    painter.setBrush(rgb(0.98, 0.74, 0.02));
    painter.drawPath(ringSegment(155, 50));
    painter.setBrush(rgb(0.92, 0.26, 0.21));
    painter.drawPath(ringSegment(42, 113));
    painter.restore();
}
