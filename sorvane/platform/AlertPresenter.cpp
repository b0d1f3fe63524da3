#include "AlertPresenter.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>
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

bool endsWithSuffix(const QString &name, const QString &suffix)
{
    return !suffix.isEmpty() && name.endsWith(QLatin1Char('.') + suffix, Qt::CaseInsensitive);
}

// "Markdown (*.md *.markdown)" gives "md" and "markdown"; "All (*)" gives nothing.
QStringList filterSuffixes(const QStringList &nameFilters)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([^\\s()*]+)"));
    QStringList suffixes;
    for (const QString &filter : nameFilters) {
        for (auto it = pattern.globalMatch(filter); it.hasNext();)
            suffixes.append(it.next().captured(1));
    }
    return suffixes;
}

QString folderOf(const QString &path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
}
} // namespace

QString withDefaultSuffix(const QString &path, const FilePanelRequest &request)
{
    const QString suffix = request.defaultSuffix;
    const QString name = QFileInfo(path).fileName();
    if (suffix.isEmpty() || name.isEmpty())
        return path;
    QStringList own = filterSuffixes(request.nameFilters);
    own << suffix << suffix.section(QLatin1Char('.'), -1);
    for (const QString &each : std::as_const(own)) {
        if (endsWithSuffix(name, each))
            return path;
    }
    // "notes.md" for "md.enc" is completed, not doubled to "notes.md.md.enc".
    const QStringList parts = suffix.split(QLatin1Char('.'));
    for (qsizetype lead = parts.size() - 1; lead > 0; --lead) {
        if (endsWithSuffix(name, parts.first(lead).join(QLatin1Char('.'))))
            return path + QLatin1Char('.') + parts.sliced(lead).join(QLatin1Char('.'));
    }
    // A leading dot names a hidden file, not an extension.
    const bool hasSuffix = name.lastIndexOf(QLatin1Char('.')) > 0 && !name.endsWith(QLatin1Char('.'));
    if (hasSuffix && request.keepsOtherSuffix)
        return path;
    // "notes." takes the extension without doubling the dot.
    return (path.endsWith(QLatin1Char('.')) ? path : path + QLatin1Char('.')) + suffix;
}

QString elidedForAlert(const QString &text, qsizetype maxChars)
{
    if (text.size() <= maxChars)
        return text;
    const qsizetype kept = qMax<qsizetype>(maxChars - 1, 0);
    qsizetype head = kept - kept / 2;
    qsizetype tail = text.size() - kept / 2;
    if (head > 0 && text.at(head - 1).isHighSurrogate())
        --head;
    if (tail < text.size() && text.at(tail).isLowSurrogate())
        ++tail;
    return text.left(head) + QChar(0x2026) + text.sliced(tail);
}

AlertPresenter::AlertPresenter()
    : m_lastDirectory(std::make_shared<QString>())
{
}

AlertPresenter::~AlertPresenter() = default;

QString AlertPresenter::startFolder() const
{
    // Never the working folder, which for a desktop launch is wherever that was.
    return m_lastDirectory->isEmpty() ? QDir::homePath() : *m_lastDirectory;
}

std::optional<QString> AlertPresenter::chooseSaveFile(const FilePanelRequest &request)
{
    FilePanelRequest filled = request;
    if (filled.directory.isEmpty())
        filled.directory = startFolder();
    const std::optional<QString> chosen = presentSaveFile(filled);
    if (!chosen || chosen->isEmpty())
        return chosen;
    const QString path = withDefaultSuffix(*chosen, filled);
    // The panel asked about replacing the name as typed; a file under the completed
    // name is asked about here, or it would be overwritten without a word.
    if (path != *chosen && QFileInfo::exists(path)) {
        AlertRequest replace;
        replace.messageText = QStringLiteral("\u201C%1\u201D already exists. Do you want to replace it?")
                                  .arg(QFileInfo(path).fileName());
        replace.informativeText = QStringLiteral("Replacing it will overwrite its current contents.");
        replace.buttons = {QStringLiteral("Replace"), QStringLiteral("Cancel")};
        replace.style = AlertRequest::Style::Warning;
        if (runModal(replace) != 0)
            return std::nullopt;
    }
    *m_lastDirectory = folderOf(path);
    return path;
}

