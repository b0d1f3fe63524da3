#include "FolderSearchSymbol.h"

#include "window/WindowStyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

FolderSearchSymbol::FolderSearchSymbol(Shape shape, qreal size, QWidget *parent)
    : QWidget(parent)
    , m_shape(shape)
{
    setFixedSize(qCeil(size), qCeil(size));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void FolderSearchSymbol::setShape(Shape shape)
{
    if (shape == m_shape)
        return;
    m_shape = shape;
    update();
}

void FolderSearchSymbol::setStrength(qreal strength)
{
    m_strength = strength;
    update();
}

void FolderSearchSymbol::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paint(painter, m_shape, QRectF(rect()), WindowStyle::withAlpha(WindowStyle::primary(palette()), m_strength));
}

namespace {

void magnifier(QPainter &painter, const QRectF &box)
{
    const qreal r = box.width() * 0.3;
    const QPointF centre(box.left() + box.width() * 0.42, box.top() + box.height() * 0.42);
    painter.drawEllipse(centre, r, r);
    const qreal d = r * 0.7071;
    painter.drawLine(centre + QPointF(d, d), QPointF(box.right() - box.width() * 0.1, box.bottom() - box.height() * 0.1));
}

// A page with a folded corner; its text lines unless the box is left for something else.
void page(QPainter &painter, const QRectF &box, bool lines)
{
    const qreal w = box.width() * 0.62, h = box.height() * 0.82;
    const QRectF sheet(box.center().x() - w / 2, box.center().y() - h / 2, w, h);
    const qreal fold = w * 0.32;
    QPainterPath path;
    path.moveTo(sheet.topLeft());
    path.lineTo(sheet.right() - fold, sheet.top());
    path.lineTo(sheet.right(), sheet.top() + fold);
    path.lineTo(sheet.bottomRight());
    path.lineTo(sheet.bottomLeft());
    path.closeSubpath();
    painter.drawPath(path);
    painter.drawPolyline(QPolygonF{QPointF(sheet.right() - fold, sheet.top()),
                                   QPointF(sheet.right() - fold, sheet.top() + fold),
                                   QPointF(sheet.right(), sheet.top() + fold)});
    if (!lines)
        return;
    for (int i = 0; i < 3; ++i) {
        const qreal y = sheet.top() + h * (0.42 + 0.17 * i);
        painter.drawLine(QPointF(sheet.left() + w * 0.22, y), QPointF(sheet.right() - w * 0.22, y));
    }
}

} // namespace

void FolderSearchSymbol::paint(QPainter &painter, Shape shape, const QRectF &box, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, qMax(1.2, box.width() / 14.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    switch (shape) {
    case Shape::magnifier:
        magnifier(painter, box);
        break;
    case Shape::document:
        page(painter, box, true);
        break;
    case Shape::documentSearch: {
        page(painter, box.adjusted(0, 0, -box.width() * 0.2, 0), false);
        const QRectF lens(box.center().x() - box.width() * 0.22, box.center().y() - box.height() * 0.12,
                          box.width() * 0.6, box.height() * 0.6);
        magnifier(painter, lens);
        break;
    }
    case Shape::noMatches: {
        const QRectF ring = box.adjusted(box.width() * 0.08, box.height() * 0.08, -box.width() * 0.08,
                                         -box.height() * 0.08);
        painter.drawEllipse(ring);
        const qreal inset = ring.width() * 0.32;
        const QRectF cross = ring.adjusted(inset, inset, -inset, -inset);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
        break;
    }
    }
    painter.restore();
}
