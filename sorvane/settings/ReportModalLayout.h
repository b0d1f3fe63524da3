#pragma once

#include <QString>

class QDialog;
class QPushButton;
class QVBoxLayout;

// The frame both report outcome dialogs share: a bold title over a padded column,
// and a row of the default button, a gap and "Done".
namespace ReportModalLayout {

QVBoxLayout *begin(QDialog *dialog, const QString &title);
// `main` is the Return key's button; `done` closes the dialog.
void addButtons(QDialog *dialog, QVBoxLayout *layout, QPushButton *main, QPushButton *done);

} // namespace ReportModalLayout
