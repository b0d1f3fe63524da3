#pragma once

#include <QDialog>

class QPushButton;

// Shown once, before the first switch-off of anonymous error reports: why they
// help, and the two answers. A window-modal sheet of the settings window.
class OptOutNoteSheet : public QDialog
{
    Q_OBJECT
public:
    explicit OptOutNoteSheet(QWidget *parent);

    QPushButton *keepButton() const { return m_keep; }
    QPushButton *turnOffButton() const { return m_turnOff; }

Q_SIGNALS:
    void keepSending();
    void turnOffAnyway();

private:
    QPushButton *m_keep = nullptr;
    QPushButton *m_turnOff = nullptr;
};
