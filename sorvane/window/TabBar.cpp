#include "TabBar.h"

#include "GlyphButton.h"
#include "TabItemView.h"
#include "WindowStyle.h"
#include "documents/DocumentManager.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

// Without visible scroll bars a plain wheel would do nothing here: turn vertical
// wheel movement into sideways scrolling of the tabs.
class SidewaysScrollArea : public QScrollArea
{
public:
    using QScrollArea::QScrollArea;

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        const QPoint delta = event->pixelDelta().isNull() ? event->angleDelta() / 4 : event->pixelDelta();
        const int step = qAbs(delta.x()) > qAbs(delta.y()) ? delta.x() : delta.y();
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - step);
        event->accept();
    }
};

} // namespace

TabBar::TabBar(DocumentManager &manager, QWidget *parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_scroll(new SidewaysScrollArea(this))
    , m_strip(new QWidget)
    , m_stripLayout(new QHBoxLayout(m_strip))
    , m_newTab(new GlyphButton(GlyphButton::Glyph::plus, this))
{
    setFixedHeight(34);
    setAutoFillBackground(false);

    m_stripLayout->setContentsMargins(0, 0, 0, 0);
    m_stripLayout->setSpacing(0);
    m_stripLayout->addStretch(1);
    m_scroll->setWidget(m_strip);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    m_strip->setAutoFillBackground(false);

    m_newTab->setToolTip(QStringLiteral("New Tab"));
    m_newTab->setGlyphSize(11);
    m_newTab->setAccessibleName(QStringLiteral("New Tab"));
    connect(m_newTab, &GlyphButton::clicked, this, [this] { m_manager.newDocument(QString(), false); });

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 10, 0);
    layout->setSpacing(0);
    layout->addWidget(m_scroll, 1);
    layout->addSpacing(4);
    layout->addWidget(m_newTab, 0, Qt::AlignVCenter);

    connect(&m_manager, &DocumentManager::documentsChanged, this, &TabBar::rebuild);
    connect(&m_manager, &DocumentManager::selectedIdChanged, this, &TabBar::updateSelection);
    rebuild();
}

void TabBar::rebuild()
{
    // A tab may be closing itself from its own click handler: let it finish first.
    for (TabItemView *tab : std::as_const(m_tabs)) {
        tab->hide();
        m_stripLayout->removeWidget(tab);
        tab->deleteLater();
    }
    m_tabs.clear();
    const QUuid selected = m_manager.selectedId();
    int index = 0;
    for (TabDocument *document : m_manager.documents()) {
        auto *tab = new TabItemView(m_manager, document, document->id() == selected, m_strip);
        m_stripLayout->insertWidget(index++, tab);
        m_tabs.append(tab);
    }
}

void TabBar::updateSelection()
{
    const QUuid selected = m_manager.selectedId();
    for (TabItemView *tab : std::as_const(m_tabs))
        tab->setSelected(tab->document() && tab->document()->id() == selected);
}

void TabBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), WindowStyle::barBackground(palette()));
}
