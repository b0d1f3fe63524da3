#include "platform/HomeIndexSource.h"
#include "window/WindowStyle.h"
#include "workspace/QuickOpenController.h"
#include "workspace/QuickOpenPanel.h"
#include "workspace/QuickOpenRowDelegate.h"
#include "TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QtTest>

namespace {

const QString home = QStringLiteral("/home/al");
const QDateTime now(QDate(2026, 6, 1), QTime(12, 0));

// An index that hands out whatever the test put in it.
class ScriptedIndex : public HomeIndexSource
{
public:
    void start() override { ++starts; }
    void refresh() override { ++refreshes; }
    QList<HomeIndexItem> snapshot(qsizetype limit) const override { return items.mid(0, limit); }

    // Newest first, a minute apart.
    void deliver(const QStringList &paths)
    {
        items.clear();
        for (qsizetype i = 0; i < paths.size(); ++i)
            items.append({paths[i], now.addSecs(-60 * (i + 1))});
        Q_EMIT updated();
    }

    QList<HomeIndexItem> items;
    int starts = 0;
    int refreshes = 0;
};

// One Quick Open over a scripted index, with a fixed clock, home and a recording opener.
struct QuickOpenFixture
{
    QuickOpenFixture()
        : controller(&index)
        , panel(&controller)
    {
        controller.setHomePath(home);
        controller.setClock([] { return now; });
        controller.setOpener([this](const QUrl &url) {
            opened.append(url.toLocalFile());
            return true;
        });
    }

    QStringList shownPaths() const
    {
        QStringList paths;
        for (const QuickOpenResult &result : controller.results())
            paths.append(result.id);
        return paths;
    }

    void show()
    {
        panel.showPanel();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
    }

    ScriptedIndex index;
    QuickOpenController controller;
    QuickOpenPanel panel;
    QStringList opened;
};

QStringList numbered(const QString &pattern, int count)
{
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(pattern.arg(i));
    return paths;
}

} // namespace

