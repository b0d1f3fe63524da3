#include "SegmentedPicker.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>

SegmentedPicker::SegmentedPicker(const QStringList &options, QWidget *parent)
    : QWidget(parent)
    , m_group(new QButtonGroup(this))
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_group->setExclusive(true);
    for (const QString &option : options) {
        auto *button = new QPushButton(option, this);
        button->setCheckable(true);
        button->setObjectName(option);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        m_group->addButton(button);
        connect(button, &QPushButton::toggled, this, [button](bool checked) {
            // The style's pressed look is too faint to tell the chosen segment; only
            // these two roles are set, the rest still comes from the window.
            QPalette look; // resolves nothing: all inherited
            if (checked) {
                look.setColor(QPalette::Button, button->palette().color(QPalette::Highlight));
                look.setColor(QPalette::ButtonText, button->palette().color(QPalette::HighlightedText));
            }
            button->setPalette(look);
        });
        row->addWidget(button);
    }
    connect(m_group, &QButtonGroup::buttonClicked, this,
            [this](QAbstractButton *button) { Q_EMIT activated(button->text()); });
}

QString SegmentedPicker::currentText() const
{
    QAbstractButton *checked = m_group->checkedButton();
    return checked ? checked->text() : QString();
}

void SegmentedPicker::setCurrentText(const QString &text)
{
    for (QAbstractButton *button : m_group->buttons()) {
        if (button->text() == text) {
            button->setChecked(true);
            return;
        }
    }
    // Exclusive groups refuse to uncheck their last button directly.
    m_group->setExclusive(false);
    for (QAbstractButton *button : m_group->buttons())
        button->setChecked(false);
    m_group->setExclusive(true);
}
