#include "platform/Bookmark.h"
#include "platform/RecentDocuments.h"
#include "platform/Settings.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}
} // namespace

class tst_Bookmark : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void freshBookmarkResolvesToItsFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.md"));
        writeFile(path, "x");
        const auto data = Bookmark::create(path);
        QVERIFY(data);
        const auto resolved = Bookmark::resolve(*data);
        QVERIFY(resolved);
        QCOMPARE(resolved->path, path);
        QVERIFY(!resolved->stale);
    }

    // An atomic save by another program puts a new inode behind the same path.
    void replacedOrMissingFileIsStale()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("a.md"));
        writeFile(path, "x");
        const auto data = Bookmark::create(path);
        QVERIFY(data);
        const QString other = dir.filePath(QStringLiteral("b.md"));
        writeFile(other, "y");
        QVERIFY(QFile::remove(path));
        QVERIFY(QFile::rename(other, path));
        auto resolved = Bookmark::resolve(*data);
        QVERIFY(resolved && resolved->stale);
        QCOMPARE(resolved->path, path);
        QVERIFY(QFile::remove(path));
        resolved = Bookmark::resolve(*data);
        QVERIFY(resolved && resolved->stale);
    }

    void badDataDoesNotResolve_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("not json") << QByteArray("\x01\x02garbage");
        QTest::newRow("relative path") << QByteArray(R"({"path":"a.md","device":"1","inode":"2"})");
        QTest::newRow("no inode") << QByteArray(R"({"path":"/a.md","device":"1"})");
    }
    void badDataDoesNotResolve()
    {
        QFETCH(QByteArray, data);
        QVERIFY(!Bookmark::resolve(data));
    }

    void missingFileHasNoBookmark()
    {
        QTemporaryDir dir;
        QVERIFY(!Bookmark::create(dir.filePath(QStringLiteral("none.md"))));
        QVERIFY(!Bookmark::create(QStringLiteral("relative.md")));
    }

    void recentListKeepsTenLiveFilesNewestFirst()
    {
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("settings.json")));
        RecentDocuments recent(settings);
        QStringList files;
        for (int i = 0; i < 12; ++i) {
            files << dir.filePath(QStringLiteral("f%1.md").arg(i));
            writeFile(files.last(), "x");
            recent.note(files.last());
        }
        recent.note(files.at(5));
        QStringList list = recent.paths();
        QCOMPARE(list.size(), RecentDocuments::limit);
        QCOMPARE(list.first(), files.at(5));
        QCOMPARE(list.at(1), files.at(11));
        QVERIFY(!list.contains(files.at(0)));
        QFile::remove(files.at(11));
        list = recent.paths();
        QVERIFY(!list.contains(files.at(11)));
        recent.clear();
        QVERIFY(recent.paths().isEmpty());
    }
};

SORVANE_TEST_MAIN(tst_Bookmark)
#include "tst_Bookmark.moc"
