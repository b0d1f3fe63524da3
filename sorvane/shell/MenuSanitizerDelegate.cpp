#include "MenuSanitizerDelegate.h"

#include "TolvernMenuChrome.h"

#include <QMenu>

MenuSanitizerDelegate::MenuSanitizerDelegate(QMenu *menu)
    : QObject(menu)
{
    connect(menu, &QMenu::aboutToShow, this, &MenuSanitizerDelegate::menuNeedsUpdate);
}

MenuSanitizerDelegate *MenuSanitizerDelegate::of(const QMenu *menu)
{
    return menu->findChild<MenuSanitizerDelegate *>(QString(), Qt::FindDirectChildrenOnly);
}

void MenuSanitizerDelegate::menuNeedsUpdate()
{
    TolvernMenuChrome::stripJunk(static_cast<QMenu *>(parent()));
}
