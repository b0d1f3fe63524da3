#include "TolvernAppIcon.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr double kTileRadius = 10.0;
const QString kIconFolder = QStringLiteral(":/tolvern-account/app-icons");
} // namespace

TolvernAppIcon::TolvernAppIcon(const QString &slug, const std::optional<QString> &fallbackLetter,
                               const std::optional<QColor> &fallbackTint, double cornerRadius, QWidget *parent)
    : QWidget(parent), m_slug(slug.toLower()), m_fallbackTint(fallbackTint.value_or(defaultTint())),
      m_cornerRadius(cornerRadius)
{
    m_fallbackLetter = fallbackLetter ? *fallbackLetter : m_slug.left(1).toUpper();
    setAttribute(Qt::WA_TranslucentBackground);
}

QColor TolvernAppIcon::defaultTint()
{
    return QColor::fromRgbF(167 / 255.0f, 139 / 255.0f, 250 / 255.0f);
}

QString TolvernAppIcon::imagePath(const QString &slug)
{
    if (slug.isEmpty())
        return QString();
    const QFileInfoList entries = QDir(kIconFolder).entryInfoList(QDir::Files);
    for (const QFileInfo &entry : entries) {
        if (entry.completeBaseName() == slug && !QImageReader::imageFormat(entry.filePath()).isEmpty())
            return entry.filePath();
    }
    return QString();
}

void TolvernAppIcon::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    const QString path = imagePath(m_slug);
    if (path.isEmpty())
        paintTile(painter);
    else
        paintImage(painter, path);
}

void TolvernAppIcon::paintImage(QPainter &painter, const QString &path)
{
    QImageReader reader(path);
    const QSize natural = reader.size();
    QSizeF fitted = QSizeF(natural.isValid() ? natural : size());
    fitted.scale(QSizeF(size()), Qt::KeepAspectRatio);
    const QRectF target(QPointF((width() - fitted.width()) / 2.0, (height() - fitted.height()) / 2.0), fitted);
    reader.setScaledSize((fitted * devicePixelRatioF()).toSize());
    const QImage image = reader.read();
    QPainterPath clip;
    clip.addRoundedRect(target, m_cornerRadius, m_cornerRadius);
    painter.setClipPath(clip);
    painter.drawImage(target, image);
}

void TolvernAppIcon::paintTile(QPainter &painter)
{
    const QRectF shape = QRectF(rect());
    QColor fill = m_fallbackTint;
    fill.setAlphaF(fill.alphaF() * 0.18f);
    QPainterPath path;
    path.addRoundedRect(shape, kTileRadius, kTileRadius);
    painter.fillPath(path, fill);

    // The border keeps the library's violet whatever the tint.
    QColor border = defaultTint();
    border.setAlphaF(0.2f);
    painter.setPen(QPen(border, 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(shape.adjusted(0.5, 0.5, -0.5, -0.5), kTileRadius - 0.5, kTileRadius - 0.5);

    QFont font = this->font();
    font.setPixelSize(16);
    font.setWeight(QFont::ExtraBold);
    painter.setFont(font);
    painter.setPen(m_fallbackTint);
    painter.drawText(rect(), Qt::AlignCenter, m_fallbackLetter);
}
