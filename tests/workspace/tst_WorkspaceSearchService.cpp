// The folder search over real folder trees: what a search finds and in which order,
// the caps, strict UTF-8, line ends, links, and how a newer search or a cleared query
// replaces a running one.
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "workspace/WorkspaceSearchService.h"
#include "workspace/WorkspaceSearchWalk.h"

#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>

namespace {

// One entry of a fixture tree.
struct Entry {
    enum Kind { file, sparse, link };
    QString path;
    QByteArray content; // file: the bytes; sparse: written at the start; link: the target
    Kind kind = file;
    qint64 size = 0; // sparse: the file's length
};
using Tree = QList<Entry>;

Entry file(const QString &path, const QByteArray &content) { return {path, content}; }
Entry sparse(const QString &path, const QByteArray &head, qint64 size) { return {path, head, Entry::sparse, size}; }
Entry linkTo(const QString &path, const QByteArray &target) { return {path, target, Entry::link}; }

constexpr qint64 mebibyte = 1024 * 1024;

bool build(const QString &root, const Tree &tree)
{
    for (const Entry &entry : tree) {
        const QString path = root + QLatin1Char('/') + entry.path;
        QDir().mkpath(QFileInfo(path).path());
        if (entry.kind == Entry::link) {
            if (!QFile::link(QString::fromUtf8(entry.content), path))
                return false;
            continue;
        }
        if (!writeFile(path, entry.content))
            return false;
        if (entry.kind == Entry::sparse && !QFile::resize(path, entry.size))
            return false;
    }
    return true;
}

// n files "f0000.md"... holding the line "word" each.
Tree numberedFiles(int n, int first = 0)
{
    Tree tree;
    for (int i = first; i < first + n; ++i)
        tree << file(QStringLiteral("f%1.md").arg(i, 4, 10, QLatin1Char('0')), "word\n");
    return tree;
}

QStringList numberedSummaries(int n, int first = 0)
{
    QStringList summaries;
    for (int i = first; i < first + n; ++i)
        summaries << QStringLiteral("f%1.md 1: 1[0,4]word").arg(i, 4, 10, QLatin1Char('0'));
    return summaries;
}

QString lines(int n, const char *pattern)
{
    QStringList all;
    for (int i = 1; i <= n; ++i)
        all << QString::fromLatin1(pattern).arg(i);
    return all.join(QLatin1Char('\n'));
}

// "path count[+]: line[start,length]text / ..." with the path relative to root.
QStringList summaries(const QList<WorkspaceSearchFileSummary> &files, const QString &root)
{
    QStringList out;
    for (const WorkspaceSearchFileSummary &summary : files) {
        QStringList snippets;
        for (const WorkspaceSearchResult &result : summary.snippets) {
            snippets << QStringLiteral("%1[%2,%3]%4")
                            .arg(result.lineNumber)
                            .arg(result.matchStart)
                            .arg(result.matchLength)
                            .arg(result.lineText);
            if (result.url != summary.url)
                snippets << QStringLiteral("(other url)");
        }
        out << QStringLiteral("%1 %2%3: %4")
                   .arg(QDir(root).relativeFilePath(summary.url.toLocalFile()))
                   .arg(summary.matchCount)
                   .arg(summary.countCapped ? QStringLiteral("+") : QString())
                   .arg(snippets.join(QStringLiteral(" / ")));
    }
    return out;
}

QString total(const WorkspaceSearchService &service)
{
    return QString::number(service.totalMatches()) + (service.capped() ? QStringLiteral("+") : QString());
}

QUrl documentIn(const QString &folder)
{
    return QUrl::fromLocalFile(folder + QStringLiteral("/front.md"));
}

// Lets a test hold the worker at its first entry.
struct Gate {
    QSemaphore arrived;
    QSemaphore release;
    std::atomic_int entries{0};

    std::function<void()> hook()
    {
        return [this] {
            if (entries.fetch_add(1) == 0) {
                arrived.release();
                release.acquire();
            }
        };
    }
};

} // namespace

Q_DECLARE_METATYPE(Tree)

class tst_WorkspaceSearchService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void search_data();
    void search();
    void newestOfTenSearchesPublishesAlone();
    void clearingMidSearchEmptiesAndNothingArrivesLater();
    void clearingRequests_data();
    void clearingRequests();
    void rootFollowsDocumentFolder();
};

