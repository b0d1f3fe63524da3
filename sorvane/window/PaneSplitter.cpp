#include "PaneSplitter.h"

#include <QPainter>
#include <QResizeEvent>

namespace {

// The grab area is transparent; only the rule in its middle is drawn.
class PaneSplitterHandle : public QSplitterHandle
{
public:
    using QSplitterHandle::QSplitterHandle;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const int x = width() / 2;
        painter.fillRect(QRect(x, 0, 1, height()), palette().color(QPalette::Mid));
    }
};

} // namespace

PaneSplitter::PaneSplitter(QWidget *parent)
    : QSplitter(Qt::Horizontal, parent)
{
    setHandleWidth(grabWidth);
    setChildrenCollapsible(false);
    connect(this, &QSplitter::splitterMoved, this, [this] {
        if (m_applying)
            return;
        const QList<int> widths = sizes();
        if (widths.size() == 2 && widths.at(0) > 0 && widths.at(1) > 0)
            m_leftShare = double(widths.at(0)) / double(widths.at(0) + widths.at(1));
    });
}

QSplitterHandle *PaneSplitter::createHandle()
{
    auto *handle = new PaneSplitterHandle(orientation(), this);
    handle->setCursor(Qt::SplitHCursor);
    return handle;
}

void PaneSplitter::resizeEvent(QResizeEvent *event)
{
    QSplitter::resizeEvent(event);
    applyShare();
}

void PaneSplitter::showEvent(QShowEvent *event)
{
    QSplitter::showEvent(event);
    applyShare();
}

void PaneSplitter::applyShare()
{
    // Only while both panes show; a single pane takes all the room anyway.
    if (count() != 2 || widget(0)->isHidden() || widget(1)->isHidden())
        return;
    const int room = width() - handleWidth();
    if (room <= 0)
        return;
    const int left = qRound(room * m_leftShare);
    m_applying = true;
    setSizes({left, room - left});
    m_applying = false;
}
