#include "PassphrasePrompt.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
PassphrasePrompt *installed = nullptr;

QLineEdit *secretField(QWidget *parent, const QString &placeholder)
{
    auto *field = new QLineEdit(parent);
    field->setEchoMode(QLineEdit::Password);
    field->setPlaceholderText(placeholder);
    field->setMinimumWidth(260);
    return field;
}
} // namespace

PassphrasePrompt::~PassphrasePrompt() = default;

PassphrasePrompt &PassphrasePrompt::shared()
{
    static WidgetPassphrasePrompt widgets;
    return installed ? *installed : widgets;
}

void PassphrasePrompt::setShared(PassphrasePrompt *prompt)
{
    installed = prompt;
}

std::optional<PassphraseAnswer> WidgetPassphrasePrompt::ask(const PassphraseRequest &request)
{
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(QStringLiteral("sorv.ane"));
    auto *layout = new QVBoxLayout(&dialog);

    auto *message = new QLabel(request.messageText, &dialog);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    message->setWordWrap(true);
    layout->addWidget(message);
    if (!request.informativeText.isEmpty()) {
        auto *informative = new QLabel(request.informativeText, &dialog);
        informative->setWordWrap(true);
        layout->addWidget(informative);
    }

    auto *fields = new QVBoxLayout;
    fields->setSpacing(6);
    QLineEdit *first = secretField(&dialog, request.placeholder);
    fields->addWidget(first, 0, Qt::AlignLeft);
    QLineEdit *second = nullptr;
    if (request.confirming) {
        second = secretField(&dialog, request.confirmationPlaceholder);
        fields->addWidget(second, 0, Qt::AlignLeft);
    }
    layout->addLayout(fields);

    auto *buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    first->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return PassphraseAnswer{first->text(), second ? second->text() : QString()};
}