void tst_WorkspaceSearchService::search_data()
{
    QTest::addColumn<Tree>("tree");
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("expectedTotal");

    QTest::newRow("30 matching lines: count capped at 21, three snippets")
        << Tree{file("a.md", lines(30, "word %1").toUtf8())} << "word" << false
        << QStringList{"a.md 21+: 1[0,4]word 1 / 2[0,4]word 2 / 3[0,4]word 3"} << "21+";
    QTest::newRow("exactly 21 matching lines are not capped")
        << Tree{file("a.md", lines(21, "word %1").toUtf8() + "\nlast")} << "word" << false
        << QStringList{"a.md 21: 1[0,4]word 1 / 2[0,4]word 2 / 3[0,4]word 3"} << "21";
    QTest::newRow("first match of a line, in UTF-16 units, line kept whole")
        << Tree{file("a.md", "\t\U0001F600 Word and word  \nnothing here")} << "word" << false
        << QStringList{"a.md 1: 1[4,4]\t\U0001F600 Word and word  "} << "1";
    QTest::newRow("ignoring case finds capitals, also beyond ASCII")
        << Tree{file("a.md", "APPLE pie\nÄPFEL\nnone")} << "äpfel" << false << QStringList{"a.md 1: 2[0,5]ÄPFEL"}
        << "1";
    QTest::newRow("matching case does not")
        << Tree{file("a.md", "APPLE pie\nÄPFEL")} << "äpfel" << true << QStringList{} << "0";
    QTest::newRow("query of spaces is searched unchanged")
        << Tree{file("a.md", "a b\na  b\n")} << "  " << false << QStringList{"a.md 1: 2[1,2]a  b"} << "1";
    QTest::newRow("searchable extensions in any case")
        << Tree{file("a.MD", "word"), file("b.markdown", "word"), file("c.mdx", "word"), file("d.txt", "word"),
                file("e.mdown", "word"), file("f.rst", "word"), file("md", "word"), file("g.Txt", "word")}
        << "word" << false
        << QStringList{"a.MD 1: 1[0,4]word", "b.markdown 1: 1[0,4]word", "c.mdx 1: 1[0,4]word",
                       "d.txt 1: 1[0,4]word", "g.Txt 1: 1[0,4]word"}
        << "5";
    QTest::newRow("dependency, version-control and hidden folders are left out")
        << Tree{file("build/a.md", "word"), file("Dist/a.md", "word"), file("dist/a.md", "word"),
                file("node_modules/a.md", "word"), file(".git/a.md", "word"), file("Pods/a.md", "word"),
                file(".next/a.md", "word"), file(".svelte-kit/a.md", "word"), file(".notes/a.md", "word"),
                file(".hidden.md", "word"), file("deep/node_modules/a.md", "word"), file("deep/b.md", "word")}
        << "word" << false
        << QStringList{"Dist/a.md 1: 1[0,4]word", "build/a.md 1: 1[0,4]word", "deep/b.md 1: 1[0,4]word"} << "3";
    QTest::newRow("CR LF ends one line; lone CR, NEL, VT, FF, LS and PS each end one")
        << Tree{file("a-crlf.md", "one\r\nword"), file("b-crlf2.md", "one\r\n\r\nword"),
                file("c-cr.md", "one\rword"), file("d-crcrlf.md", "one\r\r\nword"), file("e-lfcr.md", "one\n\rword"),
                file("f-nel.md", "one\u0085word"), file("g-vt.md", "one\vword"), file("h-ff.md", "one\fword"),
                file("i-ls.md", "one\u2028word"), file("j-ps.md", "one\u2029word")}
        << "word" << false
        << QStringList{"a-crlf.md 1: 2[0,4]word", "b-crlf2.md 1: 3[0,4]word", "c-cr.md 1: 2[0,4]word",
                       "d-crcrlf.md 1: 3[0,4]word", "e-lfcr.md 1: 3[0,4]word", "f-nel.md 1: 2[0,4]word",
                       "g-vt.md 1: 2[0,4]word", "h-ff.md 1: 2[0,4]word", "i-ls.md 1: 2[0,4]word",
                       "j-ps.md 1: 2[0,4]word"}
        << "10";
    QTest::newRow("strict UTF-8: a bad byte or a cut sequence skips the file; a BOM does not")
        << Tree{file("a-bad.md", "word \xff"), file("b-cut.md", "word \xe2\x82"),
                file("c-surrogate.md", "word \xed\xa0\x80"), file("d-bom.md", "\xef\xbb\xbfword"),
                file("e-good.md", "caf\xc3\xa9 word")}
        << "word" << false << QStringList{"d-bom.md 1: 1[0,4]word", "e-good.md 1: 1[5,4]café word"} << "2";
    QTest::newRow("most matches first, equal counts in walk order, folders walked where they sort")
        << Tree{file("c/y.md", "word"), file("b.md", "word\nword"), file("a.md", "word"), file("a/z.md", "word"),
                file("B.md", "word")}
        << "word" << false
        << QStringList{"b.md 2: 1[0,4]word / 2[0,4]word", "B.md 1: 1[0,4]word", "a/z.md 1: 1[0,4]word",
                       "a.md 1: 1[0,4]word", "c/y.md 1: 1[0,4]word"}
        << "6";
    QTest::newRow("files over 16 MiB are passed over, 16 MiB is read")
        << Tree{sparse("big.md", "word\n", 17 * mebibyte), sparse("edge.md", "word\n", 16 * mebibyte),
                sparse("over.txt", "word\n", 16 * mebibyte + 1)}
        << "word" << false << QStringList{"edge.md 1: 1[0,4]word"} << "1";
    QTest::newRow("links are never followed, a loop included")
        << Tree{file("real.md", "word"), linkTo("loop", "."), linkTo("link.md", "real.md"),
                linkTo("elsewhere", "/usr/share"), linkTo("dangling.md", "gone.md")}
        << "word" << false << QStringList{"real.md 1: 1[0,4]word"} << "1";
    QTest::newRow("2001 files are read and nothing is left: not capped")
        << numberedFiles(2001) << "word" << false << numberedSummaries(2001) << "2001";
    QTest::newRow("a 2002nd file is not read: capped")
        << numberedFiles(2002) << "word" << false << numberedSummaries(2001) << "2001+";
    QTest::newRow("unreadable and oversized files count toward the 2001")
        << (Tree{file("f0000.md", "word \xff"), sparse("f0001.md", "word\n", 17 * mebibyte)}
            + numberedFiles(2000, 2))
        << "word" << false << numberedSummaries(1999, 2) << "1999+";
    QTest::newRow("other files do not count toward the 2001")
        << (Tree{file("a.png", "word"), file("b.rst", "word"), file("c.mdown", "word")} + numberedFiles(2001))
        << "word" << false << numberedSummaries(2001) << "2001";
    QTest::newRow("no match") << Tree{file("a.md", "something")} << "word" << false << QStringList{} << "0";
}

