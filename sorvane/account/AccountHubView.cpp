#include "AccountHubView.h"

#include "SignInStateService.h"

#include "window/WindowStyle.h"

#include <QLabel>
#include <QVBoxLayout>

namespace {
QLabel *whiteLabel(const QString &text, QFont font, qreal alpha, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, WindowStyle::withAlpha(Qt::white, alpha));
    label->setPalette(palette);
    return label;
}
} // namespace

AccountHubView::AccountHubView(SignInStateService &signInState, QWidget *parent)
    : QWidget(parent), m_signInState(signInState)
{
    QFont titleFont = WindowStyle::font(13, QFont::Bold);
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    m_title = whiteLabel(QStringLiteral("YOUR TOLVERN ACCOUNT"), titleFont, 0.5, this);
    m_email = whiteLabel(QString(), WindowStyle::font(14, QFont::DemiBold), 1.0, this);
    m_email->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *column = new QVBoxLayout;
    column->setSpacing(4);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_title);
    column->addWidget(m_email);

    auto *rule = new QWidget(this);
    rule->setFixedHeight(1);
    rule->setAutoFillBackground(true);
    QPalette rulePalette = rule->palette();
    rulePalette.setColor(QPalette::Window, WindowStyle::withAlpha(Qt::white, 0.12));
    rule->setPalette(rulePalette);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(10);
    layout->addLayout(column);
    layout->addWidget(rule);

    connect(&m_signInState, &SignInStateService::accountEmailChanged, this, &AccountHubView::refresh);
    refresh();
}

void AccountHubView::refresh()
{
    const QString email = m_signInState.accountEmail();
    m_email->setText(email);
    m_email->setVisible(!email.isEmpty());
}
