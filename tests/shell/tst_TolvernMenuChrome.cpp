#include "TestEnvironment.h"
#include "shell/MenuSanitizerDelegate.h"
#include "shell/TolvernMenuChrome.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

namespace {
// Rows as a compact list: "-" a separator, "(X)" a hidden row, anything else a title.
void fill(QMenu *menu, const QString &rows)
{
    for (QString row : rows.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const bool hidden = row.size() > 2 && row.startsWith(QLatin1Char('(')) && row.endsWith(QLatin1Char(')'));
        if (hidden)
            row = row.mid(1, row.size() - 2);
        QAction *action = row == QLatin1String("-") ? menu->addSeparator() : menu->addAction(row);
        action->setVisible(!hidden);
    }
}

// What the menu shows, in the same notation; hidden separators do not show at all.
QString shown(const QMenu *menu)
{
    QStringList rows;
    const QList<QAction *> actions = menu->actions();
    for (const QAction *action : actions) {
        if (action->isSeparator()) {
            if (action->isVisible())
                rows << QStringLiteral("-");
            continue;
        }
        rows << (action->isVisible() ? action->text() : QLatin1Char('(') + action->text() + QLatin1Char(')'));
    }
    return rows.join(QLatin1Char(','));
}

// The bar's titles; "*" marks a top-level item without a submenu.
QString titles(const QMenuBar &bar)
{
    QStringList items;
    const QList<QAction *> actions = bar.actions();
    for (const QAction *action : actions)
        items << action->text() + (QMenu::menuInAction(action) ? QString() : QStringLiteral("*"));
    return items.join(QLatin1Char(','));
}

int sanitizersOn(const QMenu *menu)
{
    return menu->findChildren<MenuSanitizerDelegate *>(QString(), Qt::FindDirectChildrenOnly).size();
}

// Everything the bar and its menus show, for before/after comparisons.
QString snapshot(const QMenuBar &bar)
{
    QStringList parts{titles(bar)};
    const QList<QAction *> actions = bar.actions();
    for (const QAction *action : actions) {
        if (const QMenu *menu = QMenu::menuInAction(action))
            parts << menu->title() + QLatin1Char(':') + shown(menu);
    }
    return parts.join(QLatin1Char('|'));
}
} // namespace

