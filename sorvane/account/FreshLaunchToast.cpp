#include "FreshLaunchToast.h"

#include "TolvernAccountBridge.h"

#include "window/WindowStyle.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVariantAnimation>

namespace {

constexpr int kShowMs = 3000;
constexpr int kInMs = 250;
constexpr int kOutMs = 300;
constexpr int kOuterMargin = 14;
constexpr int kPaddingX = 14;
constexpr int kPaddingY = 10;
constexpr int kSpacing = 10;
constexpr int kIconSize = 14;
constexpr qreal kRadius = 10;

QFont messageFont()
{
    return WindowStyle::font(12, QFont::DemiBold);
}

// The filled circle with a check cut out of it, in the accent colour.
void paintCheckmarkCircle(QPainter &painter, const QRectF &box, const QColor &color)
{
    QPainterPath circle;
    circle.addEllipse(box);
    QPainterPath check;
    const qreal s = box.width();
    check.moveTo(box.left() + s * 0.27, box.top() + s * 0.52);
    check.lineTo(box.left() + s * 0.44, box.top() + s * 0.68);
    check.lineTo(box.left() + s * 0.74, box.top() + s * 0.35);
    QPainterPathStroker stroker;
    stroker.setWidth(s * 0.13);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    painter.fillPath(circle.subtracted(stroker.createStroke(check)), color);
}

} // namespace

const QString FreshLaunchToast::message = QStringLiteral("Your Sorvane files are ready.");

FreshLaunchToast::FreshLaunchToast(TolvernAccountBridge &bridge, QWidget *parent)
    : QWidget(parent)
    , m_bridge(&bridge)
    , m_dismissTimer(new QTimer(this))
    , m_animation(new QVariantAnimation(this))
{
    // An overlay over the whole content that never takes a click.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    if (parent) {
        setGeometry(parent->rect());
        parent->installEventFilter(this);
    }
    m_dismissTimer->setSingleShot(true);
    connect(m_dismissTimer, &QTimer::timeout, this, [this] { setToastVisible(false); });
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_progress = value.toDouble();
        update();
    });
    // A restore that ends after the window appeared shows the toast then; one that
    // ends before waits for the window (showEvent).
    connect(&bridge, &TolvernAccountBridge::didJustRestoreChanged, this, [this] {
        if (m_bridge && m_bridge->didJustRestore() && isVisible())
            maybePresent();
    });
}

FreshLaunchToast::~FreshLaunchToast() = default;

int FreshLaunchToast::scaled(int milliseconds) const
{
    return qMax(1, qRound(milliseconds * m_timeScale));
}

bool FreshLaunchToast::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void FreshLaunchToast::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    maybePresent();
}

void FreshLaunchToast::maybePresent()
{
    if (m_visible || !m_bridge || !m_bridge->didJustRestore())
        return;
    // Consumed: one toast per restore, however often the window comes back.
    m_bridge->setDidJustRestore(false);
    setToastVisible(true);
    m_dismissTimer->start(scaled(kShowMs));
}

void FreshLaunchToast::setToastVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    if (visible) {
        // Above whatever the content added since.
        raise();
        animateTo(1.0, kInMs, true);
    } else {
        animateTo(0.0, kOutMs, false);
    }
    Q_EMIT toastVisibleChanged(visible);
}

void FreshLaunchToast::animateTo(double end, int durationMs, bool easeOut)
{
    m_animation->stop();
    m_animation->setStartValue(m_progress);
    m_animation->setEndValue(end);
    m_animation->setDuration(scaled(durationMs));
    m_animation->setEasingCurve(easeOut ? QEasingCurve::OutCubic : QEasingCurve::InCubic);
    m_animation->start();
}

QSize FreshLaunchToast::toastSize() const
{
    const QFontMetrics metrics(messageFont());
    const int contentHeight = qMax(kIconSize, metrics.height());
    return QSize(kPaddingX + kIconSize + kSpacing + metrics.horizontalAdvance(message) + kPaddingX,
                 kPaddingY + contentHeight + kPaddingY);
}

QRect FreshLaunchToast::toastRect() const
{
    const QSize size = toastSize();
    return QRect(QPoint(width() - kOuterMargin - size.width(), height() - kOuterMargin - size.height()), size);
}

void FreshLaunchToast::paintEvent(QPaintEvent *)
{
    if (m_progress <= 0.0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(m_progress);
    // Slides in from the right edge as it fades in.
    const QRect place = toastRect();
    const qreal slide = (1.0 - m_progress) * (place.width() + kOuterMargin);
    const QRectF card = QRectF(place).translated(slide, 0);
    const QPalette &colors = palette();

    // A soft shadow, 22 % black over about 8 pixels, 3 pixels down.
    constexpr int shadowRadius = 8;
    for (int ring = shadowRadius; ring >= 1; --ring) {
        QPainterPath shadow;
        const QRectF grown = card.translated(0, 3).adjusted(-ring, -ring, ring, ring);
        shadow.addRoundedRect(grown, kRadius + ring, kRadius + ring);
        painter.fillPath(shadow, QColor(0, 0, 0, qRound(255 * 0.22 / shadowRadius)));
    }

    QPainterPath shape;
    shape.addRoundedRect(card, kRadius, kRadius);
    painter.fillPath(shape, WindowStyle::withAlpha(colors.color(QPalette::Window), 0.95));
    const QColor accent = WindowStyle::accent(colors);
    QPainterPath border;
    border.addRoundedRect(card.adjusted(0.5, 0.5, -0.5, -0.5), kRadius - 0.5, kRadius - 0.5);
    painter.setPen(QPen(WindowStyle::withAlpha(accent, 0.28), 1));
    painter.drawPath(border);

    const QRectF icon(card.left() + kPaddingX, card.center().y() - kIconSize / 2.0, kIconSize, kIconSize);
    paintCheckmarkCircle(painter, icon, accent);
    painter.setFont(messageFont());
    painter.setPen(WindowStyle::withAlpha(WindowStyle::primary(colors), 0.92));
    const QRectF text(icon.right() + kSpacing, card.top(), card.right() - kPaddingX - icon.right() - kSpacing,
                      card.height());
    painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, message);
}
