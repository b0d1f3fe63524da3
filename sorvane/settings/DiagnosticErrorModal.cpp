#include "DiagnosticErrorModal.h"

#include "ReportModalLayout.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DiagnosticErrorModal::DiagnosticErrorModal(const QString &message, QWidget *parent)
    : QDialog(parent)
    , m_message(message.isEmpty() ? tr("Something went wrong. Please try again.") : message)
{
    setObjectName(QStringLiteral("diagnosticError"));
    auto *layout = ReportModalLayout::begin(this, tr("Couldn't send diagnostic report"));

    auto *text = new QLabel(m_message, this);
    text->setObjectName(QStringLiteral("errorMessage"));
    text->setWordWrap(true);
    text->setForegroundRole(QPalette::PlaceholderText);
    layout->addWidget(text);

    m_retry = new QPushButton(tr("Try again"), this);
    m_retry->setObjectName(QStringLiteral("tryAgain"));
    m_done = new QPushButton(tr("Done"), this);
    m_done->setObjectName(QStringLiteral("done"));
    ReportModalLayout::addButtons(this, layout, m_retry, m_done);

    connect(m_retry, &QPushButton::clicked, this, [this] {
        accept();
        Q_EMIT retryRequested();
    });
}
