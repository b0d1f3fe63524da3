#include "QuickOpenGlyph.h"

#include <QPainter>
#include <QPainterPath>

namespace {

void drawPage(QPainter &painter, const QRectF &box)
{
    const qreal fold = box.width() * 0.3;
    QPainterPath page;
    page.moveTo(box.left(), box.top());
    page.lineTo(box.right() - fold, box.top());
    page.lineTo(box.right(), box.top() + fold);
    page.lineTo(box.right(), box.bottom());
    page.lineTo(box.left(), box.bottom());
    page.closeSubpath();
    page.moveTo(box.right() - fold, box.top());
    page.lineTo(box.right() - fold, box.top() + fold);
    page.lineTo(box.right(), box.top() + fold);
    painter.drawPath(page);
    for (int line = 1; line <= 3; ++line) {
        const qreal y = box.top() + fold + line * (box.height() - fold) / 4.5;
        painter.drawLine(QPointF(box.left() + box.width() * 0.2, y), QPointF(box.right() - box.width() * 0.2, y));
    }
}

void drawMagnifier(QPainter &painter, const QRectF &box)
{
    const qreal lens = box.width() * 0.62;
    const QRectF circle(box.left(), box.top(), lens, lens);
    painter.drawEllipse(circle);
    const qreal offset = lens * 0.5 * 0.7071;
    painter.drawLine(circle.center() + QPointF(offset, offset), box.bottomRight());
}

} // namespace

QPixmap QuickOpenGlyph::pixmap(Kind kind, int size, const QColor &color, qreal devicePixelRatio)
{
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal stroke = std::max(1.0, size / 12.0);
    painter.setPen(QPen(color, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QRectF box = QRectF(0, 0, size, size).adjusted(stroke, stroke, -stroke, -stroke);
    switch (kind) {
    case Page:
        drawPage(painter, box.adjusted(box.width() * 0.12, 0, -box.width() * 0.12, 0));
        break;
    case Magnifier:
        drawMagnifier(painter, box);
        break;
    case PageSearch: {
        drawPage(painter, box.adjusted(0, 0, -box.width() * 0.25, -box.height() * 0.1));
        const QRectF lens(box.left() + box.width() * 0.42, box.top() + box.height() * 0.42, box.width() * 0.58,
                          box.height() * 0.58);
        painter.setBrush(Qt::NoBrush);
        drawMagnifier(painter, lens);
        break;
    }
    case Clear:
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(box);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setPen(QPen(Qt::black, stroke * 1.4, Qt::SolidLine, Qt::RoundCap));
        const QRectF cross = box.adjusted(box.width() * 0.32, box.height() * 0.32, -box.width() * 0.32,
                                          -box.height() * 0.32);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
        break;
    }
    return pixmap;
}