void AlertPresenter::chooseOpenFiles(const FilePanelRequest &request,
                                     std::function<void(const QStringList &)> completion)
{
    FilePanelRequest filled = request;
    if (filled.directory.isEmpty())
        filled.directory = startFolder();
    presentOpenFiles(filled, [last = m_lastDirectory, completion = std::move(completion)](const QStringList &paths) {
        if (!paths.isEmpty() && !paths.constFirst().isEmpty())
            *last = folderOf(paths.constFirst());
        completion(paths);
    });
}

std::optional<QString> AlertPresenter::chooseFolder(const FolderPanelRequest &request)
{
    FolderPanelRequest filled = request;
    if (filled.directory.isEmpty())
        filled.directory = startFolder();
    std::optional<QString> chosen = presentChooseFolder(filled);
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    *m_lastDirectory = *chosen;
    return chosen;
}

std::optional<QString> AlertPresenter::presentChooseFolder(const FolderPanelRequest &)
{
    return std::nullopt;
}

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
    box.setText(elidedForAlert(request.messageText, maxAlertTextChars));
    QString informative = elidedForAlert(request.informativeText, maxAlertTextChars);
    if (!request.accessoryText.isEmpty())
        informative += QStringLiteral("\n\n") + elidedForAlert(request.accessoryText, maxAlertPathChars);
    box.setInformativeText(informative);
    // Names and paths come from files and other programs: markup in them is text, never
    // a link or an image the box would load.
    box.setTextFormat(Qt::PlainText);
    for (QLabel *label : box.findChildren<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    switch (request.icon) {
    case AlertRequest::Icon::ForStyle:
        switch (request.style) {
        case AlertRequest::Style::Critical: box.setIcon(QMessageBox::Critical); break;
        case AlertRequest::Style::Warning: box.setIcon(QMessageBox::Warning); break;
        case AlertRequest::Style::Informational: box.setIcon(QMessageBox::Information); break;
        }
        break;
    case AlertRequest::Icon::Application:
        box.setIconPixmap(QApplication::windowIcon().pixmap(64, 64));
        break;
    case AlertRequest::Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
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

std::optional<QString> WidgetAlertPresenter::presentSaveFile(const FilePanelRequest &request)
{
    QFileDialog dialog(dialogParent(), request.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.nameFilters);
    // So that the dialog's own replace question is about the name with its extension.
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.directory.isEmpty())
        dialog.setDirectory(request.directory);
    dialog.selectFile(request.suggestedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

void WidgetAlertPresenter::presentOpenFiles(const FilePanelRequest &request,
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

std::optional<QString> WidgetAlertPresenter::presentChooseFolder(const FolderPanelRequest &request)
{
    // The desktop's own folder panels take no message, so Qt's panel sits in a dialog
    // under a line saying what the folder is for.
    QDialog dialog(dialogParent());
    dialog.setWindowTitle(request.title.isEmpty() ? QStringLiteral("sorv.ane") : request.title);
    auto *layout = new QVBoxLayout(&dialog);
    auto *message = new QLabel(request.message, &dialog);
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(true);
    layout->addWidget(message);
    auto *panel = new QFileDialog(&dialog);
    panel->setWindowFlags(Qt::Widget);
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setFileMode(QFileDialog::Directory);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    if (!request.acceptLabel.isEmpty())
        panel->setLabelText(QFileDialog::Accept, request.acceptLabel);
    if (!request.directory.isEmpty())
        panel->setDirectory(request.directory);
    layout->addWidget(panel);
    QObject::connect(panel, &QFileDialog::accepted, &dialog, &QDialog::accept);
    QObject::connect(panel, &QFileDialog::rejected, &dialog, &QDialog::reject);
    dialog.resize(720, 480);
    if (dialog.exec() != QDialog::Accepted || panel->selectedFiles().isEmpty())
        return std::nullopt;
    return panel->selectedFiles().constFirst();
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
