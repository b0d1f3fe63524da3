#include "DiagnosticSuccessModal.h"

#include "ReportModalLayout.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

DiagnosticSuccessModal::DiagnosticSuccessModal(const QString &code, QWidget *parent)
    : QDialog(parent)
    , m_code(code)
{
    setObjectName(QStringLiteral("diagnosticSuccess"));
    auto *layout = ReportModalLayout::begin(this, tr("Diagnostic report sent"));

    layout->addWidget(new QLabel(tr("Share this code with support so we can find your report:"), this));

    auto *codeLabel = new QLabel(code, this);
    codeLabel->setObjectName(QStringLiteral("reportCode"));
    QFont codeFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    codeFont.setPixelSize(22);
    codeFont.setWeight(QFont::DemiBold);
    codeLabel->setFont(codeFont);
    codeLabel->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    codeLabel->setContentsMargins(0, 4, 0, 4);
    layout->addWidget(codeLabel);

    m_copy = new QPushButton(tr("Copy code"), this);
    m_copy->setObjectName(QStringLiteral("copyCode"));
    m_done = new QPushButton(tr("Done"), this);
    m_done->setObjectName(QStringLiteral("done"));
    ReportModalLayout::addButtons(this, layout, m_copy, m_done);

    m_copiedTimer.setSingleShot(true);
    m_copiedTimer.setInterval(copiedFeedbackMs);
    connect(&m_copiedTimer, &QTimer::timeout, this, [this] { setDidCopy(false); });
    connect(m_copy, &QPushButton::clicked, this, &DiagnosticSuccessModal::copyCode);
}

void DiagnosticSuccessModal::copyCode()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(m_code);
    setDidCopy(true);
    m_copiedTimer.start();
}

void DiagnosticSuccessModal::setDidCopy(bool copied)
{
    if (m_didCopy == copied)
        return;
    m_didCopy = copied;
    m_copy->setText(copied ? tr("Copied") : tr("Copy code"));
    Q_EMIT didCopyChanged();
}
