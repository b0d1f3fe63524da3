#include "AlertPresenter.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

namespace {
AlertPresenter *installed = nullptr;

QWidget *dialogParent()
{
    if (QWidget *active = QApplication::activeWindow())
        return active;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (w->isVisible() && w->isWindow())
            return w;
    }
    return nullptr;
}
} // namespace

AlertPresenter::~AlertPresenter() = default;

int AlertPresenter::chooseFromMenu(const ChoiceMenuRequest &)
{
    return -1;
}

AlertPresenter &AlertPresenter::shared()
{
    static WidgetAlertPresenter widgets;
    return installed ? *installed : widgets;
}

void AlertPresenter::setShared(AlertPresenter *presenter)
{
    installed = presenter;
}

int WidgetAlertPresenter::runModal(const AlertRequest &request)
{
    QMessageBox box(dialogParent());
    box.setWindowTitle(QStringLiteral("sorv.ane"));
    box.setText(request.messageText);
    QString informative = request.informativeText;
    if (!request.accessoryText.isEmpty())
        informative += QStringLiteral("\n\n") + request.accessoryText;
    box.setInformativeText(informative);
    switch (request.style) {
    case AlertRequest::Style::Critical: box.setIcon(QMessageBox::Critical); break;
    case AlertRequest::Style::Warning: box.setIcon(QMessageBox::Warning); break;
    case AlertRequest::Style::Informational: box.setIcon(QMessageBox::Information); break;
    }
    QList<QAbstractButton *> buttons;
    for (int i = 0; i < request.buttons.size(); ++i) {
        const QString &title = request.buttons.at(i);
        QMessageBox::ButtonRole role = QMessageBox::AcceptRole;
        if (title == QLatin1String("Cancel"))
            role = QMessageBox::RejectRole;
        else if (title.startsWith(QLatin1String("Don")))
            role = QMessageBox::DestructiveRole;
        QPushButton *button = box.addButton(title, role);
        if (i == 0)
            box.setDefaultButton(button);
        if (role == QMessageBox::RejectRole)
            box.setEscapeButton(button);
        buttons.append(button);
    }
    box.exec();
    return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

std::optional<QString> WidgetAlertPresenter::chooseSaveFile(const FilePanelRequest &request)
{
    QFileDialog dialog(dialogParent(), request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.nameFilters);
    if (!request.directory.isEmpty())
        dialog.setDirectory(request.directory);
    dialog.selectFile(request.suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

void WidgetAlertPresenter::chooseOpenFiles(const FilePanelRequest &request,
                                           std::function<void(const QStringList &)> completion)
{
    auto *dialog = new QFileDialog(dialogParent(), request.title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(request.multipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog->setNameFilters(request.nameFilters);
    if (!request.directory.isEmpty())
        dialog->setDirectory(request.directory);
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, completion](int result) {
        completion(result == QDialog::Accepted ? dialog->selectedFiles() : QStringList());
    });
    dialog->open();
}

int WidgetAlertPresenter::chooseFromMenu(const ChoiceMenuRequest &request)
{
    QMenu menu(dialogParent());
    QList<QAction *> actions;
    for (const QString &item : request.items)
        actions.append(menu.addAction(item));
    const QPoint at = request.anchor.isEmpty() ? QCursor::pos() : request.anchor.bottomLeft();
    return static_cast<int>(actions.indexOf(menu.exec(at)));
}