void tst_WorkspaceSearchService::search()
{
    QFETCH(Tree, tree);
    QFETCH(QString, query);
    QFETCH(bool, caseSensitive);
    QFETCH(QStringList, expected);
    QFETCH(QString, expectedTotal);

    QTemporaryDir dir;
    QVERIFY(build(dir.path(), tree));
    WorkspaceSearchService service;
    service.updateRoot(documentIn(dir.path()));
    service.setQuery(query);
    service.setCaseSensitive(caseSensitive);
    QSignalSpy finished(&service, &WorkspaceSearchService::isSearchingChanged);
    service.performSearch();
    QVERIFY(service.isSearching());
    QVERIFY(QTest::qWaitFor([&] { return !service.isSearching(); }, 60000));

    QCOMPARE(summaries(service.files(), dir.path()), expected);
    QCOMPARE(total(service), expectedTotal);
    int sum = 0;
    for (const WorkspaceSearchFileSummary &summary : service.files())
        sum += summary.matchCount;
    QCOMPARE(service.totalMatches(), sum);
}

void tst_WorkspaceSearchService::newestOfTenSearchesPublishesAlone()
{
    QTemporaryDir dir;
    Tree tree;
    for (int i = 0; i < 10; ++i)
        tree << file(QStringLiteral("q%1.md").arg(i), QStringLiteral("term%1").arg(i).toUtf8());
    QVERIFY(build(dir.path(), tree));
    WorkspaceSearchService service;
    service.updateRoot(documentIn(dir.path()));
    QSignalSpy published(&service, &WorkspaceSearchService::filesChanged);
    QSignalSpy totals(&service, &WorkspaceSearchService::totalMatchesChanged);

    for (int i = 0; i < 10; ++i) {
        service.setQuery(QStringLiteral("term%1").arg(i));
        service.performSearch();
    }
    QVERIFY(QTest::qWaitFor([&] { return !service.isSearching(); }, 30000));
    QVERIFY(service.waitForWorkers(30000));
    QCoreApplication::sendPostedEvents();

    QCOMPARE(published.count(), 1);
    QCOMPARE(totals.count(), 1);
    QCOMPARE(summaries(service.files(), dir.path()), QStringList{"q9.md 1: 1[0,5]term9"});
}

