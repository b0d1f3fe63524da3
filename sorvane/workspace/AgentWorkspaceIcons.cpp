#include "AgentWorkspaceIcons.h"

#include <QHash>
#include <QPainter>
#include <QPixmapCache>

namespace {

QString resourceOf(AgentWorkspaceIcons::Symbol symbol)
{
    using S = AgentWorkspaceIcons::Symbol;
    switch (symbol) {
    case S::sparkles: return QStringLiteral(":/workspace/sparkles.svg");
    case S::folder: return QStringLiteral(":/workspace/folder.svg");
    case S::folderFill: return QStringLiteral(":/workspace/folder-fill.svg");
    case S::document: return QStringLiteral(":/workspace/document.svg");
    case S::star: return QStringLiteral(":/workspace/star.svg");
    case S::starFill: return QStringLiteral(":/workspace/star-fill.svg");
    case S::xmarkCircleFill: return QStringLiteral(":/workspace/xmark-circle-fill.svg");
    case S::ellipsisCircle: return QStringLiteral(":/workspace/ellipsis-circle.svg");
    case S::folderBadgeGear: return QStringLiteral(":/workspace/folder-badge-gear.svg");
    }
    return QString();
}

// The freedesktop names of the symbols a theme is likely to draw well.
QString themeNameOf(AgentWorkspaceIcons::Symbol symbol)
{
    using S = AgentWorkspaceIcons::Symbol;
    switch (symbol) {
    case S::folder: return QStringLiteral("folder");
    case S::document: return QStringLiteral("text-x-generic");
    default: return QString();
    }
}

// Theme lookups are asked once per symbol; rows are painted often.
bool themeHas(AgentWorkspaceIcons::Symbol symbol)
{
    static QHash<int, bool> known;
    const auto found = known.constFind(int(symbol));
    if (found != known.cend())
        return *found;
    const QString name = themeNameOf(symbol);
    const bool has = !name.isEmpty() && QIcon::hasThemeIcon(name);
    known.insert(int(symbol), has);
    return has;
}

} // namespace

QPixmap AgentWorkspaceIcons::pixmap(Symbol symbol, const QColor &color, int size, qreal devicePixelRatio)
{
    const int pixels = qMax(1, qRound(size * devicePixelRatio));
    const QString key = QStringLiteral("sorvane-ws-%1-%2-%3").arg(int(symbol)).arg(color.rgba()).arg(pixels);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;
    QPixmap shape = QIcon(resourceOf(symbol)).pixmap(QSize(pixels, pixels));
    QPixmap tinted(pixels, pixels);
    tinted.fill(Qt::transparent);
    {
        QPainter painter(&tinted);
        painter.drawPixmap(0, 0, shape);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(tinted.rect(), color);
    }
    tinted.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, tinted);
    return tinted;
}

QIcon AgentWorkspaceIcons::icon(Symbol symbol, const QColor &color)
{
    QIcon result;
    for (int size : {16, 24, 32, 48})
        result.addPixmap(pixmap(symbol, color, size, 1.0));
    return result;
}

QIcon AgentWorkspaceIcons::themedIcon(Symbol symbol, const QColor &color)
{
    if (themeHas(symbol))
        return QIcon::fromTheme(themeNameOf(symbol));
    return icon(symbol, color);
}

void AgentWorkspaceIcons::paint(QPainter &painter, Symbol symbol, const QColor &color, const QRectF &box, int size,
                                bool themed)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    QPixmap image;
    if (themed && themeHas(symbol))
        image = QIcon::fromTheme(themeNameOf(symbol)).pixmap(QSize(size, size), ratio);
    else
        image = pixmap(symbol, color, size, ratio);
    const QSizeF logical = QSizeF(image.size()) / image.devicePixelRatio();
    const QPointF at(box.center().x() - logical.width() / 2, box.center().y() - logical.height() / 2);
    painter.drawPixmap(at, image);
}