class tst_TolvernMenuChrome : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void menuRows_data()
    {
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("expected");
        QTest::newRow("runs of separators") << QStringLiteral("-,-,A,-,-,B,-") << QStringLiteral("A,-,B");
        QTest::newRow("only separators") << QStringLiteral("-,-,-") << QString();
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("system rows")
            << QStringLiteral("Cut,Emoji & Symbols,Writing Tools,AutoFill,Services,Copy") << QStringLiteral("Cut,Copy");
        QTest::newRow("prefix at the start only, case-sensitive")
            << QStringLiteral("Start Dictation…,Services…,services,My Services,AutoFill Contact,Writing Toolsets")
            << QStringLiteral("services,My Services");
        QTest::newRow("titles as shown") << QStringLiteral("Copy,&Services,Emoji && Symbols,Start &Dictation…")
                                         << QStringLiteral("Copy");
        QTest::newRow("separators the removals leave")
            << QStringLiteral("Cut,-,Start Dictation…,Emoji & Symbols,-,Paste,-,Services") << QStringLiteral("Cut,-,Paste");
        QTest::newRow("hidden rows between separators")
            << QStringLiteral("A,-,(B),-,(C),-,D") << QStringLiteral("A,-,(B),(C),D");
        QTest::newRow("only hidden rows after a separator") << QStringLiteral("A,-,(B),(C)") << QStringLiteral("A,(B),(C)");
        QTest::newRow("only hidden rows before a separator") << QStringLiteral("(A),-,B") << QStringLiteral("(A),B");
        QTest::newRow("every row hidden") << QStringLiteral("-,(A),-,(B),-") << QStringLiteral("(A),(B)");
        QTest::newRow("a separator its menu hid stays hidden") << QStringLiteral("A,(-),B") << QStringLiteral("A,B");
        QTest::newRow("hidden junk goes too") << QStringLiteral("A,-,(Services),-,B") << QStringLiteral("A,-,B");
        QTest::newRow("clean menu untouched") << QStringLiteral("A,-,B,C,-,D") << QStringLiteral("A,-,B,C,-,D");
    }

    // Each top-level menu loses the system rows among its direct items and the
    // separators that have nothing shown on one side or follow another.
    void menuRows()
    {
        QFETCH(QString, rows);
        QFETCH(QString, expected);
        QMenuBar bar;
        QMenu *menu = bar.addMenu(QStringLiteral("Edit"));
        fill(menu, rows);
        TolvernMenuChrome::installSanitizer(&bar);
        QCOMPARE(shown(menu), expected);
        TolvernMenuChrome::sanitizeNow();
        QCOMPARE(shown(menu), expected);
    }

    // A row that shows again later gets its separator back; one hidden again loses it.
    void separatorsFollowRowsShownLater()
    {
        QMenuBar bar;
        QMenu *menu = bar.addMenu(QStringLiteral("File"));
        fill(menu, QStringLiteral("New,-,(Recent),(Clear)"));
        TolvernMenuChrome::installSanitizer(&bar);
        QCOMPARE(shown(menu), QStringLiteral("New,(Recent),(Clear)"));
        menu->actions().at(2)->setVisible(true);
        TolvernMenuChrome::sanitizeNow();
        QCOMPARE(shown(menu), QStringLiteral("New,-,Recent,(Clear)"));
        menu->actions().at(2)->setVisible(false);
        TolvernMenuChrome::sanitizeNow();
        QCOMPARE(shown(menu), QStringLiteral("New,(Recent),(Clear)"));
    }

    void formatMenu_data()
    {
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QString>("expected");
        QTest::newRow("exact title") << QStringLiteral("File,Format,View") << QStringLiteral("File,View");
        QTest::newRow("with a mnemonic") << QStringLiteral("&Edit,&Format") << QStringLiteral("&Edit");
        QTest::newRow("other titles stay") << QStringLiteral("Formats,format,Format…") << QStringLiteral("Formats,format,Format…");
        QTest::newRow("without a submenu") << QStringLiteral("Format*,Help") << QStringLiteral("Format*,Help");
        QTest::newRow("system titles at top level stay") << QStringLiteral("Services,Writing Tools")
                                                         << QStringLiteral("Services,Writing Tools");
    }

    // The top-level Format menu goes as a whole; anything else in the bar stays.
    void formatMenu()
    {
        QFETCH(QString, bar);
        QFETCH(QString, expected);
        QMenuBar menuBar;
        for (const QString &title : bar.split(QLatin1Char(','))) {
            if (title.endsWith(QLatin1Char('*')))
                menuBar.addAction(title.chopped(1));
            else
                menuBar.addMenu(title);
        }
        TolvernMenuChrome::installSanitizer(&menuBar);
        QCOMPARE(titles(menuBar), expected);
    }

    // Only the direct items of top-level menus are looked at: a nested submenu keeps
    // its rows, a nested "Format" stays, a nested "Services" submenu goes as one row,
    // and a menu that stripping empties stays in the bar.
    void onlyDirectItemsOfTopLevelMenus()
    {
        QMenuBar bar;
        QMenu *edit = bar.addMenu(QStringLiteral("Edit"));
        fill(edit, QStringLiteral("Undo,-"));
        QMenu *nested = edit->addMenu(QStringLiteral("Speech"));
        fill(nested, QStringLiteral("-,Start Dictation…,-,-"));
        QMenu *format = edit->addMenu(QStringLiteral("Format"));
        fill(format, QStringLiteral("Bold"));
        QMenu *services = edit->addMenu(QStringLiteral("Services"));
        fill(services, QStringLiteral("Mail"));
        QMenu *tools = bar.addMenu(QStringLiteral("Tools"));
        fill(tools, QStringLiteral("Writing Tools,-,AutoFill"));

        TolvernMenuChrome::installSanitizer(&bar);
        QCOMPARE(shown(edit), QStringLiteral("Undo,-,Speech,Format"));
        QCOMPARE(shown(nested), QStringLiteral("-,Start Dictation…,-,-"));
        QCOMPARE(sanitizersOn(nested), 0);
        QCOMPARE(shown(format), QStringLiteral("Bold"));
        QCOMPARE(titles(bar), QStringLiteral("Edit,Tools"));
        QCOMPARE(shown(tools), QString());
        QVERIFY(tools->isEmpty());
    }

    // Installing again, and the passes it schedules, change nothing and add no second
    // sanitizer; a menu added later is taken in by the next pass.
    void repeatedPassesChangeNothing()
    {
        QMenuBar bar;
        fill(bar.addMenu(QStringLiteral("File")), QStringLiteral("-,New,-,-,(Recent),Services,-"));
        fill(bar.addMenu(QStringLiteral("Format")), QStringLiteral("Bold"));
        fill(bar.addMenu(QStringLiteral("Edit")), QStringLiteral("Copy,Emoji & Symbols,-,(Find),-,Paste"));
        TolvernMenuChrome::installSanitizer(&bar);
        const QString first = snapshot(bar);
        QCOMPARE(first, QStringLiteral("File,Edit|File:New,(Recent)|Edit:Copy,-,(Find),Paste"));

        TolvernMenuChrome::installSanitizer(&bar);
        TolvernMenuChrome::sanitizeNow();
        QCOMPARE(snapshot(bar), first);

        QMenu *late = bar.addMenu(QStringLiteral("Window"));
        fill(late, QStringLiteral("Minimize,-,Writing Tools"));
        QVERIFY(QTest::qWaitFor([&] { return shown(late) == QLatin1String("Minimize"); }));
        const QList<QAction *> menus = bar.actions();
        for (const QAction *item : menus)
            QCOMPARE(sanitizersOn(QMenu::menuInAction(item)), 1);
        TolvernMenuChrome::sanitizeNow();
        QCOMPARE(snapshot(bar), QStringLiteral("File,Edit,Window|File:New,(Recent)|Edit:Copy,-,(Find),Paste|Window:Minimize"));
    }

    void cleanedAfterTheMenusOwnHandler_data()
    {
        QTest::addColumn<QString>("rebuilt");
        QTest::addColumn<QString>("expected");
        QTest::newRow("junk rows") << QStringLiteral("a.md,b.md,-,Services,AutoFill") << QStringLiteral("a.md,b.md");
        QTest::newRow("trailing separator") << QStringLiteral("a.md,-") << QStringLiteral("a.md");
        QTest::newRow("separator before hidden rows") << QStringLiteral("a.md,-,(Clear Menu)") << QStringLiteral("a.md,(Clear Menu)");
    }

    // A menu that rebuilds itself when about to show is cleaned after the rebuild,
    // every time it shows.
    void cleanedAfterTheMenusOwnHandler()
    {
        QFETCH(QString, rebuilt);
        QFETCH(QString, expected);
        QMenuBar bar;
        QMenu *recent = bar.addMenu(QStringLiteral("File"));
        int rebuilds = 0;
        connect(recent, &QMenu::aboutToShow, recent, [&] {
            ++rebuilds;
            recent->clear();
            fill(recent, rebuilt);
        });
        TolvernMenuChrome::installSanitizer(&bar);
        for (int round = 1; round <= 2; ++round) {
            recent->popup(QPoint(0, 0));
            QCOMPARE(rebuilds, round);
            QCOMPARE(shown(recent), expected);
            recent->hide();
        }
    }

    // Becoming the active application runs a pass at once.
    void passOnActivation()
    {
        QMenuBar bar;
        QMenu *edit = bar.addMenu(QStringLiteral("Edit"));
        fill(edit, QStringLiteral("Copy"));
        TolvernMenuChrome::installSanitizer(&bar);
        TolvernMenuChrome::installSanitizer(&bar);
        fill(edit, QStringLiteral("-,Start Dictation…"));
        bar.addMenu(QStringLiteral("Format"));
        Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
        QCOMPARE(shown(edit), QStringLiteral("Copy,-,Start Dictation…"));
        Q_EMIT qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QCOMPARE(shown(edit), QStringLiteral("Copy"));
        QCOMPARE(titles(bar), QStringLiteral("Edit"));
    }
};

SORVANE_TEST_MAIN(tst_TolvernMenuChrome)
#include "tst_TolvernMenuChrome.moc"
