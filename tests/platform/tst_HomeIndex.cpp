#include "platform/HomeIndex.h"
#include "platform/HomeIndexWatcher.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <cerrno>
#include <sys/inotify.h>

namespace {

QString home()
{
    return QDir::homePath();
}

// Writes the file under the home folder, dated `age` seconds ago.
void writeAged(const QString &relative, int age)
{
    const QString path = home() + QLatin1Char('/') + relative;
    QVERIFY(writeFile(path, "# note\n"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-age), QFileDevice::FileModificationTime));
}

// Fixture lines: "path@age" makes a file, "path -> target" a symbolic link.
void makeFixture(const QStringList &lines)
{
    for (const QString &line : lines) {
        const qsizetype arrow = line.indexOf(QLatin1String(" -> "));
        if (arrow >= 0) {
            const QString link = home() + QLatin1Char('/') + line.left(arrow);
            QDir().mkpath(QFileInfo(link).path());
            QVERIFY(QFile::link(line.mid(arrow + 4), link));
            continue;
        }
        const qsizetype at = line.lastIndexOf(QLatin1Char('@'));
        writeAged(line.left(at), line.mid(at + 1).toInt());
    }
}

QStringList relativePaths(const HomeIndexSource &index)
{
    QStringList paths;
    const QString prefix = home() + QLatin1Char('/');
    for (const HomeIndexItem &item : index.snapshot(1000)) {
        paths.append(item.path.startsWith(prefix) ? item.path.mid(prefix.size()) : item.path);
    }
    return paths;
}

bool gathered(HomeIndex &index)
{
    QSignalSpy finished(&index, &HomeIndexSource::gatheringFinished);
    index.start();
    return finished.wait(10000);
}

// A watch table that fills up after `allowed` folders (ENOSPC); below zero the
// instance itself is refused. Tracks the watches it still holds.
class RefusingWatcher : public HomeIndexWatcher
{
public:
    explicit RefusingWatcher(int allowed)
        : m_allowed(allowed)
    {
    }
    bool open() override
    {
        if (m_allowed < 0) {
            errno = EMFILE;
            return false;
        }
        return HomeIndexWatcher::open();
    }
    void close() override
    {
        live.clear();
        HomeIndexWatcher::close();
    }
    int addWatch(const QByteArray &folder) override
    {
        if (m_added >= m_allowed) {
            errno = ENOSPC;
            return -1;
        }
        const int wd = HomeIndexWatcher::addWatch(folder);
        if (wd >= 0) {
            ++m_added;
            live.insert(wd);
        }
        return wd;
    }
    void removeWatch(int wd) override
    {
        live.remove(wd);
        HomeIndexWatcher::removeWatch(wd);
    }

    QSet<int> live;

private:
    int m_allowed;
    int m_added = 0;
};

// Loses the kernel's events while `losing` is set and reports a queue overflow instead.
class OverflowingWatcher : public HomeIndexWatcher
{
public:
    QList<Event> readEvents() override
    {
        QList<Event> events = HomeIndexWatcher::readEvents();
        if (losing.loadAcquire() && !events.isEmpty())
            return {Event{-1, IN_Q_OVERFLOW}};
        return events;
    }
    QAtomicInt losing;
};

} // namespace

