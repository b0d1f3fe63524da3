#pragma once

#include <QObject>

class QMenu;

// Cleans one top-level menu each time it is about to show. A child of its menu, so it
// goes with it; connected when made, so it runs after the handlers the menu already
// had (a menu that rebuilds itself on show is cleaned after the rebuild).
class MenuSanitizerDelegate : public QObject
{
    Q_OBJECT
public:
    explicit MenuSanitizerDelegate(QMenu *menu);

    // The sanitizer a menu already has, or none.
    static MenuSanitizerDelegate *of(const QMenu *menu);

private:
    void menuNeedsUpdate();
};
