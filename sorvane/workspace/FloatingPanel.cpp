#include "FloatingPanel.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

FloatingPanel::FloatingPanel(bool closable, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(cornerRadius / 2, cornerRadius / 2, cornerRadius / 2, cornerRadius / 2);
    m_content = new QWidget(this);
    layout->addWidget(m_content);
    if (closable) {
        m_closeButton = new QToolButton(this);
        m_closeButton->setAutoRaise(true);
        m_closeButton->setIcon(QIcon::fromTheme(QStringLiteral("window-close"),
                                                style()->standardIcon(QStyle::SP_TitleBarCloseButton)));
        m_closeButton->setToolTip(tr("Close"));
        m_closeButton->setAccessibleName(tr("Close"));
        connect(m_closeButton, &QToolButton::clicked, this, &FloatingPanel::dismiss);
    }
}

void FloatingPanel::setAnchorWindow(QWidget *anchor)
{
    m_anchor = anchor;
}

void FloatingPanel::present()
{
    centreOnAnchorScreen();
    show();
    raise();
    activateWindow();
    // Hiding took the application's activation from the panel while the platform may
    // still count its window as focused (no window manager tells it otherwise); then
    // the request above changes nothing there and the field would get no keys.
    if (QGuiApplication::focusWindow() == windowHandle() && QApplication::activeWindow() != this) {
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        QApplication::setActiveWindow(this);
        QT_WARNING_POP
    }
}

void FloatingPanel::centreOnAnchorScreen()
{
    QScreen *screen = m_anchor ? m_anchor->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    adjustSize();
    const QRect area = screen->availableGeometry();
    QRect frame(QPoint(), size());
    frame.moveCenter(area.center());
    move(frame.topLeft());
}

void FloatingPanel::dismiss()
{
    if (!isVisible())
        return;
    hide();
    Q_EMIT dismissed();
}

void FloatingPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = palette().color(QPalette::Window);
    fill.setAlphaF(0.96);
    QColor stroke = palette().color(QPalette::WindowText);
    stroke.setAlphaF(0.18);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(path, fill);
    painter.setPen(QPen(stroke, 1));
    painter.drawPath(path);
    if (m_closeButton) {
        const QSize hint = m_closeButton->sizeHint();
        m_closeButton->setGeometry(width() - hint.width() - cornerRadius / 2, cornerRadius / 2, hint.width(),
                                   hint.height());
        m_closeButton->raise();
    }
}

void FloatingPanel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        dismiss();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool FloatingPanel::event(QEvent *event)
{
    // A child that does not take Escape itself (a line edit) passes it here.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void FloatingPanel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow())
        dismiss();
    QWidget::changeEvent(event);
}
