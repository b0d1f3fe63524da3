#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QWidget;

// Ties a control to its stored setting both ways: operating the control writes the
// key at once, and a write from anywhere else moves the control. Reading never
// writes: a value of the wrong type shows the default and stays stored as it was.
namespace SettingBinding {

// A switch over a Bool key.
void bindSwitch(QAbstractButton *button, const QString &key, bool defaultValue);
// A new switch titled `title`, bound to `key` and named after it.
QCheckBox *boundSwitch(const QString &title, const QString &key, bool defaultValue, QWidget *parent);
// A picker whose items are the raw values of `key`; an unknown value shows
// `defaultValue`.
void bindChoice(QComboBox *combo, const QString &key, const QString &defaultValue);
// The stored raw value when it is one of `choices`, else `defaultValue`.
QString storedChoice(const QString &key, const QStringList &choices, const QString &defaultValue);

} // namespace SettingBinding
