#include "TolvernSignInScreen.h"

#include "TolvernElidedLabel.h"
#include "TolvernPlainButton.h"
#include "TolvernProviderButtons.h"
#include "TolvernRoundedFrame.h"
#include "TolvernSpinner.h"
#include "TolvernSymbol.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

constexpr int kIconSize = 96;
constexpr double kIconRadius = 22.0;
constexpr int kPhaseContentWidth = 360;

QWidget *spacer(QWidget *parent, int minimum, int maximum)
{
    auto *widget = new QWidget(parent);
    widget->setMinimumHeight(minimum);
    widget->setMaximumHeight(maximum);
    widget->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Expanding);
    return widget;
}

QPixmap roundedIcon(const QPixmap &icon, qreal devicePixelRatio)
{
    const int pixels = qRound(kIconSize * devicePixelRatio);
    QPixmap result(pixels, pixels);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, pixels, pixels), kIconRadius * devicePixelRatio,
                        kIconRadius * devicePixelRatio);
    painter.setClipPath(clip);
    painter.drawPixmap(QRect(0, 0, pixels, pixels), icon);
    painter.end();
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

} // namespace

TolvernSignInScreen::TolvernSignInScreen(const QPixmap &appIcon, const QString &appName, const QString &valueProp,
                                         const TolvernProviderButtonStyle &style, const Phase &phase,
                                         const QUrl &privacyURL, const QUrl &termsURL,
                                         const std::optional<QString> &signedInEmail, TapHandler onTap,
                                         Action onCancel, Action onRetry, Action onUseDifferentAccount,
                                         QWidget *parent)
    : QWidget(parent), m_appIcon(appIcon), m_appName(appName), m_valueProp(valueProp), m_style(style),
      m_phase(phase), m_privacyURL(privacyURL), m_termsURL(termsURL), m_onTap(std::move(onTap)),
      m_onCancel(std::move(onCancel)), m_onRetry(std::move(onRetry)), m_signedInEmail(signedInEmail),
      m_onUseDifferentAccount(std::move(onUseDifferentAccount))
{
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setAutoFillBackground(false);
    scroll->setObjectName(QStringLiteral("scroll"));
    outer->addWidget(scroll);

    auto *page = new QWidget;
    m_contentLayout = new QVBoxLayout(page);
    m_contentLayout->setContentsMargins(32, 32, 32, 32);
    m_contentLayout->setSpacing(0);
    scroll->setWidget(page);
    // After setWidget, which turns filling on: the host's background shows through.
    page->setAutoFillBackground(false);
    rebuild();
}

void TolvernSignInScreen::setPhase(const Phase &phase)
{
    if (m_phase == phase)
        return;
    m_phase = phase;
    rebuild();
}

void TolvernSignInScreen::setSignedInEmail(const std::optional<QString> &email)
{
    if (m_signedInEmail == email)
        return;
    m_signedInEmail = email;
    rebuild();
}

void TolvernSignInScreen::setButtonStyle(const TolvernProviderButtonStyle &style)
{
    if (m_style == style)
        return;
    m_style = style;
    rebuild();
}

void TolvernSignInScreen::setOnCancel(Action handler)
{
    m_onCancel = std::move(handler);
    rebuild();
}

void TolvernSignInScreen::rebuild()
{
    // The screen is a function of its values: every change lays it out afresh.
    delete m_content;
    m_content = new QWidget;
    auto *stack = new QVBoxLayout(m_content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(spacer(m_content, 24, 96));

    auto *column = new QVBoxLayout;
    column->setSpacing(36);
    column->addWidget(buildHeader());
    auto *phaseRow = new QHBoxLayout;
    phaseRow->addStretch(1);
    phaseRow->addWidget(buildPhaseContent(), 1000);
    phaseRow->addStretch(1);
    column->addLayout(phaseRow);
    stack->addLayout(column);

    stack->addWidget(spacer(m_content, 24, QWIDGETSIZE_MAX));
    stack->addWidget(buildFooter());
    m_contentLayout->addWidget(m_content);
    // A layout shows a new child only on the next event-loop turn; the host expects
    // the new phase at once.
    m_content->show();
}

QLabel *TolvernSignInScreen::makeLabel(const QString &text, int pixelSize, QFont::Weight weight, const QColor &color)
{
    auto *label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    return label;
}

QWidget *TolvernSignInScreen::buildHeader()
{
    auto *header = new QWidget;
    header->setObjectName(QStringLiteral("header"));
    auto *layout = new QVBoxLayout(header);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    if (!m_appIcon.isNull()) {
        auto *icon = new QLabel;
        icon->setObjectName(QStringLiteral("app-icon"));
        icon->setFixedSize(kIconSize, kIconSize);
        icon->setPixmap(roundedIcon(m_appIcon, devicePixelRatioF()));
        layout->addWidget(icon, 0, Qt::AlignHCenter);
    }
    auto *title = makeLabel(m_appName, 28, QFont::Bold, m_style.titleColor());
    title->setObjectName(QStringLiteral("title"));
    layout->addWidget(title);
    auto *valueProp = makeLabel(m_valueProp, 15, QFont::Normal, m_style.secondaryColor());
    valueProp->setObjectName(QStringLiteral("value-prop"));
    valueProp->setWordWrap(true);
    layout->addWidget(valueProp);
    return header;
}

QWidget *TolvernSignInScreen::buildPhaseContent()
{
    QWidget *content = nullptr;
    if (m_phase.kind() == Phase::Kind::offline)
        content = buildOfflineCard();
    else if (m_signedInEmail)
        content = buildAccountBlock(*m_signedInEmail);
    else
        content = buildProviderContent();
    content->setMaximumWidth(kPhaseContentWidth);
    content->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return content;
}

QWidget *TolvernSignInScreen::buildProviderContent()
{
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("provider-content"));
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    if (m_phase.kind() == Phase::Kind::error)
        layout->addWidget(buildErrorRow(m_phase.message()));
    const bool busy = m_phase.kind() == Phase::Kind::busy;
    auto *buttons = new TolvernProviderButtons(
        m_style, busy, busy ? m_onCancel : Action(),
        [this](TolvernProviderHint hint) {
            if (m_onTap)
                m_onTap(hint);
        },
        content);
    buttons->setObjectName(QStringLiteral("provider-buttons"));
    layout->addWidget(buttons);
    if (busy)
        layout->addWidget(buildProgressRow());
    return content;
}

