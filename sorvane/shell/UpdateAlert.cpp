#include "UpdateAlert.h"

#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

UpdateAlert::UpdateAlert(const AppcastItem &item, const QString &runningVersion, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Software Update"));
    auto *layout = new QVBoxLayout(this);

    auto *headline = new QLabel(tr("A new version of sorv.ane is available!"), this);
    QFont bold = headline->font();
    bold.setBold(true);
    headline->setFont(bold);
    auto *detail = new QLabel(tr("sorv.ane %1 is now available — you have %2. Would you like to download it now?")
                                  .arg(item.shortVersion, runningVersion),
                              this);
    // Versions come from the feed: text, never markup.
    headline->setTextFormat(Qt::PlainText);
    detail->setTextFormat(Qt::PlainText);
    detail->setWordWrap(true);
    layout->addWidget(headline);
    layout->addWidget(detail);

    auto *notesLabel = new QLabel(tr("Release notes:"), this);
    notesLabel->setTextFormat(Qt::PlainText);
    m_notes = new QPlainTextEdit(this);
    m_notes->setReadOnly(true);
    m_notes->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    m_notes->setPlainText(item.releaseNotes);
    m_notes->setTabChangesFocus(true);
    notesLabel->setBuddy(m_notes);
    notesLabel->setVisible(!item.releaseNotes.isEmpty());
    m_notes->setVisible(!item.releaseNotes.isEmpty());
    layout->addWidget(notesLabel);
    layout->addWidget(m_notes, 1);

    auto *buttons = new QDialogButtonBox(this);
    m_install = buttons->addButton(tr("Install"), QDialogButtonBox::AcceptRole);
    m_later = buttons->addButton(tr("Later"), QDialogButtonBox::RejectRole);
    m_install->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    setTabOrder(m_notes, m_install);
    setTabOrder(m_install, m_later);
    m_install->setFocus();
    resize(520, item.releaseNotes.isEmpty() ? 160 : 380);

    const QList<double> frame =
        frameNumbers(Settings::shared().stringValue(SettingsKeys::updateAlertFrame));
    if (frame.size() >= 4)
        setGeometry(qRound(frame.at(0)), qRound(frame.at(1)), qRound(frame.at(2)), qRound(frame.at(3)));
}

QList<double> UpdateAlert::frameNumbers(const QString &text)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    QList<double> numbers;
    for (const QString &piece : text.split(space, Qt::SkipEmptyParts)) {
        bool ok = false;
        const double number = piece.toDouble(&ok);
        if (ok)
            numbers.append(number);
    }
    return numbers;
}

void UpdateAlert::done(int result)
{
    const QRect frame = geometry();
    Settings::shared().setValue(SettingsKeys::updateAlertFrame, QStringLiteral("%1 %2 %3 %4")
                                                                    .arg(frame.x())
                                                                    .arg(frame.y())
                                                                    .arg(frame.width())
                                                                    .arg(frame.height()));
    QDialog::done(result);
}
