#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The settings window's "Themes" tab: the extra theme and the custom CSS, edited
// straight on ThemeService::shared(). It keeps nothing of its own.
class ThemesTab : public QWidget
{
    Q_OBJECT
public:
    explicit ThemesTab(QWidget *parent = nullptr);

    QComboBox *themePicker() const { return m_picker; }
    QCheckBox *customCSSSwitch() const { return m_switch; }
    QPlainTextEdit *cssEditor() const { return m_editor; }
    QPushButton *showFileButton() const { return m_showFile; }
    QLabel *pathLabel() const { return m_path; }

protected:
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void syncFromService();
    void elidePath();
    void outlineEditor();

    QComboBox *m_picker = nullptr;
    QCheckBox *m_switch = nullptr;
    QPlainTextEdit *m_editor = nullptr;
    QPushButton *m_showFile = nullptr;
    QLabel *m_path = nullptr;
};
