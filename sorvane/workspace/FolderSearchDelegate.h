#pragma once

#include <QStyledItemDelegate>

// Paints the rows of FolderSearchResultModel: a file row (symbol, name, parent folder,
// count) and its line rows (line number, trimmed text cut with an ellipsis), with a
// faint rule under each file's last row.
class FolderSearchDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static constexpr int padding = 12;
    static constexpr int sectionPadding = 8;
    static constexpr int lineSpacing = 4;
    static constexpr int lineNumberWidth = 36;
};
