#pragma once

#include "SettingsServices.h"

#include <QPointer>
#include <QWidget>

class DiagnosticErrorModal;
class DiagnosticSuccessModal;
class DocumentManager;
class OptOutNoteSheet;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

// "Help & Diagnostics" in the settings window's About tab: consent to error
// reports, automatic reports, verbose logging and the manual report, whose outcome
// opens a window-modal dialog while the section is on screen.
class DiagnosticsSection : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool isSending READ isSending NOTIFY isSendingChanged)
    Q_PROPERTY(bool isOnScreen READ isOnScreen NOTIFY isOnScreenChanged)
public:
    DiagnosticsSection(SettingsServices &services, DocumentManager &documents, QWidget *parent = nullptr);

    // Sends a manual report; does nothing while one is on its way.
    void send();
    bool isSending() const { return m_isSending; }
    bool isOnScreen() const { return m_isOnScreen; }
    int lastOpenDocumentCount() const { return m_lastOpenDocumentCount; }

    QCheckBox *errorReportsSwitch() const { return m_errorReports; }
    QCheckBox *automaticReportsSwitch() const { return m_automaticReports; }
    QCheckBox *verboseSwitch() const { return m_verbose; }
    QWidget *reportRow() const { return m_reportRow; }
    QPushButton *sendButton() const { return m_sendButton; }
    QLabel *signInNote() const { return m_signInNote; }

    // The open dialogs, or nullptr.
    OptOutNoteSheet *optOutNote() const;
    DiagnosticSuccessModal *successModal() const;
    DiagnosticErrorModal *errorModal() const;

Q_SIGNALS:
    void isSendingChanged(bool sending);
    void isOnScreenChanged(bool onScreen);

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void setErrorReportsWanted(bool on);
    void showOptOutNote();
    void finishSend(const SettingsServices::UploadResult &result);
    void setSending(bool sending);
    void refreshSwitches();
    void refreshReportRow();
    void colorLink();

    SettingsServices &m_services;
    DocumentManager &m_documents;
    bool m_isSending = false;
    bool m_isOnScreen = false;
    int m_lastOpenDocumentCount = 0;

    QCheckBox *m_errorReports = nullptr;
    QCheckBox *m_automaticReports = nullptr;
    QCheckBox *m_verbose = nullptr;
    QWidget *m_reportRow = nullptr;
    QPushButton *m_sendButton = nullptr;
    QProgressBar *m_sendingIndicator = nullptr;
    QLabel *m_signInNote = nullptr;
    QLabel *m_learnMore = nullptr;

    QPointer<OptOutNoteSheet> m_optOutNote;
    QPointer<DiagnosticSuccessModal> m_successModal;
    QPointer<DiagnosticErrorModal> m_errorModal;
};