QWidget *TolvernSignInScreen::buildAccountBlock(const QString &email)
{
    auto *block = new QWidget;
    block->setObjectName(QStringLiteral("account-block"));
    auto *layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    if (m_phase.kind() == Phase::Kind::error)
        layout->addWidget(buildErrorRow(m_phase.message()));

    auto *who = new QVBoxLayout;
    who->setSpacing(3);
    who->addWidget(makeLabel(QStringLiteral("Signed in as"), 13, QFont::Normal, m_style.secondaryColor()));
    auto *address = new TolvernElidedLabel(email);
    address->setObjectName(QStringLiteral("signed-in-email"));
    QFont font = address->font();
    font.setPixelSize(15);
    font.setWeight(QFont::DemiBold);
    address->setFont(font);
    QPalette palette = address->palette();
    palette.setColor(QPalette::WindowText, m_style.titleColor());
    address->setPalette(palette);
    address->setAlignment(Qt::AlignCenter);
    who->addWidget(address);
    layout->addLayout(who);

    auto *other = new TolvernPlainButton(QStringLiteral("Use a different account"), 13, QFont::Medium,
                                         m_style.secondaryColor());
    other->setObjectName(QStringLiteral("use-different-account"));
    other->setMinimumButtonHeight(32);
    other->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(other, &QAbstractButton::clicked, this, [this] {
        if (m_onUseDifferentAccount)
            m_onUseDifferentAccount();
    });
    layout->addWidget(other);
    if (m_phase.kind() == Phase::Kind::busy)
        layout->addWidget(buildProgressRow());
    return block;
}

QWidget *TolvernSignInScreen::buildOfflineCard()
{
    QColor border = m_style.secondaryColor();
    border.setAlphaF(border.alphaF() * 0.35f);
    auto *card = new TolvernRoundedFrame(16, border);
    card->setObjectName(QStringLiteral("offline-card"));
    auto *layout = new QVBoxLayout(card);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(12);
    layout->addWidget(new TolvernSymbol(QStringLiteral("wifi.slash"), 26, m_style.secondaryColor()), 0,
                      Qt::AlignHCenter);
    layout->addWidget(makeLabel(QStringLiteral("Can't reach Tolvern"), 16, QFont::DemiBold, m_style.titleColor()));
    auto *hint = makeLabel(QStringLiteral("Check your connection and try again."), 13, QFont::Normal,
                           m_style.secondaryColor());
    hint->setWordWrap(true);
    layout->addWidget(hint);

    auto *retryRow = new QVBoxLayout;
    retryRow->setContentsMargins(0, 4, 0, 0);
    auto *retry = new TolvernPlainButton(QStringLiteral("Retry"), 14, QFont::DemiBold, m_style.onAccentColor());
    retry->setObjectName(QStringLiteral("retry"));
    retry->setFill(m_style.accent(), 12);
    retry->setMinimumButtonHeight(44);
    retry->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(retry, &QAbstractButton::clicked, this, [this] {
        if (m_onRetry)
            m_onRetry();
    });
    retryRow->addWidget(retry);
    layout->addLayout(retryRow);
    return card;
}

QWidget *TolvernSignInScreen::buildErrorRow(const QString &message)
{
    auto *row = makeLabel(message, 13, QFont::Medium, m_style.errorColor());
    row->setObjectName(QStringLiteral("error-row"));
    row->setWordWrap(true);
    row->setAccessibleName(message);
    return row;
}

QWidget *TolvernSignInScreen::buildProgressRow()
{
    const QString text = QStringLiteral("Signing in to ") + m_appName + QChar(0x2026);
    auto *row = new QWidget;
    row->setObjectName(QStringLiteral("progress-row"));
    row->setAccessibleName(text);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(8);
    layout->addStretch(1);
    layout->addWidget(new TolvernSpinner(14, m_style.secondaryColor()));
    auto *label = makeLabel(text, 13, QFont::Normal, m_style.secondaryColor());
    label->setObjectName(QStringLiteral("progress-text"));
    layout->addWidget(label);
    layout->addStretch(1);
    return row;
}

QWidget *TolvernSignInScreen::buildFooter()
{
    auto *footer = new QWidget;
    footer->setObjectName(QStringLiteral("footer"));
    auto *layout = new QHBoxLayout(footer);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addStretch(1);
    const auto link = [this, footer](const QString &text, const QString &name, const QUrl &url) {
        auto *button = new TolvernPlainButton(text, 12, QFont::Normal, m_style.secondaryColor(), footer);
        button->setObjectName(name);
        connect(button, &QAbstractButton::clicked, footer, [url] { QDesktopServices::openUrl(url); });
        return button;
    };
    layout->addWidget(link(QStringLiteral("Privacy Policy"), QStringLiteral("privacy-link"), m_privacyURL));
    layout->addWidget(makeLabel(QStringLiteral("\u00b7"), 12, QFont::Normal, m_style.secondaryColor()));
    layout->addWidget(link(QStringLiteral("Terms of Service"), QStringLiteral("terms-link"), m_termsURL));
    layout->addStretch(1);
    return footer;
}
