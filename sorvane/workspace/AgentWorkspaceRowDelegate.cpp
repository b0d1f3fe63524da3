#include "AgentWorkspaceRowDelegate.h"

#include "AgentWorkspaceIcons.h"
#include "AgentWorkspaceModel.h"
#include "AgentWorkspaceTreeView.h"
#include "window/WindowStyle.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace {

using Kind = AgentWorkspaceModel::RowKind;
using Symbol = AgentWorkspaceIcons::Symbol;

Kind kindOf(const QModelIndex &index)
{
    return static_cast<Kind>(index.data(AgentWorkspaceModel::KindRole).toInt());
}

QFont sectionFont()
{
    return WindowStyle::font(10, QFont::DemiBold);
}

QFont captionFont()
{
    return WindowStyle::font(11);
}

QFont caption2Font()
{
    return WindowStyle::font(10);
}

QFont nameFont(bool agent)
{
    return WindowStyle::font(12, agent ? QFont::DemiBold : QFont::Normal);
}

QColor yellow(const QPalette &palette)
{
    const bool dark = palette.color(QPalette::Base).lightnessF() < 0.5;
    return dark ? QColor(255, 214, 10) : QColor(235, 170, 0);
}

// The pressable part of a pin: the row less 6 on each side.
QRect pinPlate(const QRect &rowRect)
{
    return rowRect.adjusted(6, 0, -6, 0);
}

constexpr int notice_lines = 2;

} // namespace

QRect AgentWorkspaceRowDelegate::buttonRect(const QModelIndex &index, const QRect &rowRect, bool hovered)
{
    const Kind kind = kindOf(index);
    if (kind == Kind::Pin) {
        if (!hovered)
            return {};
        const QRect plate = pinPlate(rowRect);
        return QRect(plate.right() - 10 - 18 + 1, plate.center().y() - 9 + 1, 18, 18);
    }
    if (kind == Kind::Node) {
        if (index.data(AgentWorkspaceModel::IsFolderRole).toBool())
            return {};
        if (!hovered && !index.data(AgentWorkspaceModel::IsFavoriteRole).toBool())
            return {};
        return QRect(rowRect.right() - 6 - 18 + 1, rowRect.center().y() - 9 + 1, 18, 18);
    }
    return {};
}

QString AgentWorkspaceRowDelegate::buttonToolTip(const QModelIndex &index)
{
    const Kind kind = kindOf(index);
    if (kind == Kind::Pin)
        return QStringLiteral("Unpin");
    if (kind == Kind::Node && !index.data(AgentWorkspaceModel::IsFolderRole).toBool())
        return index.data(AgentWorkspaceModel::IsFavoriteRole).toBool() ? QStringLiteral("Unpin")
                                                                         : QStringLiteral("Pin to top");
    return QString();
}

QSize AgentWorkspaceRowDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &index) const
{
    switch (kindOf(index)) {
    case Kind::PinnedHeader:
    case Kind::CountHeader:
        return {0, 8 + QFontMetrics(sectionFont()).height() + 4};
    case Kind::PinnedGap:
        return {0, 10};
    case Kind::Placeholder:
        return {0, 6 + QFontMetrics(captionFont()).height() + 6};
    case Kind::Notice:
        return {0, 8 + notice_lines * QFontMetrics(caption2Font()).lineSpacing() + 6};
    case Kind::Pin:
    case Kind::Node:
        break;
    }
    return {0, 3 + qMax(QFontMetrics(nameFont(true)).height(), 16) + 3};
}

void AgentWorkspaceRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QPalette &pal = option.palette;
    const QRect rect = option.rect;
    const Kind kind = kindOf(index);
    const QString text = index.data(Qt::DisplayRole).toString();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    switch (kind) {
    case Kind::PinnedHeader:
    case Kind::CountHeader:
        painter->setFont(sectionFont());
        painter->setPen(WindowStyle::tertiary(pal));
        painter->drawText(rect.adjusted(12, 8, -12, -4), Qt::AlignLeft | Qt::AlignVCenter, text);
        break;
    case Kind::Placeholder:
        painter->setFont(captionFont());
        painter->setPen(WindowStyle::quaternary(pal));
        painter->drawText(rect.adjusted(12, 6, -12, -6), Qt::AlignLeft | Qt::AlignVCenter, text);
        break;
    case Kind::Notice:
        painter->setFont(caption2Font());
        painter->setPen(WindowStyle::tertiary(pal));
        painter->drawText(rect.adjusted(12, 8, -12, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
        break;
    case Kind::PinnedGap:
        break;
    case Kind::Pin:
    case Kind::Node: {
        const bool pin = kind == Kind::Pin;
        const bool folder = index.data(AgentWorkspaceModel::IsFolderRole).toBool();
        const bool agent = index.data(AgentWorkspaceModel::IsAgentDocRole).toBool();
        const bool open = index.data(AgentWorkspaceModel::IsOpenRole).toBool();
        const bool favorite = index.data(AgentWorkspaceModel::IsFavoriteRole).toBool();
        const bool hovered = option.state & QStyle::State_MouseOver;
        const bool focused = (option.state & QStyle::State_HasFocus) && (option.state & QStyle::State_Active);
        const QRect plate = pin ? pinPlate(rect) : rect;
        // The open document's row stays marked whether or not the pointer is on it.
        QColor background = Qt::transparent;
        if (open)
            background = WindowStyle::withAlpha(WindowStyle::accent(pal), 0.14);
        else if (hovered || focused)
            background = WindowStyle::withAlpha(WindowStyle::primary(pal), focused ? 0.08 : 0.05);
        if (background.alpha() > 0) {
            QPainterPath shape;
            shape.addRoundedRect(QRectF(plate), 5, 5);
            painter->fillPath(shape, background);
        }
        const int leading = pin ? 10 : 6;
        const int trailing = pin ? 26 : folder ? 6 : 24;
        const QRectF iconBox(plate.left() + leading, plate.top(), 16, plate.height());
        if (pin) {
            AgentWorkspaceIcons::paint(*painter, agent ? Symbol::sparkles : Symbol::starFill,
                                       agent ? WindowStyle::accent(pal) : yellow(pal), iconBox, 10);
        } else {
            const Symbol symbol = folder ? Symbol::folder : agent ? Symbol::sparkles : Symbol::document;
            AgentWorkspaceIcons::paint(*painter, symbol, agent ? WindowStyle::accent(pal) : WindowStyle::secondary(pal),
                                       iconBox, agent ? 11 : 13, !agent);
        }
        const QFont font = nameFont(agent);
        const QRect textRect(int(iconBox.right()) + 6, plate.top(), plate.right() - trailing - int(iconBox.right()) - 6,
                             plate.height());
        painter->setFont(font);
        painter->setPen(open ? WindowStyle::accent(pal) : WindowStyle::primary(pal));
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                          QFontMetrics(font).elidedText(text, Qt::ElideMiddle, textRect.width()));
        const QRect button = buttonRect(index, rect, hovered);
        if (!button.isEmpty()) {
            if (pin)
                AgentWorkspaceIcons::paint(*painter, Symbol::xmarkCircleFill, WindowStyle::secondary(pal), button, 10);
            else
                AgentWorkspaceIcons::paint(*painter, favorite ? Symbol::starFill : Symbol::star,
                                           favorite ? yellow(pal) : WindowStyle::secondary(pal), button, 10);
        }
        break;
    }
    }
    painter->restore();
}

bool AgentWorkspaceRowDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                          const QModelIndex &index)
{
    if (event->type() == QEvent::ToolTip) {
        // The rectangle the row is drawn in, which for the sidebar's list is not the
        // item's own.
        const auto *list = qobject_cast<const AgentWorkspaceTreeView *>(view);
        const QRect button = buttonRect(index, list ? list->rowRect(index) : option.rect, true);
        if (!button.isEmpty() && button.contains(event->pos())) {
            QToolTip::showText(event->globalPos(), buttonToolTip(index), view->viewport(), button);
            return true;
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}
