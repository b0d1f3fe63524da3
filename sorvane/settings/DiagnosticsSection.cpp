#include "DiagnosticsSection.h"

#include "DiagnosticErrorModal.h"
#include "DiagnosticSuccessModal.h"
#include "OptOutNoteSheet.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "documents/DocumentManager.h"
#include "platform/PlatformConstants.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "platform/SystemLog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHideEvent>
#include <QShowEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

// The maker's privacy page, at its section on error reports.
const QString errorReportsPrivacyURL = QString::fromLatin1(PlatformConstants::website) + QStringLiteral("/privacy#error-reports");

QLabel *captionLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

void setCheckedQuietly(QCheckBox *box, bool checked)
{
    if (box->isChecked() == checked)
        return;
    const QSignalBlocker blocker(box);
    box->setChecked(checked);
}

} // namespace

DiagnosticsSection::DiagnosticsSection(SettingsServices &services, DocumentManager &documents, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
    , m_documents(documents)
{
    auto *group = new QGroupBox(tr("Help && Diagnostics"), this);
    auto *column = new QVBoxLayout(group);

    m_errorReports = new QCheckBox(tr("Send anonymous error reports automatically"), group);
    m_errorReports->setObjectName(QStringLiteral("errorReports"));
    column->addWidget(m_errorReports);
    column->addWidget(captionLabel(
        tr("When something goes wrong, a brief technical summary is sent automatically to help us fix it faster. "
           "It includes only error types, app version, and OS version — never the contents of your documents, "
           "your account details, or any personal information."),
        group));
    m_learnMore = captionLabel(QString(), group);
    m_learnMore->setObjectName(QStringLiteral("learnMore"));
    m_learnMore->setTextFormat(Qt::RichText);
    m_learnMore->setOpenExternalLinks(true);
    column->addWidget(m_learnMore);
    colorLink();

    m_reportRow = new QWidget(group);
    m_reportRow->setObjectName(QStringLiteral("reportRow"));
    auto *reportLayout = new QHBoxLayout(m_reportRow);
    reportLayout->setContentsMargins(0, 0, 0, 0);
    m_sendButton = new QPushButton(tr("Send Diagnostic Report"), m_reportRow);
    m_sendButton->setObjectName(QStringLiteral("sendReport"));
    m_sendingIndicator = new QProgressBar(m_reportRow);
    m_sendingIndicator->setRange(0, 0);
    m_sendingIndicator->setTextVisible(false);
    m_sendingIndicator->setFixedSize(32, 10);
    m_sendingIndicator->hide();
    m_signInNote = new QLabel(tr("Sign in to send a diagnostic report."), m_reportRow);
    m_signInNote->setObjectName(QStringLiteral("signInNote"));
    m_signInNote->setForegroundRole(QPalette::PlaceholderText);
    reportLayout->addWidget(m_sendingIndicator);
    reportLayout->addWidget(m_sendButton);
    reportLayout->addWidget(m_signInNote);
    reportLayout->addStretch(1);
    column->addWidget(m_reportRow);

    m_automaticReports = new QCheckBox(tr("Send anonymous diagnostic reports when something goes wrong"), group);
    m_automaticReports->setObjectName(QStringLiteral("automaticReports"));
    column->addWidget(m_automaticReports);
    column->addWidget(captionLabel(tr("Includes app version and OS version, plus recent app logs when available. "
                                      "Never includes the contents of your documents."),
                                   group));

    m_verbose = new QCheckBox(tr("Verbose diagnostics"), group);
    m_verbose->setObjectName(QStringLiteral("verboseDiagnostics"));
    column->addWidget(m_verbose);
    column->addWidget(captionLabel(tr("Captures detailed logs for 24 hours to help investigate issues. "
                                      "Automatically turns off after 24 hours."),
                                   group));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(group);

    refreshSwitches();
    refreshReportRow();

    connect(m_errorReports, &QCheckBox::toggled, this, &DiagnosticsSection::setErrorReportsWanted);
    connect(m_automaticReports, &QCheckBox::toggled, this,
            [](bool on) { Settings::shared().setValue(SettingsKeys::diagnosticsEnabled, on); });
    connect(m_verbose, &QCheckBox::toggled, this, [this](bool on) {
        DiagnosticLogBuffer::setVerbose(on);
        // Reads back what the log buffer holds, which is what logging follows.
        refreshSwitches();
    });
    connect(m_sendButton, &QPushButton::clicked, this, &DiagnosticsSection::send);
    // The consent keys, the automatic-reports flag and the verbose flag can change
    // from elsewhere (another window, the account library, the flag expiring).
    connect(&Settings::shared(), &Settings::valueChanged, this, &DiagnosticsSection::refreshSwitches);
    connect(&m_services, &SettingsServices::accountSessionChanged, this, &DiagnosticsSection::refreshReportRow);
}

OptOutNoteSheet *DiagnosticsSection::optOutNote() const
{
    return m_optOutNote;
}

DiagnosticSuccessModal *DiagnosticsSection::successModal() const
{
    return m_successModal;
}

DiagnosticErrorModal *DiagnosticsSection::errorModal() const
{
    return m_errorModal;
}

void DiagnosticsSection::refreshSwitches()
{
    setCheckedQuietly(m_errorReports, m_services.errorTelemetryEnabled());
    setCheckedQuietly(m_automaticReports,
                      Settings::shared().boolValue(SettingsKeys::diagnosticsEnabled, SettingsDefaults::diagnosticsEnabled));
    setCheckedQuietly(m_verbose, DiagnosticLogBuffer::isVerboseActive());
}

void DiagnosticsSection::refreshReportRow()
{
    m_reportRow->setVisible(m_services.reportsAvailable());
    const bool signedIn = m_services.hasAccountSession();
    m_sendButton->setVisible(signedIn);
    m_sendingIndicator->setVisible(signedIn && m_isSending);
    m_signInNote->setVisible(!signedIn);
}

void DiagnosticsSection::setErrorReportsWanted(bool on)
{
    if (on) {
        m_services.setErrorTelemetryEnabled(true);
    } else if (m_services.shouldShowOptOutNote()) {
        // The reports stay on until the note is answered.
        showOptOutNote();
    } else {
        m_services.setErrorTelemetryEnabled(false);
    }
    refreshSwitches();
}

void DiagnosticsSection::showOptOutNote()
{
    if (m_optOutNote)
        return;
    m_optOutNote = new OptOutNoteSheet(window());
    m_optOutNote->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_optOutNote, &OptOutNoteSheet::keepSending, this, [this] {
        m_services.markOptOutNoteShown();
        refreshSwitches();
    });
    connect(m_optOutNote, &OptOutNoteSheet::turnOffAnyway, this, [this] {
        m_services.setErrorTelemetryEnabled(false);
        m_services.markOptOutNoteShown();
        refreshSwitches();
    });
    m_optOutNote->open();
}

