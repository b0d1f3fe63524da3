#include "TolvernProviderButton.h"

#include "GoogleGGlyph.h"
#include "TolvernSymbol.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kMinHeight = 48;
constexpr int kSpacing = 10;
constexpr double kRadius = 12.0;

QString textFor(TolvernProviderHint hint)
{
    switch (hint) {
    case TolvernProviderHint::apple: return QStringLiteral("Sign in with Apple");
    case TolvernProviderHint::google: return QStringLiteral("Sign in with Google");
    case TolvernProviderHint::email: return QStringLiteral("Continue with email");
    }
    return QString();
}
} // namespace

TolvernProviderButton::TolvernProviderButton(TolvernProviderHint hint, const TolvernProviderButtonStyle &style,
                                             QWidget *parent)
    : TolvernFocusButton(parent), m_hint(hint), m_style(style)
{
    setText(textFor(hint));
    setAccessibleName(text());
    setObjectName(QStringLiteral("provider-") + TolvernProviderHints::rawValue(hint));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TolvernProviderButton::setButtonStyle(const TolvernProviderButtonStyle &style)
{
    m_style = style;
    update();
}

QFont TolvernProviderButton::labelFont() const
{
    QFont font = this->font();
    font.setPixelSize(14);
    font.setWeight(QFont::DemiBold);
    return font;
}

int TolvernProviderButton::iconSize() const
{
    switch (m_hint) {
    case TolvernProviderHint::apple: return 17;
    case TolvernProviderHint::google: return 18;
    case TolvernProviderHint::email: return 16;
    }
    return 16;
}

QSize TolvernProviderButton::sizeHint() const
{
    const QFontMetrics metrics(labelFont());
    return QSize(iconSize() + kSpacing + metrics.horizontalAdvance(text()) + 48, kMinHeight);
}

QSize TolvernProviderButton::minimumSizeHint() const
{
    return QSize(iconSize() + kSpacing + 24, kMinHeight);
}

void TolvernProviderButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_hint == TolvernProviderHint::apple && !isEnabled())
        painter.setOpacity(0.55);

    QColor textColor;
    QColor background;
    QColor border;
    switch (m_hint) {
    case TolvernProviderHint::apple:
        textColor = m_style.appleText();
        background = m_style.appleBackground();
        break;
    case TolvernProviderHint::google:
        textColor = m_style.googleText();
        background = m_style.googleBackground();
        border = m_style.googleBorder();
        break;
    case TolvernProviderHint::email:
        textColor = m_style.emailText();
        background = m_style.emailBackground();
        break;
    }

    const QRectF shape = QRectF(rect());
    QPainterPath path;
    path.addRoundedRect(shape, kRadius, kRadius);
    painter.fillPath(path, background);
    if (border.isValid()) {
        // Drawn inside the shape, so the button keeps its size.
        painter.setPen(QPen(border, 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(shape.adjusted(0.5, 0.5, -0.5, -0.5), kRadius - 0.5, kRadius - 0.5);
    }

    const QFont font = labelFont();
    const QFontMetrics metrics(font);
    const int icon = iconSize();
    const int textWidth = qMin(metrics.horizontalAdvance(text()), width() - icon - kSpacing - 16);
    const double contentWidth = icon + kSpacing + textWidth;
    const double left = (width() - contentWidth) / 2.0;
    const QRectF iconRect(left, (height() - icon) / 2.0, icon, icon);
    if (m_hint == TolvernProviderHint::google) {
        GoogleGGlyph::paint(painter, iconRect);
    } else {
        const QString symbol = m_hint == TolvernProviderHint::apple ? QStringLiteral("apple.logo")
                                                                    : QStringLiteral("envelope.fill");
        painter.drawPixmap(iconRect.topLeft(), TolvernSymbol::pixmap(symbol, icon, textColor, devicePixelRatioF()));
    }
    painter.setFont(font);
    painter.setPen(textColor);
    const QRectF textRect(left + icon + kSpacing, 0, textWidth, height());
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft,
                     metrics.elidedText(text(), Qt::ElideRight, textWidth));
    // The label's colour stands out on every provider's background.
    paintFocusRing(painter, shape, kRadius, textColor);
}
