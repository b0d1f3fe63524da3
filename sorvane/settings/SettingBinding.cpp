#include "SettingBinding.h"

#include "platform/Settings.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QSignalBlocker>

namespace SettingBinding {

void bindSwitch(QAbstractButton *button, const QString &key, bool defaultValue)
{
    button->setCheckable(true);
    const auto show = [button, key, defaultValue] {
        const QSignalBlocker blocker(button);
        button->setChecked(Settings::shared().boolValue(key, defaultValue));
    };
    show();
    QObject::connect(button, &QAbstractButton::toggled, button,
                     [key](bool on) { Settings::shared().setValue(key, on); });
    QObject::connect(&Settings::shared(), &Settings::valueChanged, button, [show, key](const QString &changed) {
        if (changed == key)
            show();
    });
}

QCheckBox *boundSwitch(const QString &title, const QString &key, bool defaultValue, QWidget *parent)
{
    auto *box = new QCheckBox(title, parent);
    box->setObjectName(key);
    bindSwitch(box, key, defaultValue);
    return box;
}

QString storedChoice(const QString &key, const QStringList &choices, const QString &defaultValue)
{
    const QJsonValue stored = Settings::shared().storedValue(key);
    if (stored.isString() && choices.contains(stored.toString()))
        return stored.toString();
    return defaultValue;
}

void bindChoice(QComboBox *combo, const QString &key, const QString &defaultValue)
{
    const auto show = [combo, key, defaultValue] {
        QStringList choices;
        for (int i = 0; i < combo->count(); ++i)
            choices << combo->itemText(i);
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(combo->findText(storedChoice(key, choices, defaultValue)));
    };
    show();
    QObject::connect(combo, &QComboBox::currentIndexChanged, combo, [combo, key](int index) {
        if (index >= 0)
            Settings::shared().setValue(key, combo->itemText(index));
    });
    QObject::connect(&Settings::shared(), &Settings::valueChanged, combo, [show, key](const QString &changed) {
        if (changed == key)
            show();
    });
}

} // namespace SettingBinding
