#include "QuickOpenRowDelegate.h"

#include "QuickOpenController.h"
#include "QuickOpenGlyph.h"
#include "window/WindowStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int outerInset = 4;
constexpr int padX = 14;
constexpr int padY = 6;
constexpr int glyphFrame = 20;
constexpr int glyphSize = 14;
constexpr int spacing = 10;
constexpr int cornerRadius = 6;

QFont nameFont()
{
    return WindowStyle::font(13, QFont::Medium);
}

QFont folderFont()
{
    return WindowStyle::font(11);
}

QFont ageFont()
{
    QFont font = WindowStyle::font(11);
    font.setFamily(QStringLiteral("monospace"));
    font.setStyleHint(QFont::Monospace);
    return font;
}

} // namespace

QuickOpenRowDelegate::QuickOpenRowDelegate(QuickOpenController *controller, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_controller(controller)
{
}

QSize QuickOpenRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const int height = padY + QFontMetrics(nameFont()).height() + 1 + QFontMetrics(folderFont()).height() + padY;
    return {option.rect.width(), height};
}

void QuickOpenRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                 const QModelIndex &index) const
{
    const bool selected = m_controller && index.row() == m_controller->selectedIndex();
    const QPalette &palette = option.palette;
    const QRect row = option.rect.adjusted(outerInset, 0, -outerInset, 0);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (selected) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(row), cornerRadius, cornerRadius);
        painter->fillPath(shape, WindowStyle::accent(palette));
    }
    const QColor white(Qt::white);
    const QRect content = row.adjusted(padX, padY, -padX, -padY);

    const QPixmap glyph = QuickOpenGlyph::pixmap(QuickOpenGlyph::Page, glyphSize,
                                                 selected ? white : WindowStyle::secondary(palette),
                                                 painter->device()->devicePixelRatioF());
    painter->drawPixmap(content.left() + (glyphFrame - glyphSize) / 2, content.center().y() - glyphSize / 2, glyph);

    int right = content.right();
    const QDateTime date = index.data(DateRole).toDateTime();
    if (date.isValid() && m_controller) {
        const QString age = m_controller->timeAgo(date);
        painter->setFont(ageFont());
        painter->setPen(selected ? WindowStyle::withAlpha(white, 0.6) : QColor(0x8e, 0x8e, 0x93));
        const int width = painter->fontMetrics().horizontalAdvance(age);
        painter->drawText(QRect(right - width, content.top(), width, content.height()), Qt::AlignVCenter, age);
        right -= width + spacing;
    }

    const int textLeft = content.left() + glyphFrame + spacing;
    const int textWidth = std::max(0, right - textLeft);
    const QFontMetrics nameMetrics(nameFont());
    const QFontMetrics folderMetrics(folderFont());
    const int top = content.center().y() - (nameMetrics.height() + 1 + folderMetrics.height()) / 2;
    painter->setFont(nameFont());
    painter->setPen(selected ? white : WindowStyle::primary(palette));
    painter->drawText(QRect(textLeft, top, textWidth, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, textWidth));
    painter->setFont(folderFont());
    painter->setPen(selected ? WindowStyle::withAlpha(white, 0.7) : WindowStyle::secondary(palette));
    painter->drawText(QRect(textLeft, top + nameMetrics.height() + 1, textWidth, folderMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      folderMetrics.elidedText(index.data(FolderRole).toString(), Qt::ElideRight, textWidth));
    painter->restore();
}
