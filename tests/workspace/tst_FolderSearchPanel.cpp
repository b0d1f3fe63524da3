// The folder search panel as the user meets it: made by its controller over a real
// document manager and real folders, typed into, clicked, dismissed and shown again.
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "platform/Settings.h"
#include "window/GlyphButton.h"
#include "window/WindowStyle.h"
#include "workspace/FolderSearchPanel.h"
#include "workspace/FolderSearchResultModel.h"
#include "workspace/FolderSearchSymbol.h"
#include "workspace/HomePath.h"
#include "workspace/WorkspaceSearchController.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

using Files = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Files)

namespace {

// The controller over a document manager and a temp folder; HOME is a folder "al" in
// it, beside a folder "alice".
struct Fixture {
    Fixture()
        : oldHome(qgetenv("HOME"))
    {
        Settings::shared().setValue(QStringLiteral("restoreSession"), false);
        QDir().mkpath(home());
        qputenv("HOME", QFile::encodeName(home()));
        controller.setDocumentManager(&manager);
    }
    ~Fixture() { qputenv("HOME", oldHome); }

    QString home() const { return dir.path() + QStringLiteral("/al"); }
    QString path(const QString &relative) const { return dir.path() + QLatin1Char('/') + relative; }
    bool write(const Files &files)
    {
        for (auto it = files.begin(); it != files.end(); ++it) {
            if (!writeFile(path(it.key()), it.value()))
                return false;
        }
        return true;
    }
    // Opens a file of the tree as the front document.
    void front(const QString &relative)
    {
        if (!QFile::exists(path(relative)))
            writeFile(path(relative), "# front\n");
        manager.openFile(path(relative));
    }
    FolderSearchPanel *show()
    {
        controller.show();
        return controller.panel();
    }
    WorkspaceSearchService &service() { return controller.service(); }
    bool settled() { return QTest::qWaitFor([this] { return !service().isSearching(); }, 30000); }

    QByteArray oldHome;
    QTemporaryDir dir;
    ScriptedAlertPresenter alerts;
    DocumentManager manager;
    WorkspaceSearchController controller;
};

// The rows as shown: "name | folder | count" for a file, "  line | text" for a line.
QStringList rows(const FolderSearchPanel &panel, const QString &base)
{
    QStringList out;
    const FolderSearchResultModel &model = *panel.resultModel();
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row);
        if (index.data(FolderSearchResultModel::KindRole).value<FolderSearchResultModel::Kind>()
            == FolderSearchResultModel::Kind::file) {
            QString folder = index.data(FolderSearchResultModel::FolderRole).toString();
            folder.replace(base, QStringLiteral("$DIR"));
            out << QStringLiteral("%1 | %2 | %3")
                       .arg(index.data().toString(), folder,
                            index.data(FolderSearchResultModel::CountRole).toString());
        } else {
            out << QStringLiteral("  %1 | %2").arg(index.data(FolderSearchResultModel::LineRole).toInt())
                       .arg(index.data().toString());
        }
    }
    return out;
}

QString lines(int n, const char *pattern)
{
    QStringList all;
    for (int i = 1; i <= n; ++i)
        all << QString::fromLatin1(pattern).arg(i);
    return all.join(QLatin1Char('\n'));
}

