#include "SorvaneAccountPortfolioCard.h"

#include "ExternalLinkSymbol.h"
#include "SignInStateService.h"

#include "window/WindowStyle.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
void setTextColor(QWidget *widget, QPalette::ColorRole role, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}
} // namespace

SorvaneAccountPortfolioCard::SorvaneAccountPortfolioCard(SignInStateService &signInState, const QUrl &accountPage,
                                                         QWidget *parent)
    : QWidget(parent), m_signInState(signInState), m_accountPage(accountPage)
{
    m_signedIn = new QLabel(this);
    m_signedIn->setTextFormat(Qt::PlainText);
    m_signedIn->setFont(WindowStyle::font(12));
    m_signedIn->setWordWrap(true);
    setTextColor(m_signedIn, QPalette::WindowText, WindowStyle::withAlpha(Qt::white, 0.72));

    // A plain button: the row of text and mark, no bezel.
    m_manage = new QPushButton(this);
    m_manage->setFlat(true);
    m_manage->setCursor(Qt::PointingHandCursor);
    // The style sheet would give the label inside the style's text colour: say white.
    m_manage->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; background: transparent; }"
                                           "QLabel { color: #ffffff; }"));
    m_manage->setAccessibleName(QStringLiteral("Manage your account"));
    auto *linkRow = new QHBoxLayout(m_manage);
    linkRow->setContentsMargins(0, 0, 0, 0);
    linkRow->setSpacing(4);
    const QString address = accountPage.host() + accountPage.path();
    auto *linkText = new QLabel(QStringLiteral("Manage at ") + address, m_manage);
    linkText->setTextFormat(Qt::PlainText);
    linkText->setFont(WindowStyle::font(12, QFont::DemiBold));
    linkText->setAttribute(Qt::WA_TransparentForMouseEvents);
    linkRow->addWidget(linkText);
    linkRow->addWidget(new ExternalLinkSymbol(11, Qt::white, m_manage));
    linkRow->addStretch();
    m_manage->setMinimumHeight(linkText->sizeHint().height());
    connect(m_manage, &QPushButton::clicked, this, [this] {
        if (m_accountPage.isValid())
            QDesktopServices::openUrl(m_accountPage);
    });

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(14, 12, 14, 12);
    column->setSpacing(10);
    column->addWidget(m_signedIn);
    column->addWidget(m_manage);

    connect(&m_signInState, &SignInStateService::isAuthenticatedChanged, this, &SorvaneAccountPortfolioCard::refresh);
    connect(&m_signInState, &SignInStateService::accountEmailChanged, this, &SorvaneAccountPortfolioCard::refresh);
    refresh();
}

void SorvaneAccountPortfolioCard::refresh()
{
    const QString email = m_signInState.accountEmail();
    m_signedIn->setText(QStringLiteral("Signed in as ") + email);
    m_signedIn->setVisible(!email.isEmpty());
    // Never shown as a window of its own.
    const bool signedIn = m_signInState.isAuthenticated();
    if (parentWidget() || !signedIn)
        setVisible(signedIn);
}

void SorvaneAccountPortfolioCard::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 10, 10);
    painter.fillPath(shape, WindowStyle::accent(palette()));
}
