#include "TolvernProviderButtons.h"

#include "TolvernPlainButton.h"
#include "TolvernProviderButton.h"

#include <QVBoxLayout>

TolvernProviderButtons::TolvernProviderButtons(const TolvernProviderButtonStyle &style, bool busy,
                                               CancelHandler onCancelPending, TapHandler onTap, QWidget *parent)
    : QWidget(parent), m_style(style), m_busy(busy), m_onCancelPending(std::move(onCancelPending)),
      m_onTap(std::move(onTap))
{
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(10);
    for (auto hint : {TolvernProviderHint::apple, TolvernProviderHint::google, TolvernProviderHint::email}) {
        auto *button = new TolvernProviderButton(hint, m_style, this);
        connect(button, &QAbstractButton::clicked, this, [this, hint] {
            if (!m_busy && m_onTap)
                m_onTap(hint);
        });
        m_buttons.append(button);
        m_layout->addWidget(button);
    }
    buildCancelButton();
    refresh();
}

void TolvernProviderButtons::buildCancelButton()
{
    delete m_cancelRow;
    m_cancelRow = new QWidget(this);
    auto *row = new QVBoxLayout(m_cancelRow);
    row->setContentsMargins(0, 2, 0, 0);
    QColor color = m_style.cancelText();
    color.setAlphaF(0.65f);
    m_cancel = new TolvernPlainButton(QStringLiteral("Cancel sign-in"), 13, QFont::Medium, color, m_cancelRow);
    m_cancel->setObjectName(QStringLiteral("cancel-sign-in"));
    connect(m_cancel, &QAbstractButton::clicked, this, [this] {
        if (m_onCancelPending)
            m_onCancelPending();
    });
    row->addWidget(m_cancel, 0, Qt::AlignHCenter);
    m_layout->addWidget(m_cancelRow);
}

void TolvernProviderButtons::setButtonStyle(const TolvernProviderButtonStyle &style)
{
    m_style = style;
    for (auto *button : std::as_const(m_buttons))
        button->setButtonStyle(style);
    buildCancelButton();
    refresh();
}

void TolvernProviderButtons::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    refresh();
    Q_EMIT busyChanged(busy);
}

void TolvernProviderButtons::setOnCancelPending(CancelHandler handler)
{
    m_onCancelPending = std::move(handler);
    refresh();
}

void TolvernProviderButtons::setOnTap(TapHandler handler)
{
    m_onTap = std::move(handler);
}

TolvernProviderButton *TolvernProviderButtons::button(TolvernProviderHint hint) const
{
    for (auto *button : m_buttons) {
        if (button->hint() == hint)
            return button;
    }
    return nullptr;
}

void TolvernProviderButtons::refresh()
{
    for (auto *button : std::as_const(m_buttons))
        button->setEnabled(!m_busy);
    m_cancelRow->setVisible(m_busy && bool(m_onCancelPending));
}
