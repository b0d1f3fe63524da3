#pragma once

#include <QWidget>

// The settings window's "Themes" tab: the extra theme and the custom CSS, edited
// straight on ThemeService::shared().
class ThemesTab : public QWidget
{
    Q_OBJECT
public:
    explicit ThemesTab(QWidget *parent = nullptr);
};
