#pragma once

#include <QPersistentModelIndex>
#include <QTreeView>

// The one list of the AI workspace sidebar: pins and section titles across the full
// width, the folder tree below with its disclosure arrows. The pointer's row and,
// while the list has the focus, the current row are marked; Enter activates the
// current row, the arrow keys move and open folders as in any tree.
class AgentWorkspaceTreeView : public QTreeView
{
    Q_OBJECT
public:
    explicit AgentWorkspaceTreeView(QWidget *parent = nullptr);

    QModelIndex hoveredIndex() const { return m_hovered; }
    // The rectangle a row is drawn in: the full width for titles and pins, after the
    // indentation for tree rows.
    QRect rowRect(const QModelIndex &index) const;

Q_SIGNALS:
    // Enter or Return on the current row.
    void rowActivated(const QModelIndex &index);
    // A click on a file row's star, or on a pin's cross; the row itself is not clicked.
    void starClicked(const QModelIndex &index);
    void unpinClicked(const QModelIndex &index);

protected:
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void setHovered(const QModelIndex &index);
    // The row whose button is under the point, or invalid.
    QModelIndex buttonAt(const QPoint &point) const;

    QPersistentModelIndex m_hovered;
    // The button pressed and not yet released.
    QPersistentModelIndex m_pressedButton;
};
