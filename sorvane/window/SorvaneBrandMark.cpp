#include "SorvaneBrandMark.h"

#include <QApplication>
#include <QFile>
#include <QGraphicsDropShadowEffect>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {
// Rendered once at a size that stays sharp for every mark on a 2× screen.
constexpr int imagePixels = 512;

QImage resolveImage()
{
    for (const char *name : {":/AppIcon.png", ":/AppIcon.svg", ":/icons/AppIcon.png", ":/icons/AppIcon.svg"}) {
        const QString path = QString::fromLatin1(name);
        if (!QFile::exists(path))
            continue;
        const QImage image = QIcon(path).pixmap(imagePixels, imagePixels).toImage();
        if (!image.isNull())
            return image;
    }
    const QIcon appIcon = QApplication::windowIcon();
    if (!appIcon.isNull())
        return appIcon.pixmap(imagePixels, imagePixels).toImage();
    return {};
}
} // namespace

SorvaneBrandMark::SorvaneBrandMark(int size, std::optional<qreal> cornerRadius, QWidget *parent)
    : SorvaneBrandMark(sharedImage(), size, cornerRadius, parent)
{
}

SorvaneBrandMark::SorvaneBrandMark(const QImage &image, int size, std::optional<qreal> cornerRadius, QWidget *parent)
    : QWidget(parent)
    , m_size(size)
    , m_cornerRadius(cornerRadius.value_or(size * 2.0 / 9.0))
    , m_image(image)
{
    // Room around the square so the blur and the downward offset are not cut off.
    const int margin = int(std::ceil(shadowRadius() + shadowOffset().y()));
    setFixedSize(size + 2 * margin, size + 2 * margin);
    setAccessibleName(QStringLiteral("Sorvane"));
    auto *shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor::fromRgbF(0, 0, 0, 0.35));
    shadow->setBlurRadius(shadowRadius());
    shadow->setOffset(shadowOffset());
    setGraphicsEffect(shadow);
}

QRectF SorvaneBrandMark::markRect() const
{
    return QRectF((width() - m_size) / 2.0, (height() - m_size) / 2.0, m_size, m_size);
}

QColor SorvaneBrandMark::fallbackColor()
{
    return QColor(38, 133, 89);
}

const QImage &SorvaneBrandMark::sharedImage()
{
    static const QImage image = resolveImage();
    return image;
}

void SorvaneBrandMark::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF square = markRect();
    QPainterPath clip;
    clip.addRoundedRect(square, m_cornerRadius, m_cornerRadius);
    if (m_image.isNull()) {
        painter.fillPath(clip, fallbackColor());
        return;
    }
    painter.setClipPath(clip);
    // Fills the square, keeping the image's proportions.
    QSizeF drawn = QSizeF(m_image.size()).scaled(square.size(), Qt::KeepAspectRatioByExpanding);
    QRectF target(QPointF(), drawn);
    target.moveCenter(square.center());
    painter.drawImage(target, m_image);
}