void DiagnosticsSection::send()
{
    if (m_isSending)
        return;
    setSending(true);
    m_lastOpenDocumentCount = int(m_documents.documents().size());
    QPointer<DiagnosticsSection> self(this);
    m_services.uploadManualReport(m_lastOpenDocumentCount, [self](const SettingsServices::UploadResult &result) {
        if (const auto *code = std::get_if<QString>(&result)) {
            SystemLog::write(SystemLog::Type::Info, QStringLiteral("diagnostics"),
                             QStringLiteral("Diagnostic report sent. code=%1").arg(*code));
        } else {
            const DiagnosticError &error = std::get<DiagnosticError>(result);
            SystemLog::write(SystemLog::Type::Error, QStringLiteral("diagnostics"),
                             QStringLiteral("Diagnostic report failed: %1")
                                 .arg(error.description().value_or(QStringLiteral("unknown server error"))));
        }
        if (self)
            self->finishSend(result);
    });
}

void DiagnosticsSection::finishSend(const SettingsServices::UploadResult &result)
{
    // A section that is gone from the screen opens nothing: the log has the outcome.
    if (m_isOnScreen) {
        if (const auto *code = std::get_if<QString>(&result)) {
            m_successModal = new DiagnosticSuccessModal(*code, window());
            m_successModal->setAttribute(Qt::WA_DeleteOnClose);
            m_successModal->open();
        } else {
            const DiagnosticError &error = std::get<DiagnosticError>(result);
            const QString message = error.kind == DiagnosticError::Kind::ServerUnknown
                                        ? QString()
                                        : error.description().value_or(QString());
            m_errorModal = new DiagnosticErrorModal(message, window());
            m_errorModal->setAttribute(Qt::WA_DeleteOnClose);
            connect(m_errorModal, &DiagnosticErrorModal::retryRequested, this, &DiagnosticsSection::send);
            m_errorModal->open();
        }
    }
    setSending(false);
}

void DiagnosticsSection::setSending(bool sending)
{
    if (m_isSending == sending)
        return;
    m_isSending = sending;
    m_sendButton->setEnabled(!sending);
    m_sendButton->setText(sending ? tr("Sending…") : tr("Send Diagnostic Report"));
    refreshReportRow();
    Q_EMIT isSendingChanged(sending);
}

void DiagnosticsSection::colorLink()
{
    // The link's colour is fixed when its text is set: set it again for a new palette.
    m_learnMore->setText(QStringLiteral("<a href=\"%1\" style=\"color: %2\">%3</a>")
                             .arg(errorReportsPrivacyURL, palette().color(QPalette::Link).name(),
                                  tr("Learn what's included in these reports").toHtmlEscaped()));
}

void DiagnosticsSection::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        colorLink();
}

void DiagnosticsSection::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refreshSwitches();
    refreshReportRow();
    if (!m_isOnScreen) {
        m_isOnScreen = true;
        Q_EMIT isOnScreenChanged(true);
    }
}

void DiagnosticsSection::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // Minimising is not leaving: only a real hide (window closed, tab left) counts.
    if (event->spontaneous() || !m_isOnScreen)
        return;
    m_isOnScreen = false;
    Q_EMIT isOnScreenChanged(false);
}
