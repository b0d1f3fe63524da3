#pragma once

#include <QStyledItemDelegate>

// Draws the rows of the AI workspace's list (titles, pins, tree entries, notices) and
// the buttons that show on them: the star of a file row (while hovered or pinned)
// and the unpin cross of a pin (while hovered), with their tooltips. The list view
// takes the clicks on them.
class AgentWorkspaceRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    // Where the row's button sits in a row drawn in rowRect; empty when the row has
    // none right now (hovered is whether the pointer is over the row).
    static QRect buttonRect(const QModelIndex &index, const QRect &rowRect, bool hovered);
    // "Pin to top" or "Unpin" for a file row's star, "Unpin" for a pin's cross.
    static QString buttonToolTip(const QModelIndex &index);
};