void clickRow(FolderSearchPanel &panel, int row)
{
    QListView *list = panel.resultList();
    const QRect rect = list->visualRect(panel.resultModel()->index(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

// Saves a grab for a person to look at when SORVANE_SCREENSHOT_DIR names a folder.
void keepGrab(QWidget &widget, const QString &name)
{
    const QString folder = qEnvironmentVariable("SORVANE_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    widget.grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace

class tst_FolderSearchPanel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void homePath_data();
    void homePath();
    void content_data();
    void content();
    void fixedTexts();
    void caseToggleAppliesFromTheNextSearch();
    void searchingState();
    void escapeHidesAndTheNextShowKeepsTheSearch();
    void openingHitsKeepsThePanel();
    void rootFollowsTheFrontDocument();
    void screenshots();
};

void tst_FolderSearchPanel::homePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("expected");

    QTest::newRow("below home") << "/home/al/notes" << "/home/al" << "~/notes";
    QTest::newRow("home itself") << "/home/al" << "/home/al" << "~";
    QTest::newRow("home with a trailing slash") << "/home/al/notes" << "/home/al/" << "~/notes";
    QTest::newRow("a longer name is not home") << "/home/alice/notes" << "/home/al" << "/home/alice/notes";
    QTest::newRow("home later in the path stays") << "/srv/home/al/notes" << "/home/al" << "/srv/home/al/notes";
    QTest::newRow("home twice: the leading one only") << "/home/al/home/al" << "/home/al" << "~/home/al";
    QTest::newRow("no home") << "/home/al/notes" << "" << "/home/al/notes";
    QTest::newRow("root as home") << "/etc/notes" << "/" << "~/etc/notes";
}

void tst_FolderSearchPanel::homePath()
{
    QFETCH(QString, path);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    QCOMPARE(HomePath::abbreviated(path, home), expected);
}

void tst_FolderSearchPanel::content_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("emptyText");
    QTest::addColumn<QStringList>("expectedRows");
    QTest::addColumn<QString>("status");

    QTest::newRow("nothing typed") << Files{{"al/a.md", "word"}} << "" << "Type to search this folder"
                                   << QStringList{} << "";
    QTest::newRow("no hits") << Files{{"al/a.md", "word"}} << "zebra" << "No matches" << QStringList{}
                             << "0 matches in 0 files";
    QTest::newRow("30 matching lines: 21+, three line rows")
        << Files{{"al/notes/a.md", lines(30, "word %1").toUtf8()}} << "word" << ""
        << QStringList{"a.md | ~/notes | 21+", "  1 | word 1", "  2 | word 2", "  3 | word 3"}
        << "21+ matches in 1 files";
    QTest::newRow("most matches first, lines trimmed of spaces and tabs")
        << Files{{"al/one.md", "\t\tword here  \nother"}, {"al/two.md", "x\n  word\n\nword again"}} << "word" << ""
        << QStringList{"two.md | ~ | 2", "  2 | word", "  4 | word again", "one.md | ~ | 1", "  1 | word here"}
        << "3 matches in 2 files";
    QTest::newRow("home shown as ~ only as the leading part of the folder")
        << Files{{"al/notes/a.md", "word"}, {"alice/notes/b.md", "word"}, {"x/al/c.md", "word"}} << "word" << ""
        << QStringList{"a.md | ~/notes | 1", "  1 | word", "b.md | $DIR/alice/notes | 1", "  1 | word",
                       "c.md | $DIR/x/al | 1", "  1 | word"}
        << "3 matches in 3 files";
}

void tst_FolderSearchPanel::content()
{
    QFETCH(Files, files);
    QFETCH(QString, typed);
    QFETCH(QString, emptyText);
    QFETCH(QStringList, expectedRows);
    QFETCH(QString, status);

    Fixture fixture;
    QVERIFY(fixture.write(files));
    fixture.front(QStringLiteral("front.txt"));
    FolderSearchPanel *panel = fixture.show();
    QTest::keyClicks(panel->queryField(), typed);
    QVERIFY(fixture.settled());

    QCOMPARE(rows(*panel, fixture.dir.path()), expectedRows);
    QCOMPARE(panel->showsEmptyState(), !emptyText.isEmpty());
    if (!emptyText.isEmpty()) {
        QCOMPARE(panel->emptyText()->text(), emptyText);
        QCOMPARE(panel->emptySymbol()->shape(), typed.isEmpty() ? FolderSearchSymbol::Shape::documentSearch
                                                                : FolderSearchSymbol::Shape::noMatches);
    }
    QCOMPARE(panel->statusText()->text(), status);
    QVERIFY(panel->busyIndicator()->isHidden());
    QCOMPARE(panel->rootText()->toolTip(), fixture.dir.path());
    QVERIFY(!panel->grab().isNull()); // the rows paint
}

void tst_FolderSearchPanel::fixedTexts()
{
    Fixture fixture;
    FolderSearchPanel *panel = fixture.show();
    QCOMPARE(panel->queryField()->placeholderText(), QStringLiteral("Search across folder..."));
    QCOMPARE(panel->caseToggle()->text(), QStringLiteral("Aa"));
    QCOMPARE(panel->caseToggle()->toolTip(), QStringLiteral("Case sensitive"));
    QVERIFY(panel->caseToggle()->isCheckable());
    QVERIFY(panel->closeButton());
    QCOMPARE(panel->size(), QSize(640, 500));
    QVERIFY(QTest::qWaitForWindowActive(panel));
    QVERIFY(panel->queryField()->hasFocus());
    // No document in front: no folder, and a search clears instead of running.
    QVERIFY(panel->rootText()->text().isEmpty());
    QTest::keyClicks(panel->queryField(), QStringLiteral("word"));
    QVERIFY(!fixture.service().isSearching());
    QCOMPARE(panel->emptyText()->text(), QStringLiteral("No matches"));
}

void tst_FolderSearchPanel::caseToggleAppliesFromTheNextSearch()
{
    Fixture fixture;
    QVERIFY(fixture.write({{"lower.md", "word"}}));
    fixture.front(QStringLiteral("front.txt"));
    FolderSearchPanel *panel = fixture.show();
    QTest::keyClicks(panel->queryField(), QStringLiteral("WORD"));
    QVERIFY(fixture.settled());
    QCOMPARE(rows(*panel, fixture.dir.path()).value(0), QStringLiteral("lower.md | $DIR | 1"));

    QTest::mouseClick(panel->caseToggle(), Qt::LeftButton);
    QVERIFY(fixture.service().caseSensitive());
    QVERIFY(!fixture.service().isSearching());
    QCOMPARE(rows(*panel, fixture.dir.path()).value(0), QStringLiteral("lower.md | $DIR | 1"));

    QTest::keyClick(panel->queryField(), Qt::Key_Return);
    QVERIFY(fixture.settled());
    QVERIFY(panel->showsEmptyState());
    QCOMPARE(panel->statusText()->text(), QStringLiteral("0 matches in 0 files"));
}

void tst_FolderSearchPanel::searchingState()
{
    Fixture fixture;
    QVERIFY(fixture.write({{"a.md", "word"}}));
    fixture.front(QStringLiteral("front.txt"));
    QSemaphore arrived, release;
    std::atomic_bool hold = true;
    fixture.service().setBeforeEntryForTesting([&] {
        if (hold.exchange(false)) {
            arrived.release();
            release.acquire();
        }
    });
    FolderSearchPanel *panel = fixture.show();

    QTest::keyClicks(panel->queryField(), QStringLiteral("word"));
    QVERIFY(arrived.tryAcquire(1, 30000));
    QCOMPARE(panel->statusText()->text(), QStringLiteral("Searching…"));
    QVERIFY(panel->busyIndicator()->isVisible());
    QCOMPARE(panel->emptyText()->text(), QStringLiteral("No matches")); // nothing earlier on screen
    QVERIFY(panel->showsEmptyState());
    release.release();
    QVERIFY(fixture.settled());
    QCOMPARE(panel->statusText()->text(), QStringLiteral("1 matches in 1 files"));

    // Earlier results stay on screen while the next search runs.
    hold = true;
    QTest::keyClick(panel->queryField(), Qt::Key_Return);
    QVERIFY(arrived.tryAcquire(1, 30000));
    QCOMPARE(panel->statusText()->text(), QStringLiteral("Searching…"));
    QVERIFY(!panel->showsEmptyState());
    release.release();
    QVERIFY(fixture.settled());
}

void tst_FolderSearchPanel::escapeHidesAndTheNextShowKeepsTheSearch()
{
    Fixture fixture;
    QVERIFY(fixture.write({{"a.md", "word\nword"}}));
    fixture.front(QStringLiteral("front.txt"));
    FolderSearchPanel *panel = fixture.show();
    QTest::keyClicks(panel->queryField(), QStringLiteral("word"));
    QVERIFY(fixture.settled());
    const QStringList shown = rows(*panel, fixture.dir.path());

    QTest::keyClick(panel->queryField(), Qt::Key_Escape);
    QVERIFY(!panel->isVisible());

    QCOMPARE(fixture.show(), panel); // made once
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->queryField()->text(), QStringLiteral("word"));
    QCOMPARE(rows(*panel, fixture.dir.path()), shown);
    QVERIFY(!fixture.service().isSearching()); // showing does not search

    // Shown again, the field has the keys at once.
    QVERIFY(QTest::qWaitForWindowActive(panel));
    QVERIFY(panel->queryField()->hasFocus());
    // Escape with a result focused hides it too.
    QTest::keyClick(panel->queryField(), Qt::Key_Down);
    QVERIFY(panel->resultList()->hasFocus());
    QTest::keyClick(panel->resultList(), Qt::Key_Escape);
    QVERIFY(!panel->isVisible());
}

void tst_FolderSearchPanel::openingHitsKeepsThePanel()
{
    Fixture fixture;
    QVERIFY(fixture.write({{"one.md", "word\nword"}, {"sub/two.md", "x\nword"}, {"three.md", "word"}}));
    fixture.front(QStringLiteral("front.txt"));
    FolderSearchPanel *panel = fixture.show();
    QTest::keyClicks(panel->queryField(), QStringLiteral("word"));
    QVERIFY(fixture.settled());
    QCOMPARE(rows(*panel, fixture.dir.path()),
             (QStringList{"one.md | $DIR | 2", "  1 | word", "  2 | word", "two.md | $DIR/sub | 1", "  2 | word",
                          "three.md | $DIR | 1", "  1 | word"}));

    const auto front = [&] { return fixture.manager.selectedDocument()->fileURL().toLocalFile(); };
    clickRow(*panel, 0); // a file row
    QCOMPARE(front(), fixture.path(QStringLiteral("one.md")));
    QVERIFY(panel->isVisible());
    clickRow(*panel, 4); // a line row
    QCOMPARE(front(), fixture.path(QStringLiteral("sub/two.md")));
    QVERIFY(panel->isVisible());
    // Return on a focused result opens it too.
    panel->resultList()->setFocus();
    panel->resultList()->setCurrentIndex(panel->resultModel()->index(6));
    QTest::keyClick(panel->resultList(), Qt::Key_Return);
    QCOMPARE(front(), fixture.path(QStringLiteral("three.md")));
    QCOMPARE(fixture.manager.documents().size(), 4);
}

void tst_FolderSearchPanel::rootFollowsTheFrontDocument()
{
    Fixture fixture;
    QVERIFY(fixture.write({{"one/a.md", "word"}, {"two/b.md", "word"}}));
    fixture.front(QStringLiteral("one/front.txt"));
    FolderSearchPanel *panel = fixture.show();
    QCOMPARE(panel->rootText()->toolTip(), fixture.path(QStringLiteral("one")));
    QTest::keyClicks(panel->queryField(), QStringLiteral("word"));
    QVERIFY(fixture.settled());
    const QStringList fromOne{"a.md | $DIR/one | 1", "  1 | word"};
    QCOMPARE(rows(*panel, fixture.dir.path()), fromOne);

    // An untitled document in front keeps the folder and the results.
    fixture.manager.newDocument();
    fixture.show();
    QCOMPARE(panel->rootText()->toolTip(), fixture.path(QStringLiteral("one")));
    QCOMPARE(rows(*panel, fixture.dir.path()), fromOne);

    // A saved one elsewhere moves the folder; the results stay until the query changes.
    fixture.front(QStringLiteral("two/front.txt"));
    fixture.show();
    QCOMPARE(panel->rootText()->toolTip(), fixture.path(QStringLiteral("two")));
    QVERIFY(!fixture.service().isSearching());
    QCOMPARE(rows(*panel, fixture.dir.path()), fromOne);
    QTest::keyClick(panel->queryField(), Qt::Key_Backspace);
    QVERIFY(fixture.settled());
    QCOMPARE(rows(*panel, fixture.dir.path()), (QStringList{"b.md | $DIR/two | 1", "  1 | word"}));
}

void tst_FolderSearchPanel::screenshots()
{
    Fixture fixture;
    QVERIFY(fixture.write({{"al/notes/plan.md", (lines(30, "- [ ] word item %1") + "\n").toUtf8()},
                           {"al/notes/journal/2026-12-10.md",
                            "\t\tA word with leading tabs, then a very long line that goes on and on so the panel has "
                            "to cut it with an ellipsis at its end\nword two"},
                           {"al/readme.txt", "Nothing but one word."}}));
    fixture.front(QStringLiteral("al/front.md"));
    FolderSearchPanel *panel = fixture.show();
    keepGrab(*panel, QStringLiteral("folder-search-empty"));
    QTest::keyClicks(panel->queryField(), QStringLiteral("word"));
    QVERIFY(fixture.settled());
    for (const char *scheme : {"light", "dark"}) {
        panel->setPalette(WindowStyle::paletteForColorScheme(QString::fromLatin1(scheme)));
        QCoreApplication::sendPostedEvents(); // the footer's layout after the search
        const QImage image = panel->grab().toImage();
        QVERIFY(!image.isNull());
        keepGrab(*panel, QStringLiteral("folder-search-%1").arg(QString::fromLatin1(scheme)));
    }
}

SORVANE_TEST_MAIN(tst_FolderSearchPanel)
#include "tst_FolderSearchPanel.moc"