class tst_HomeIndex : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Every test starts from an empty home (the hidden XDG folders stay).
    void init()
    {
        const QDir dir(home());
        for (const QFileInfo &entry : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)) {
            if (entry.isDir() && !entry.isSymLink())
                QVERIFY(QDir(entry.filePath()).removeRecursively());
            else
                QVERIFY(QFile::remove(entry.filePath()));
        }
        QDir(outside()).removeRecursively();
    }

    void firstSnapshot_data()
    {
        QTest::addColumn<QStringList>("fixture");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("newest change first, at any depth")
            << QStringList{"a.md@30", "b/c.md@10", "b/d/e.markdown@20", "b/d/f/g/h.md@40"}
            << QStringList{"b/c.md", "b/d/e.markdown", "a.md", "b/d/f/g/h.md"};
        QTest::newRow("equal dates in path order") << QStringList{"y.md@5", "x.md@5", "w/z.md@5"}
                                                   << QStringList{"w/z.md", "x.md", "y.md"};
        QTest::newRow("extension in any case, nothing else")
            << QStringList{"Notes.MD@1", "Plan.Markdown@2", "x.mdown@3", "t.txt@4", "md@5", "readme.md.txt@6",
                           "folder.md/inner.txt@7"}
            << QStringList{"Notes.MD", "Plan.Markdown"};
        QTest::newRow("hidden entries")
            << QStringList{".hidden.md@1", ".notes/a.md@2", "shown/.b.md@3", "shown/c.md@4"}
            << QStringList{"shown/c.md"};
        QTest::newRow("excluded folders by exact name")
            << QStringList{"node_modules/a.md@1", "build/a.md@2", "deep/er/target/a.md@3", "vendor/v/a.md@4",
                           "Pods/a.md@5", "bin/a.md@6", "DerivedData/a.md@7", "Build/b.md@8", "builds/c.md@9",
                           "deep/er/d.md@10"}
            << QStringList{"Build/b.md", "builds/c.md", "deep/er/d.md"};
        QTest::newRow("links are not followed")
            << QStringList{"real/a.md@1", "link.md -> real/a.md", "linked -> real", "real/loop -> ..",
                           "dangling.md -> nowhere.md"}
            << QStringList{"real/a.md"};
    }

    void firstSnapshot()
    {
        QFETCH(QStringList, fixture);
        QFETCH(QStringList, expected);
        makeFixture(fixture);
        HomeIndex index;
        QSignalSpy finished(&index, &HomeIndexSource::gatheringFinished);
        QVERIFY(relativePaths(index).isEmpty());
        index.start();
        index.start();
        QVERIFY(finished.wait(10000));
        QCOMPARE(relativePaths(index), expected);
        // One item per file, dated as on disk.
        const QList<HomeIndexItem> items = index.snapshot(1);
        QCOMPARE(items.size(), 1);
        QCOMPARE(items.first().modified, QFileInfo(items.first().path).lastModified().toUTC());
    }

    void changesShowUp_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("watches");
        QTest::newRow("new file") << "new file" << QStringList{"n.md", "old.md", "keep/k.md"} << 2;
        QTest::newRow("changed file") << "changed file" << QStringList{"keep/k.md", "old.md"} << 2;
        QTest::newRow("renamed file") << "renamed file" << QStringList{"new.md", "keep/k.md"} << 2;
        QTest::newRow("deleted file") << "deleted file" << QStringList{"keep/k.md"} << 2;
        QTest::newRow("new folders") << "new folders" << QStringList{"a/b/f.md", "old.md", "keep/k.md"} << 4;
        QTest::newRow("folder moved in") << "folder moved in" << QStringList{"m/g.md", "old.md", "keep/k.md"} << 3;
        QTest::newRow("folder moved out") << "folder moved out" << QStringList{"old.md"} << 1;
        QTest::newRow("folder renamed") << "folder renamed" << QStringList{"old.md", "kept/k.md"} << 2;
        QTest::newRow("folder replaced") << "folder replaced" << QStringList{"keep/z.md", "old.md"} << 2;
        QTest::newRow("file in an excluded folder") << "excluded folder" << QStringList{"old.md", "keep/k.md"} << 2;
    }

    void changesShowUp()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, expected);
        QFETCH(int, watches);
        makeFixture({"old.md@100", "keep/k.md@200"});
        HomeIndex index;
        QVERIFY(gathered(index));
        QCOMPARE(relativePaths(index), (QStringList{"old.md", "keep/k.md"}));
        QCOMPARE(index.watchCount(), 2);

        const QString h = home() + QLatin1Char('/');
        if (change == QLatin1String("new file")) {
            QVERIFY(writeFile(h + "n.md", "new"));
        } else if (change == QLatin1String("changed file")) {
            QVERIFY(writeFile(h + "keep/k.md", "changed"));
        } else if (change == QLatin1String("renamed file")) {
            QVERIFY(QFile::rename(h + "old.md", h + "new.md"));
        } else if (change == QLatin1String("deleted file")) {
            QVERIFY(QFile::remove(h + "old.md"));
        } else if (change == QLatin1String("new folders")) {
            QVERIFY(writeFile(h + "a/b/f.md", "deep"));
        } else if (change == QLatin1String("folder moved in")) {
            QVERIFY(writeFile(outside() + "/m/g.md", "x"));
            writeAgedOutside(outside() + "/m/g.md", 50);
            QVERIFY(QDir().rename(outside() + "/m", h + "m"));
        } else if (change == QLatin1String("folder moved out")) {
            QVERIFY(QDir().mkpath(outside()));
            QVERIFY(QDir().rename(h + "keep", outside() + "/keep"));
        } else if (change == QLatin1String("folder renamed")) {
            QVERIFY(QDir().rename(h + "keep", h + "kept"));
        } else if (change == QLatin1String("folder replaced")) {
            QVERIFY(QDir(h + "keep").removeRecursively());
            QVERIFY(writeFile(h + "keep/z.md", "z"));
        } else if (change == QLatin1String("excluded folder")) {
            QVERIFY(writeFile(h + "node_modules/x.md", "x"));
            QVERIFY(writeFile(h + ".hidden/x.md", "x"));
            // A later visible change proves the batch with the excluded ones was handled.
            QVERIFY(writeFile(h + "marker.md", "m"));
            QTRY_VERIFY_WITH_TIMEOUT(relativePaths(index).contains("marker.md"), 5000);
            QVERIFY(QFile::remove(h + "marker.md"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(relativePaths(index), expected, 5000);
        QCOMPARE(index.watchCount(), watches);
    }

    void burstIsBatched_data()
    {
        QTest::addColumn<int>("pauseMs");
        QTest::newRow("200 files at once") << 0;
        QTest::newRow("200 files, one every 5 ms") << 5;
    }

    // Changes arrive in batches at most every 0.3 s, however many files change: counted
    // from the first write, never more than 4 updates a second.
    void burstIsBatched()
    {
        QFETCH(int, pauseMs);
        HomeIndex index;
        QVERIFY(gathered(index));
        qsizetype updates = 0;
        qsizetype lastSize = 0;
        qint64 lastArrival = 0;
        QElapsedTimer sinceFirstWrite;
        connect(&index, &HomeIndexSource::updated, this, [&] {
            ++updates;
            lastArrival = sinceFirstWrite.elapsed();
            lastSize = index.snapshot(1000).size();
        });
        // Written from another thread, so this one takes each update as it comes.
        QThread *writer = QThread::create([pauseMs] {
            for (int i = 0; i < 200; ++i) {
                writeFile(home() + QStringLiteral("/burst/f%1.md").arg(i), "x");
                QThread::msleep(pauseMs);
            }
        });
        sinceFirstWrite.start();
        writer->start();
        QTRY_COMPARE_WITH_TIMEOUT(lastSize, qsizetype(200), 10000);
        QVERIFY(writer->wait());
        delete writer;
        QVERIFY2((updates - 1) * 250 <= lastArrival,
                 qPrintable(QStringLiteral("%1 updates in %2 ms").arg(updates).arg(lastArrival)));
    }

    void watchLimit_data()
    {
        QTest::addColumn<int>("allowed");
        QTest::newRow("no inotify instance") << -1;
        QTest::newRow("limit at the first folder") << 0;
        QTest::newRow("limit after three folders") << 3;
    }

    // Without watches the walk still completes, every watch is given back, and each
    // refresh walks again.
    void watchLimit()
    {
        QFETCH(int, allowed);
        makeFixture({"a/1.md@1", "b/2.md@2", "c/3.md@3", "d/4.md@4", "e/5.md@5", "f/6.md@6"});
        auto owned = std::make_unique<RefusingWatcher>(allowed);
        RefusingWatcher *watcher = owned.get();
        HomeIndex index(home(), std::move(owned));
        QSignalSpy finished(&index, &HomeIndexSource::gatheringFinished);
        QVERIFY(gathered(index));
        QCOMPARE(relativePaths(index), (QStringList{"a/1.md", "b/2.md", "c/3.md", "d/4.md", "e/5.md", "f/6.md"}));
        QVERIFY(!index.isWatching());
        QCOMPARE(index.watchCount(), 0);
        QVERIFY(watcher->live.isEmpty());

        QSignalSpy updated(&index, &HomeIndexSource::updated);
        QVERIFY(QFile::remove(home() + "/a/1.md"));
        QVERIFY(writeFile(home() + "/g/7.md", "x"));
        index.refresh();
        index.refresh();
        QTRY_COMPARE_WITH_TIMEOUT(updated.size(), 1, 5000);
        QCOMPARE(relativePaths(index).first(), QString("g/7.md"));
        QVERIFY(!relativePaths(index).contains("a/1.md"));
        QVERIFY(watcher->live.isEmpty());
        QCOMPARE(updated.size(), 1);
        QCOMPARE(finished.size(), 1);
    }

    // Lost events: the index walks the home again and goes on watching.
    void overflowWalksAgain()
    {
        makeFixture({"old.md@100"});
        auto owned = std::make_unique<OverflowingWatcher>();
        OverflowingWatcher *watcher = owned.get();
        HomeIndex index(home(), std::move(owned));
        QSignalSpy finished(&index, &HomeIndexSource::gatheringFinished);
        QVERIFY(gathered(index));
        watcher->losing.storeRelease(1);
        QVERIFY(writeFile(home() + "/lost/x.md", "x"));
        QTRY_COMPARE_WITH_TIMEOUT(relativePaths(index), (QStringList{"lost/x.md", "old.md"}), 5000);
        watcher->losing.storeRelease(0);
        QVERIFY(index.isWatching());
        QCOMPARE(index.watchCount(), 2);
        QVERIFY(writeFile(home() + "/lost/y.md", "y"));
        QTRY_VERIFY_WITH_TIMEOUT(relativePaths(index).contains("lost/y.md"), 5000);
        QCOMPARE(finished.size(), 1);
    }

private:
    static QString outside() { return QDir::cleanPath(home() + QStringLiteral("/../outside")); }

    static void writeAgedOutside(const QString &path, int age)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-age), QFileDevice::FileModificationTime));
    }
};

SORVANE_TEST_MAIN(tst_HomeIndex)
#include "tst_HomeIndex.moc"
