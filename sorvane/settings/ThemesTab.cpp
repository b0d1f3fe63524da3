#include "ThemesTab.h"

ThemesTab::ThemesTab(QWidget *parent)
    : QWidget(parent)
{
}