void tst_WorkspaceSearchService::clearingMidSearchEmptiesAndNothingArrivesLater()
{
    QTemporaryDir dir;
    QVERIFY(build(dir.path(), numberedFiles(50)));
    WorkspaceSearchService service;
    service.updateRoot(documentIn(dir.path()));
    service.setQuery(QStringLiteral("word"));
    service.performSearch();
    QVERIFY(QTest::qWaitFor([&] { return !service.isSearching(); }, 30000));
    QCOMPARE(service.files().size(), 50);

    Gate gate;
    service.setBeforeEntryForTesting(gate.hook());
    service.setQuery(QStringLiteral("wor"));
    service.performSearch();
    QVERIFY(gate.arrived.tryAcquire(1, 30000)); // the walk is under way
    QSignalSpy published(&service, &WorkspaceSearchService::filesChanged);

    service.setQuery(QString());
    service.performSearch();
    QVERIFY(service.files().isEmpty());
    QCOMPARE(service.totalMatches(), 0);
    QVERIFY(!service.isSearching());

    gate.release.release();
    QVERIFY(service.waitForWorkers(30000));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(published.count(), 1); // the clearing only
    QVERIFY(service.files().isEmpty());
    QCOMPARE(gate.entries.load(), 1); // the walk stopped at the next entry
}

void tst_WorkspaceSearchService::clearingRequests_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("withRoot");

    QTest::newRow("empty query") << QString() << true;
    QTest::newRow("no root") << QStringLiteral("word") << false;
}

void tst_WorkspaceSearchService::clearingRequests()
{
    QFETCH(QString, query);
    QFETCH(bool, withRoot);

    QTemporaryDir dir;
    QVERIFY(build(dir.path(), numberedFiles(3)));
    WorkspaceSearchService service;
    Gate gate;
    service.setBeforeEntryForTesting(gate.hook());
    if (withRoot)
        service.updateRoot(documentIn(dir.path()));
    service.setQuery(query);
    service.performSearch();

    QVERIFY(!service.isSearching());
    QVERIFY(service.files().isEmpty());
    QCOMPARE(service.totalMatches(), 0);
    QVERIFY(service.waitForWorkers(30000));
    QCOMPARE(gate.entries.load(), 0); // no walk started
}

void tst_WorkspaceSearchService::rootFollowsDocumentFolder()
{
    QTemporaryDir dir;
    QVERIFY(build(dir.path(), Tree{file("one/a.md", "word"), file("two/b.md", "word")}));
    WorkspaceSearchService service;
    QSignalSpy rootChanges(&service, &WorkspaceSearchService::rootURLChanged);

    service.updateRoot(QUrl()); // untitled document before any root
    QVERIFY(service.rootURL().isEmpty());
    service.updateRoot(QUrl::fromLocalFile(dir.path() + QStringLiteral("/one/a.md")));
    QCOMPARE(service.rootURL(), QUrl::fromLocalFile(dir.path() + QStringLiteral("/one")));
    service.setQuery(QStringLiteral("word"));
    service.performSearch();
    QVERIFY(QTest::qWaitFor([&] { return !service.isSearching(); }, 30000));

    service.updateRoot(QUrl()); // untitled: the folder stays
    QCOMPARE(service.rootURL(), QUrl::fromLocalFile(dir.path() + QStringLiteral("/one")));
    service.updateRoot(QUrl::fromLocalFile(dir.path() + QStringLiteral("/two/b.md")));
    QCOMPARE(service.rootURL(), QUrl::fromLocalFile(dir.path() + QStringLiteral("/two")));
    QCOMPARE(rootChanges.count(), 2);
    // The old results stay until the next search, and none starts by itself.
    QVERIFY(!service.isSearching());
    QCOMPARE(summaries(service.files(), dir.path()), QStringList{"one/a.md 1: 1[0,4]word"});
    service.performSearch();
    QVERIFY(QTest::qWaitFor([&] { return !service.isSearching(); }, 30000));
    QCOMPARE(summaries(service.files(), dir.path()), QStringList{"two/b.md 1: 1[0,4]word"});
}

SORVANE_TEST_MAIN(tst_WorkspaceSearchService)
#include "tst_WorkspaceSearchService.moc"