class tst_QuickOpen : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void filter_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("expected");

        const QStringList notes{"/home/al/notes/plan.md", "/home/al/notes.md", "/home/al/plan.md"};
        QTest::newRow("two spaces between terms") << notes << "notes  plan" << QStringList{"/home/al/notes/plan.md"};
        QTest::newRow("terms in any order") << notes << "plan notes" << QStringList{"/home/al/notes/plan.md"};
        QTest::newRow("overlapping terms") << notes << "note notes" << QStringList{"/home/al/notes/plan.md", "/home/al/notes.md"};
        QTest::newRow("search in capitals") << QStringList{"/home/al/x/readme.md", "/home/al/x/other.md"}
                                            << "README" << QStringList{"/home/al/x/readme.md"};
        QTest::newRow("Notes.MD") << QStringList{"/home/al/Notes.MD"} << "notes.md" << QStringList{"/home/al/Notes.MD"};
        QTest::newRow("folder terms") << QStringList{"/home/al/work/a.md", "/home/al/b.md"} << "work"
                                      << QStringList{"/home/al/work/a.md"};
        QTest::newRow("home reads ~") << QStringList{"/home/al/work/a.md"} << "~/work" << QStringList{"/home/al/work/a.md"};
        QTest::newRow("home path itself is not matched") << QStringList{"/home/al/work/a.md"} << "home" << QStringList{};
        QTest::newRow("file directly in home") << QStringList{"/home/al/a.md", "/srv/b.md"} << "a.md ~"
                                               << QStringList{"/home/al/a.md"};
        const QStringList alice{"/home/alice/notes/n.md"};
        QTest::newRow("home only as the leading folder") << alice << "~ice" << QStringList{};
        QTest::newRow("a longer name is not home") << alice << "/home/alice/notes" << alice;
        QTest::newRow("outside home") << QStringList{"/srv/al/x.md"} << "/srv/al" << QStringList{"/srv/al/x.md"};
        QTest::newRow("tab stays inside a term") << QStringList{"/home/al/a b.md"} << "a\tb" << QStringList{};
        QTest::newRow("space splits") << QStringList{"/home/al/a b.md"} << "a b" << QStringList{"/home/al/a b.md"};
        QTest::newRow("empty field: newest 30") << numbered("/home/al/f%1.md", 40) << ""
                                                << numbered("/home/al/f%1.md", 30);
        QTest::newRow("only spaces: newest 30") << numbered("/home/al/f%1.md", 40) << "   "
                                                << numbered("/home/al/f%1.md", 30);

        // 40 matches among others: the 30 newest matches, in index order.
        QStringList mixed;
        QStringList newestMatches;
        for (int i = 0; i < 50; ++i) {
            const bool match = i % 5 != 0;
            mixed.append(QStringLiteral("/home/al/%1-%2.md").arg(match ? "plan" : "other").arg(i));
            if (match && newestMatches.size() < 30)
                newestMatches.append(mixed.last());
        }
        QTest::newRow("40 matches give the 30 newest") << mixed << "plan" << newestMatches;
    }

    void filter()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, search);
        QFETCH(QStringList, expected);
        QuickOpenFixture fixture;
        fixture.index.deliver(files);
        fixture.controller.setSearchText(search);
        QCOMPARE(fixture.shownPaths(), expected);
        QCOMPARE(fixture.panel.resultList()->count(), expected.size());
    }

    // The index's first 300 positions make the snapshot, unusable items included.
    void snapshotCap()
    {
        QuickOpenFixture fixture;
        QStringList paths = numbered("/home/al/n%1.md", 305);
        paths[10] = QString();
        paths[20] = QString();
        paths[299] = QStringLiteral("/home/al/last-in.md");
        paths[300] = QStringLiteral("/home/al/beyond.md");
        fixture.index.deliver(paths);
        fixture.index.items[5].modified = QDateTime();
        Q_EMIT fixture.index.updated();

        fixture.controller.setSearchText(QStringLiteral("last-in"));
        QCOMPARE(fixture.shownPaths(), QStringList{"/home/al/last-in.md"});
        fixture.controller.setSearchText(QStringLiteral("beyond"));
        QVERIFY(fixture.shownPaths().isEmpty());
        fixture.controller.setSearchText(QStringLiteral("/n1"));
        QVERIFY(!fixture.shownPaths().contains(QString()));

        // A row without a change date shows no age.
        fixture.controller.setSearchText(QString());
        QCOMPARE(fixture.shownPaths().at(5), QStringLiteral("/home/al/n5.md"));
        const QListWidget *list = fixture.panel.resultList();
        QVERIFY(!list->item(5)->data(QuickOpenRowDelegate::DateRole).toDateTime().isValid());
        QCOMPARE(list->item(4)->data(QuickOpenRowDelegate::DateRole).toDateTime(), now.addSecs(-300));
    }

    void rowTexts()
    {
        QuickOpenFixture fixture;
        fixture.index.deliver({"/home/al/work/Plan.md", "/home/alice/x.md", "/home/al/top.md"});
        const QListWidget *list = fixture.panel.resultList();
        QCOMPARE(list->item(0)->text(), QStringLiteral("Plan.md"));
        QCOMPARE(list->item(0)->data(QuickOpenRowDelegate::FolderRole).toString(), QStringLiteral("~/work"));
        QCOMPARE(list->item(1)->data(QuickOpenRowDelegate::FolderRole).toString(), QStringLiteral("/home/alice"));
        QCOMPARE(list->item(2)->data(QuickOpenRowDelegate::FolderRole).toString(), QStringLiteral("~"));
    }

    void selectionMoves_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("expected");
        QTest::newRow("down twice") << 3 << QList<int>{Qt::Key_Down, Qt::Key_Down} << 2;
        QTest::newRow("down past the last row") << 3 << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Down} << 2;
        QTest::newRow("up at the first row") << 3 << QList<int>{Qt::Key_Up} << 0;
        QTest::newRow("down then up twice") << 3 << QList<int>{Qt::Key_Down, Qt::Key_Up, Qt::Key_Up} << 0;
        QTest::newRow("no rows") << 0 << QList<int>{Qt::Key_Down, Qt::Key_Up, Qt::Key_Down} << 0;
    }

    void selectionMoves()
    {
        QFETCH(int, rows);
        QFETCH(QList<int>, keys);
        QFETCH(int, expected);
        QuickOpenFixture fixture;
        fixture.index.deliver(numbered("/home/al/r%1.md", rows));
        fixture.show();
        for (int key : keys)
            QTest::keyClick(fixture.panel.searchField(), Qt::Key(key));
        QCOMPARE(fixture.controller.selectedIndex(), expected);
        // Return with no rows opens nothing.
        QTest::keyClick(fixture.panel.searchField(), Qt::Key_Return);
        QCOMPARE(fixture.opened, rows ? QStringList{QStringLiteral("/home/al/r%1.md").arg(expected)} : QStringList{});
        QCOMPARE(fixture.panel.isVisible(), rows == 0);
    }

    void selectionResets_data()
    {
        QTest::addColumn<QString>("cause");
        QTest::newRow("typing") << "typing";
        QTest::newRow("a new snapshot") << "snapshot";
        QTest::newRow("show") << "show";
    }

    void selectionResets()
    {
        QFETCH(QString, cause);
        QuickOpenFixture fixture;
        fixture.index.deliver(numbered("/home/al/r%1.md", 5));
        fixture.show();
        fixture.controller.moveSelection(3);
        QCOMPARE(fixture.controller.selectedIndex(), 3);
        if (cause == QLatin1String("typing"))
            QTest::keyClick(fixture.panel.searchField(), Qt::Key_R);
        else if (cause == QLatin1String("snapshot"))
            fixture.index.deliver(numbered("/home/al/s%1.md", 5));
        else
            fixture.panel.showPanel();
        QCOMPARE(fixture.controller.selectedIndex(), 0);
    }

    // The clicked row opens, not the highlighted one, and the highlight stays.
    void clickOpensTheClickedRow()
    {
        QuickOpenFixture fixture;
        fixture.index.deliver(numbered("/home/al/r%1.md", 4));
        fixture.show();
        QListWidget *list = fixture.panel.resultList();
        const QRect row = list->visualItemRect(list->item(2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(fixture.opened, QStringList{"/home/al/r2.md"});
        QCOMPARE(fixture.controller.selectedIndex(), 0);
        QVERIFY(!fixture.panel.isVisible());
    }

    void escapeHides()
    {
        QuickOpenFixture fixture;
        fixture.index.deliver(numbered("/home/al/r%1.md", 2));
        fixture.show();
        QTest::keyClicks(fixture.panel.searchField(), QStringLiteral("r1"));
        QTest::keyClick(fixture.panel.searchField(), Qt::Key_Escape);
        QVERIFY(!fixture.panel.isVisible());
        QVERIFY(fixture.opened.isEmpty());
    }

    // Every show starts over: empty field, first row, the index asked to catch up.
    void showClears()
    {
        QuickOpenFixture fixture;
        QCOMPARE(fixture.index.starts, 1);
        fixture.index.deliver(numbered("/home/al/r%1.md", 3));
        fixture.show();
        QCOMPARE(fixture.index.refreshes, 1);
        QTest::keyClicks(fixture.panel.searchField(), QStringLiteral("r2"));
        QCOMPARE(fixture.shownPaths(), QStringList{"/home/al/r2.md"});
        fixture.panel.hide();
        fixture.show();
        QCOMPARE(fixture.panel.searchField()->text(), QString());
        QCOMPARE(fixture.controller.searchText(), QString());
        QCOMPARE(fixture.shownPaths().size(), 3);
        QCOMPARE(fixture.controller.selectedIndex(), 0);
        QCOMPARE(fixture.index.refreshes, 2);
        QCOMPARE(fixture.index.starts, 1);
        QCOMPARE(fixture.panel.focusWidget(), fixture.panel.searchField());
    }

    void emptyTexts_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing gathered yet") << QStringList{} << "" << "Indexing...";
        QTest::newRow("no match") << QStringList{"/home/al/a.md"} << "zzz" << "No matches";
        QTest::newRow("empty index, text typed") << QStringList{} << "a" << "No matches";
    }

    void emptyTexts()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, search);
        QFETCH(QString, expected);
        QuickOpenFixture fixture;
        fixture.index.deliver(files);
        fixture.show();
        QCOMPARE(fixture.panel.searchField()->placeholderText(), QStringLiteral("Search markdown files..."));
        QTest::keyClicks(fixture.panel.searchField(), search);
        QVERIFY(fixture.panel.emptyLabel()->isVisible());
        QVERIFY(!fixture.panel.resultList()->isVisible());
        QCOMPARE(fixture.panel.emptyLabel()->text(), expected);
    }

    // The clear mark shows only with text and empties the field.
    void clearButton()
    {
        QuickOpenFixture fixture;
        fixture.index.deliver({"/home/al/a.md", "/home/al/b.md"});
        fixture.show();
        QAction *clear = fixture.panel.clearAction();
        QVERIFY(!clear->isVisible());
        QTest::keyClicks(fixture.panel.searchField(), QStringLiteral("b.md"));
        QVERIFY(clear->isVisible());
        QCOMPARE(fixture.shownPaths(), QStringList{"/home/al/b.md"});
        clear->trigger();
        QCOMPARE(fixture.panel.searchField()->text(), QString());
        QCOMPARE(fixture.shownPaths().size(), 2);
        QVERIFY(!clear->isVisible());
        QVERIFY(fixture.panel.resultList()->isVisible());
    }

    void timeAgo_data()
    {
        QTest::addColumn<qint64>("age");
        QTest::addColumn<QString>("expected");
        QTest::newRow("59 s") << qint64(59) << "just now";
        QTest::newRow("60 s") << qint64(60) << "1m ago";
        QTest::newRow("3599 s") << qint64(3599) << "59m ago";
        QTest::newRow("3600 s") << qint64(3600) << "1h ago";
        QTest::newRow("86399 s") << qint64(86399) << "23h ago";
        QTest::newRow("1 day") << qint64(86400) << "1d ago";
        QTest::newRow("6 days 23 hours") << qint64(6 * 86400 + 23 * 3600) << "6d ago";
        QTest::newRow("7 days") << qint64(7 * 86400) << "5/25/26";
        QTest::newRow("a year") << qint64(365 * 86400) << "6/1/25";
        QTest::newRow("future") << qint64(-3600) << "just now";
    }

    void timeAgo()
    {
        QFETCH(qint64, age);
        QFETCH(QString, expected);
        QuickOpenFixture fixture;
        QCOMPARE(fixture.controller.timeAgo(now.addSecs(-age)), expected);
    }

    // Light and dark: the highlighted row sits on the accent colour. Set
    // SORVANE_SCREENSHOT_DIR to keep the pictures.
    void looks_data()
    {
        QTest::addColumn<QString>("scheme");
        QTest::newRow("light") << "light";
        QTest::newRow("dark") << "dark";
    }

    void looks()
    {
        QFETCH(QString, scheme);
        QuickOpenFixture fixture;
        fixture.panel.setPalette(WindowStyle::paletteForColorScheme(scheme));
        fixture.index.items = {
            {"/home/al/notes/Meeting notes.md", now.addSecs(-30)},
            {"/home/al/projects/sorvane/README.md", now.addSecs(-300)},
            {"/home/al/projects/sorvane/docs/architecture.md", now.addSecs(-7200)},
            {"/home/al/journal/2026-05-30.md", now.addSecs(-2 * 86400)},
            {"/home/alice/shared/plan.markdown", now.addSecs(-30 * 86400)},
            {"/srv/wiki/Home.md", QDateTime()},
        };
        Q_EMIT fixture.index.updated();
        fixture.show();
        fixture.controller.moveSelection(1);
        QListWidget *list = fixture.panel.resultList();
        const QImage image = fixture.panel.grab().toImage();
        const QRect row = list->visualItemRect(list->item(1));
        const QPoint probe = list->viewport()->mapTo(&fixture.panel, QPoint(row.left() + 8, row.center().y()));
        keep(image, "quick-open-" + scheme);
        QCOMPARE(image.pixelColor(probe * image.devicePixelRatio()).rgb(),
                 WindowStyle::accent(fixture.panel.palette()).rgb());

        fixture.controller.setSearchText(QStringLiteral("nothing like this"));
        keep(fixture.panel.grab().toImage(), "quick-open-no-matches-" + scheme);
    }

private:
    static void keep(const QImage &image, const QString &name)
    {
        const QString folder = qEnvironmentVariable("SORVANE_SCREENSHOT_DIR");
        if (folder.isEmpty())
            return;
        QDir().mkpath(folder);
        image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    }
};

SORVANE_TEST_MAIN(tst_QuickOpen)
#include "tst_QuickOpen.moc"
