#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;
class QPushButton;

// The outcome of a manual report that reached the server: the code support asks for,
// with a button that copies it.
class DiagnosticSuccessModal : public QDialog
{
    Q_OBJECT
    Q_PROPERTY(bool didCopy READ didCopy NOTIFY didCopyChanged)
public:
    DiagnosticSuccessModal(const QString &code, QWidget *parent);

    // How long "Copied" stays on the button.
    static constexpr int copiedFeedbackMs = 1500;

    QString code() const { return m_code; }
    bool didCopy() const { return m_didCopy; }
    QPushButton *copyButton() const { return m_copy; }
    QPushButton *doneButton() const { return m_done; }

Q_SIGNALS:
    void didCopyChanged();

private:
    void copyCode();
    void setDidCopy(bool copied);

    QString m_code;
    bool m_didCopy = false;
    QTimer m_copiedTimer;
    QPushButton *m_copy = nullptr;
    QPushButton *m_done = nullptr;
};
