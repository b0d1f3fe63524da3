#pragma once

#include "platform/AppcastFeed.h"

#include <QDialog>
#include <QList>
#include <QString>

class QPlainTextEdit;
class QPushButton;

// The "update available" window: which version is offered against the running one,
// its release notes as plain text, "Install" (the default, Return) and "Later"
// (Escape, or closing the window). It opens where it last closed and stores that
// place as "x y w h" under the update alert frame setting.
class UpdateAlert : public QDialog
{
    Q_OBJECT
public:
    UpdateAlert(const AppcastItem &item, const QString &runningVersion, QWidget *parent = nullptr);

    QPushButton *installButton() const { return m_install; }
    QPushButton *laterButton() const { return m_later; }
    QPlainTextEdit *notesView() const { return m_notes; }

    // The numbers of a stored frame text, pieces that are no number skipped.
    static QList<double> frameNumbers(const QString &text);

    void done(int result) override;

private:
    QPushButton *m_install;
    QPushButton *m_later;
    QPlainTextEdit *m_notes;
};
