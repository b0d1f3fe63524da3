#include "TabItemView.h"

#include "GlyphButton.h"
#include "WindowStyle.h"
#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"

#include <QMouseEvent>
#include <QPainter>

#include <utility>

namespace {
constexpr int leadingPadding = 14;
constexpr int trailingPadding = 28;
constexpr int markerSize = 6;
constexpr int markerSpacing = 6;
constexpr int barHeight = 34;
} // namespace

TabItemView::TabItemView(DocumentManager &manager, TabDocument *document, bool isSelected, QWidget *parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_document(document)
    , m_close(new GlyphButton(GlyphButton::Glyph::close, this))
    , m_selected(isSelected)
{
    setAttribute(Qt::WA_Hover);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_close->setFixedSize(20, 20);
    m_close->setGlyphSize(8);
    m_close->setToolTip(QString());
    connect(m_close, &GlyphButton::clicked, this, [this] {
        if (m_document)
            m_manager.closeDocument(m_document->id());
    });
    if (document) {
        connect(document, &TabDocument::fileURLChanged, this, &TabItemView::refresh);
        connect(document, &TabDocument::isModifiedChanged, this, &TabItemView::refresh);
    }
    refresh();
}

void TabItemView::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    refresh();
}

QFont TabItemView::titleFont() const
{
    return WindowStyle::font(13, m_selected ? QFont::Medium : QFont::Normal);
}

void TabItemView::refresh()
{
    setAccessibleName(m_document ? m_document->title() : QString());
    updateGeometry();
    updateCloseButton();
    update();
}

void TabItemView::updateCloseButton()
{
    // Invisible buttons take no clicks either.
    m_close->setVisible(m_selected || m_hovering);
}

QSize TabItemView::sizeHint() const
{
    const QString title = m_document ? m_document->title() : QString();
    int width = leadingPadding + QFontMetrics(titleFont()).horizontalAdvance(title) + trailingPadding;
    if (m_document && m_document->isModified())
        width += markerSize + markerSpacing;
    return {width, barHeight};
}

void TabItemView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_close->move(width() - 4 - m_close->width(), (height() - m_close->height()) / 2);
}

void TabItemView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const QColor accent = WindowStyle::accent(pal);
    if (m_selected)
        painter.fillRect(rect(), WindowStyle::withAlpha(accent, 0.12));
    else if (m_hovering)
        painter.fillRect(rect(), WindowStyle::withAlpha(WindowStyle::primary(pal), 0.04));

    int x = leadingPadding;
    if (m_document && m_document->isModified()) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(accent);
        painter.drawEllipse(QRectF(x, (height() - markerSize) / 2.0, markerSize, markerSize));
        x += markerSize + markerSpacing;
    }
    painter.setFont(titleFont());
    painter.setPen(WindowStyle::primary(pal));
    painter.drawText(QRect(x, 0, width() - x - trailingPadding + 4, height()), Qt::AlignVCenter | Qt::AlignLeft,
                     m_document ? m_document->title() : QString());

    if (m_selected)
        painter.fillRect(QRect(0, height() - 2, width(), 2), accent);
    else {
        const int top = (height() - 18) / 2;
        painter.fillRect(QRect(width() - 1, top, 1, 18), WindowStyle::withAlpha(pal.color(QPalette::Mid), 0.5));
    }
}

void TabItemView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton) {
        m_pressed = event->button();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TabItemView::mouseReleaseEvent(QMouseEvent *event)
{
    const Qt::MouseButton pressed = std::exchange(m_pressed, Qt::NoButton);
    if (event->button() != pressed || !rect().contains(event->position().toPoint()) || !m_document) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    // Middle click closes, as tabs do elsewhere on the desktop.
    if (pressed == Qt::MiddleButton)
        m_manager.closeDocument(m_document->id());
    else
        m_manager.setSelectedId(m_document->id());
}

void TabItemView::enterEvent(QEnterEvent *event)
{
    m_hovering = true;
    updateCloseButton();
    update();
    QWidget::enterEvent(event);
}

void TabItemView::leaveEvent(QEvent *event)
{
    m_hovering = false;
    updateCloseButton();
    update();
    QWidget::leaveEvent(event);
}
