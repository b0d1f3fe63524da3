#include "SorvaneBrandMark.h"

#include "WindowStyle.h"

#include <QApplication>
#include <QFile>
#include <QGraphicsDropShadowEffect>
#include <QIcon>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int shadowMargin = 8;
}

SorvaneBrandMark::SorvaneBrandMark(int size, qreal cornerRadius, QWidget *parent)
    : QWidget(parent)
    , m_size(size)
    , m_cornerRadius(cornerRadius)
    , m_image(loadImage(size))
{
    // Room around the square so the shadow is not cut off.
    setFixedSize(size + 2 * shadowMargin, size + 2 * shadowMargin);
    setAccessibleName(QStringLiteral("Sorvane"));
    auto *shadow = new QGraphicsDropShadowEffect(this);
    shadow->setColor(QColor(0, 0, 0, int(255 * 0.35)));
    shadow->setBlurRadius(12);
    shadow->setOffset(0, 2);
    setGraphicsEffect(shadow);
}

QImage SorvaneBrandMark::loadImage(int size)
{
    const qreal scale = qApp ? qApp->devicePixelRatio() : 1.0;
    const QSize pixels(qRound(size * scale), qRound(size * scale));
    for (const char *name : {":/AppIcon.png", ":/AppIcon.svg", ":/icons/AppIcon.png", ":/icons/AppIcon.svg"}) {
        const QString path = QString::fromLatin1(name);
        if (!QFile::exists(path))
            continue;
        const QImage image = QIcon(path).pixmap(pixels).toImage();
        if (!image.isNull())
            return image;
    }
    const QIcon appIcon = QApplication::windowIcon();
    if (!appIcon.isNull())
        return appIcon.pixmap(pixels).toImage();
    return {};
}

void SorvaneBrandMark::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF square(shadowMargin, shadowMargin, m_size, m_size);
    QPainterPath clip;
    clip.addRoundedRect(square, m_cornerRadius, m_cornerRadius);
    if (m_image.isNull()) {
        painter.fillPath(clip, WindowStyle::withAlpha(WindowStyle::primary(palette()), 0.12));
        return;
    }
    painter.setClipPath(clip);
    painter.drawImage(square, m_image);
}
