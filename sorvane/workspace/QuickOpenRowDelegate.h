#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class QuickOpenController;

// Draws one Quick Open row: page glyph, file name over its folder, the change age on
// the right; the highlighted row on the accent colour in white.
class QuickOpenRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    enum Role { FolderRole = Qt::UserRole + 1, DateRole };

    explicit QuickOpenRowDelegate(QuickOpenController *controller, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QPointer<QuickOpenController> m_controller;
};
