#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

class QPainter;
class QRectF;

// The AI workspace's symbols: the desktop theme's icon where the freedesktop naming
// has one (folder, text document), else our own line drawings in one colour, so the
// accent, yellow and muted tints of the sidebar hold in light and dark alike.
class AgentWorkspaceIcons
{
public:
    enum class Symbol {
        sparkles,
        folder,
        folderFill,
        document,
        star,
        starFill,
        xmarkCircleFill,
        ellipsisCircle,
        folderBadgeGear,
    };

    AgentWorkspaceIcons() = delete;

    // Ours, tinted.
    static QIcon icon(Symbol symbol, const QColor &color);
    static QPixmap pixmap(Symbol symbol, const QColor &color, int size, qreal devicePixelRatio);
    // The theme's icon for the symbol when there is one, else ours tinted.
    static QIcon themedIcon(Symbol symbol, const QColor &color);
    // Draws the symbol centred in box at the given size.
    static void paint(QPainter &painter, Symbol symbol, const QColor &color, const QRectF &box, int size,
                      bool themed = false);
};
