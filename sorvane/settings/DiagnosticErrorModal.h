#pragma once

#include <QDialog>

class QPushButton;

// The outcome of a manual report that failed: why, and a way to try again.
class DiagnosticErrorModal : public QDialog
{
    Q_OBJECT
public:
    // An empty message shows the generic "Something went wrong" text.
    DiagnosticErrorModal(const QString &message, QWidget *parent);

    QString message() const { return m_message; }
    QPushButton *retryButton() const { return m_retry; }
    QPushButton *doneButton() const { return m_done; }

Q_SIGNALS:
    void retryRequested();

private:
    QString m_message;
    QPushButton *m_retry = nullptr;
    QPushButton *m_done = nullptr;
};
