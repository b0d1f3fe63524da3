#include "ReportModalLayout.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace ReportModalLayout {

QVBoxLayout *begin(QDialog *dialog, const QString &title)
{
    // A dialog is a window of its own and takes no palette from its parent: it
    // follows the settings window's (always dark) one by hand.
    if (QWidget *parent = dialog->parentWidget())
        dialog->setPalette(parent->window()->palette());
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumWidth(380);
    auto *layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(16);

    auto *heading = new QLabel(title, dialog);
    heading->setObjectName(QStringLiteral("title"));
    QFont font = heading->font();
    font.setPointSizeF(font.pointSizeF() * 1.3);
    font.setBold(true);
    heading->setFont(font);
    layout->addWidget(heading);
    return layout;
}

void addButtons(QDialog *dialog, QVBoxLayout *layout, QPushButton *main, QPushButton *done)
{
    // Return presses the main button wherever the focus is.
    main->setDefault(true);
    done->setAutoDefault(false);
    auto *row = new QHBoxLayout;
    row->addWidget(main);
    row->addStretch(1);
    row->addWidget(done);
    layout->addLayout(row);
    QObject::connect(done, &QPushButton::clicked, dialog, &QDialog::accept);
}

} // namespace ReportModalLayout
