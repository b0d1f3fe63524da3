#pragma once

class QMenu;
class QMenuBar;

// Keeps the main window's menu bar to the app's own commands: drops a top-level
// "Format" menu, strips stray system-style rows (dictation, the character palette,
// Writing Tools, AutoFill, Services) from the direct items of each top-level menu and
// tidies the separators left behind. Qt injects none of these on Linux, so the work
// is mostly the separator tidying for menus that hide rows; nothing is written to
// settings. All of it runs on the main thread.
//
// A title matches as written or as shown, that is with its mnemonic markers removed:
// "&Format" is the Format menu and "Emoji && Symbols" a palette row. The comparison
// is case-sensitive: "format" and "services" stay.
namespace TolvernMenuChrome {

// Makes `menuBar` the main menu and keeps it clean: a pass now, one on the event
// loop's next turn, one after 0.4 s and one each time the application becomes
// active; each top-level menu is also cleaned every time it is about to show, after
// the handlers it already had. Installing again changes nothing in the menus.
void installSanitizer(QMenuBar *menuBar);

// One pass over the main menu (nothing without one). Top-level menus created since
// the last pass get their about-to-show sanitizer now, once each.
void sanitizeNow();

// Removes the stray rows among the menu's direct items (submenus are not entered),
// then tidies its separators.
void stripJunk(QMenu *menu);

} // namespace TolvernMenuChrome
