#include "TolvernSymbol.h"

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

TolvernSymbol::TolvernSymbol(const QString &name, int size, const QColor &color, QWidget *parent)
    : QWidget(parent), m_name(name), m_size(size), m_color(color)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TranslucentBackground);
}

QPixmap TolvernSymbol::pixmap(const QString &name, int size, const QColor &color, qreal devicePixelRatio)
{
    QSvgRenderer renderer(QStringLiteral(":/tolvern-account/symbols/%1.svg").arg(name));
    if (!renderer.isValid())
        return QPixmap();
    const int pixels = qMax(1, qRound(size * devicePixelRatio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    // The drawings are black shapes; keep their coverage, take the colour.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    painter.end();
    QPixmap result = QPixmap::fromImage(image);
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

void TolvernSymbol::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, pixmap(m_name, m_size, m_color, devicePixelRatioF()));
}
