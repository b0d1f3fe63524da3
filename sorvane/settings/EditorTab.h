#pragma once

#include <QWidget>

class QLabel;
class QSlider;

// The settings window's "Editor" tab: font size, editing aids and the Vim mode.
class EditorTab : public QWidget
{
    Q_OBJECT
public:
    explicit EditorTab(QWidget *parent = nullptr);

    // The label of a stored size: truncated toward zero, then "px" (15.7 gives "15px").
    static QString fontSizeText(double points);

private:
    void showStoredFontSize();

    QSlider *m_fontSlider;
    QLabel *m_fontLabel;
};
