#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;

// A row of exclusive buttons, one per option: the segmented picker of the settings.
class SegmentedPicker : public QWidget
{
    Q_OBJECT
public:
    explicit SegmentedPicker(const QStringList &options, QWidget *parent = nullptr);

    QString currentText() const;
    // Checks the option's button without emitting activated; an unknown text checks none.
    void setCurrentText(const QString &text);

Q_SIGNALS:
    // The user chose an option.
    void activated(const QString &text);

private:
    QButtonGroup *m_group;
};
