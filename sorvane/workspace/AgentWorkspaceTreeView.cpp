#include "AgentWorkspaceTreeView.h"

#include "AgentWorkspaceModel.h"
#include "AgentWorkspaceRowDelegate.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// The tree's rows keep this far from the right edge; pins and titles span the width.
constexpr int treeInset = 4;

} // namespace

AgentWorkspaceTreeView::AgentWorkspaceTreeView(QWidget *parent)
    : QTreeView(parent)
{
    setHeaderHidden(true);
    setFrameShape(QFrame::NoFrame);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Folders open through their arrow (or the arrow keys), never by clicking the name.
    setExpandsOnDoubleClick(false);
    setIndentation(14);
    setViewportMargins(0, 6, 0, 6);
    setAnimated(false);
    setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_Hover);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    header()->setStretchLastSection(true);
    setAccessibleName(QStringLiteral("AI workspace files"));
}

QRect AgentWorkspaceTreeView::rowRect(const QModelIndex &index) const
{
    const QRect visual = visualRect(index);
    if (visual.isEmpty())
        return {};
    const auto *workspace = qobject_cast<const AgentWorkspaceModel *>(index.model());
    if (!workspace || workspace->kind(index) != AgentWorkspaceModel::RowKind::Node)
        return QRect(0, visual.top(), viewport()->width(), visual.height());
    return QRect(visual.left(), visual.top(), viewport()->width() - treeInset - visual.left(), visual.height());
}

void AgentWorkspaceTreeView::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    opt.state &= ~(QStyle::State_MouseOver | QStyle::State_HasFocus | QStyle::State_Selected);
    if (index == m_hovered)
        opt.state |= QStyle::State_MouseOver;
    if (index == currentIndex() && hasFocus())
        opt.state |= QStyle::State_HasFocus;
    const auto *workspace = qobject_cast<const AgentWorkspaceModel *>(index.model());
    const bool node = workspace && workspace->kind(index) == AgentWorkspaceModel::RowKind::Node;
    if (node) {
        int depth = 0;
        for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
            ++depth;
        const int indent = (depth + 1) * indentation();
        const int x = header()->sectionViewportPosition(0);
        drawBranches(painter, QRect(x, option.rect.top(), indent, option.rect.height()), index);
        opt.rect = QRect(x + indent, option.rect.top(), viewport()->width() - treeInset - x - indent, option.rect.height());
    } else {
        opt.rect = QRect(0, option.rect.top(), viewport()->width(), option.rect.height());
    }
    itemDelegateForIndex(index)->paint(painter, opt, index);
}

void AgentWorkspaceTreeView::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        Q_EMIT rowActivated(currentIndex());
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

QModelIndex AgentWorkspaceTreeView::buttonAt(const QPoint &point) const
{
    const QModelIndex index = indexAt(point);
    if (!index.isValid())
        return {};
    return AgentWorkspaceRowDelegate::buttonRect(index, rowRect(index), true).contains(point) ? index : QModelIndex();
}

void AgentWorkspaceTreeView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex button = event->button() == Qt::LeftButton ? buttonAt(event->position().toPoint()) : QModelIndex();
    m_pressedButton = button;
    if (button.isValid()) {
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void AgentWorkspaceTreeView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_pressedButton.isValid()) {
        const QModelIndex pressed = m_pressedButton;
        m_pressedButton = QModelIndex();
        event->accept();
        if (buttonAt(event->position().toPoint()) != pressed)
            return;
        const auto *workspace = qobject_cast<const AgentWorkspaceModel *>(pressed.model());
        if (workspace && workspace->kind(pressed) == AgentWorkspaceModel::RowKind::Pin)
            Q_EMIT unpinClicked(pressed);
        else
            Q_EMIT starClicked(pressed);
        return;
    }
    QTreeView::mouseReleaseEvent(event);
}

void AgentWorkspaceTreeView::mouseDoubleClickEvent(QMouseEvent *event)
{
    // A quick second click on a star is another click, not a double click on the row.
    if (event->button() == Qt::LeftButton && buttonAt(event->position().toPoint()).isValid()) {
        mousePressEvent(event);
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

bool AgentWorkspaceTreeView::viewportEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
        setHovered(indexAt(static_cast<QHoverEvent *>(event)->position().toPoint()));
        break;
    case QEvent::MouseMove:
        setHovered(indexAt(static_cast<QMouseEvent *>(event)->position().toPoint()));
        break;
    case QEvent::HoverLeave:
    case QEvent::Leave:
        setHovered({});
        break;
    default:
        break;
    }
    return QTreeView::viewportEvent(event);
}

void AgentWorkspaceTreeView::setHovered(const QModelIndex &index)
{
    if (index == m_hovered)
        return;
    const QModelIndex previous = m_hovered;
    m_hovered = index;
    if (previous.isValid())
        viewport()->update(QRect(0, visualRect(previous).top(), viewport()->width(), visualRect(previous).height()));
    if (index.isValid())
        viewport()->update(QRect(0, visualRect(index).top(), viewport()->width(), visualRect(index).height()));
}
