#include "TolvernMenuChrome.h"

#include "MenuSanitizerDelegate.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <array>

namespace {

constexpr int latePassDelayMs = 400;
// Set on a separator the tidying hid, so that it may show it again; one its owner hid
// stays hidden.
const char *const hiddenByTidying = "sorvaneHiddenByMenuTidying";
// Set on a menu bar once it follows the application's activation.
const char *const followsActivation = "sorvaneMenuChromeFollowsActivation";

const std::array<QLatin1String, 5> junkTitlePrefixes{
    QLatin1String("Start Dictation"), QLatin1String("Emoji & Symbols"), QLatin1String("Writing Tools"),
    QLatin1String("AutoFill"), QLatin1String("Services")};

QPointer<QMenuBar> &mainMenu()
{
    static QPointer<QMenuBar> menuBar;
    return menuBar;
}

// The title as the menu shows it: "&&" is a literal ampersand, any other '&' marks the
// mnemonic and is not drawn.
QString shownTitle(const QString &title)
{
    QString shown;
    shown.reserve(title.size());
    for (qsizetype i = 0; i < title.size(); ++i) {
        if (title.at(i) == QLatin1Char('&')) {
            if (++i < title.size())
                shown.append(title.at(i));
            continue;
        }
        shown.append(title.at(i));
    }
    return shown;
}

bool isFormatTitle(const QString &title)
{
    const QLatin1String format("Format");
    return title == format || shownTitle(title) == format;
}

bool isJunkTitle(const QString &title)
{
    const QString shown = shownTitle(title);
    return std::any_of(junkTitlePrefixes.begin(), junkTitlePrefixes.end(), [&](QLatin1String prefix) {
        return title.startsWith(prefix) || shown.startsWith(prefix);
    });
}

// A section heading is a separator with a title; it is a row of its own.
bool isPlainSeparator(const QAction *action)
{
    return action->isSeparator() && action->text().isEmpty();
}

// Hidden rows count as absent: a separator with nothing shown on one side, or right
// after another shown separator, is hidden. Separators are hidden rather than removed,
// so a row the menu shows again later gets its separator back on the next pass.
void tidySeparators(QMenu *menu)
{
    QList<QAction *> separators;
    QList<QAction *> shown;
    QAction *pending = nullptr;
    bool rowBefore = false;
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (isPlainSeparator(action)) {
            if (!action->isVisible() && !action->property(hiddenByTidying).toBool())
                continue;
            separators.append(action);
            // Of a run, only the first may show.
            if (rowBefore && !pending)
                pending = action;
            continue;
        }
        if (!action->isVisible())
            continue;
        if (pending)
            shown.append(pending);
        pending = nullptr;
        rowBefore = true;
    }
    for (QAction *separator : std::as_const(separators)) {
        if (shown.contains(separator)) {
            separator->setProperty(hiddenByTidying, QVariant());
            separator->setVisible(true);
        } else if (separator->isVisible()) {
            separator->setProperty(hiddenByTidying, true);
            separator->setVisible(false);
        }
    }
}

} // namespace

namespace TolvernMenuChrome {

void installSanitizer(QMenuBar *menuBar)
{
    if (!menuBar)
        return;
    mainMenu() = menuBar;
    sanitizeNow();
    // Menus the window finishes building after this call are caught by the later passes.
    QTimer::singleShot(0, menuBar, &sanitizeNow);
    QTimer::singleShot(latePassDelayMs, menuBar, &sanitizeNow);
    if (menuBar->property(followsActivation).toBool())
        return;
    menuBar->setProperty(followsActivation, true);
    QObject::connect(qGuiApp, &QGuiApplication::applicationStateChanged, menuBar, [](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            sanitizeNow();
    });
}

void sanitizeNow()
{
    QMenuBar *menuBar = mainMenu();
    if (!menuBar)
        return;
    const QList<QAction *> items = menuBar->actions();
    for (QAction *item : items) {
        QMenu *menu = QMenu::menuInAction(item);
        if (!menu)
            continue;
        if (isFormatTitle(item->text())) {
            menuBar->removeAction(item);
            continue;
        }
        if (!MenuSanitizerDelegate::of(menu))
            new MenuSanitizerDelegate(menu);
        stripJunk(menu);
    }
}

void stripJunk(QMenu *menu)
{
    const QList<QAction *> actions = menu->actions();
    for (auto it = actions.crbegin(); it != actions.crend(); ++it) {
        if (isJunkTitle((*it)->text()))
            menu->removeAction(*it);
    }
    tidySeparators(menu);
}

} // namespace TolvernMenuChrome
