#include "OptOutNoteSheet.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

OptOutNoteSheet::OptOutNoteSheet(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("optOutNote"));
    // A window of its own: it takes the settings window's palette by hand.
    if (parent)
        setPalette(parent->window()->palette());
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(380);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(28, 28, 28, 28);
    layout->setSpacing(20);

    auto *headline = new QLabel(tr("Before you turn this off"), this);
    QFont headlineFont = headline->font();
    headlineFont.setBold(true);
    headline->setFont(headlineFont);
    headline->setAlignment(Qt::AlignHCenter);
    layout->addWidget(headline);

    auto *body = new QLabel(tr("These reports are fully anonymous and help us make sorv.ane better for everyone — "
                               "at no cost to you. No personal information, document contents, or account details "
                               "are ever included."),
                            this);
    body->setWordWrap(true);
    body->setAlignment(Qt::AlignHCenter);
    body->setMaximumWidth(340);
    body->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(body, 0, Qt::AlignHCenter);

    auto *row = new QHBoxLayout;
    row->setSpacing(12);
    m_turnOff = new QPushButton(tr("Turn off anyway"), this);
    m_turnOff->setObjectName(QStringLiteral("turnOffAnyway"));
    m_turnOff->setAutoDefault(false);
    QPalette destructive = m_turnOff->palette();
    destructive.setColor(QPalette::ButtonText, QColor(0xff, 0x45, 0x3a));
    m_turnOff->setPalette(destructive);
    m_keep = new QPushButton(tr("Keep sending"), this);
    m_keep->setObjectName(QStringLiteral("keepSending"));
    // Return keeps the reports: the safe answer is the prominent one.
    m_keep->setDefault(true);
    QPalette prominent = m_keep->palette();
    prominent.setColor(QPalette::Button, prominent.color(QPalette::Highlight));
    prominent.setColor(QPalette::ButtonText, prominent.color(QPalette::HighlightedText));
    m_keep->setPalette(prominent);
    row->addStretch(1);
    row->addWidget(m_turnOff);
    row->addWidget(m_keep);
    row->addStretch(1);
    layout->addLayout(row);

    connect(m_keep, &QPushButton::clicked, this, [this] {
        Q_EMIT keepSending();
        accept();
    });
    connect(m_turnOff, &QPushButton::clicked, this, [this] {
        Q_EMIT turnOffAnyway();
        accept();
    });
}
