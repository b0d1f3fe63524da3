#pragma once

#include <QStyledItemDelegate>

// Paints the rows of FolderSearchResultModel: a file row (symbol, name, parent folder,
// count) and its line rows (line number, trimmed text cut with an ellipsis), with a
// faint rule under each file's last row.
class FolderSearchDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit FolderSearchDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static constexpr int padding = 12;
    static constexpr int sectionPadding = 8;
    static constexpr int lineSpacing = 4;
    static constexpr int lineNumberWidth = 36;

private:
    // Asked for every row when results arrive: measured once.
    int m_fileRowHeight;
    int m_lineRowHeight;
};
