#include "TestFiles.h"
#include "FileSizeLimit.h"
#include "LogRecorder.h"
#include "TestEnvironment.h"
#include "documents/DocumentSessionState.h"
#include "documents/RecoveryStore.h"
#include "platform/AppPaths.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const QUuid untitledId = QUuid::fromString(QStringLiteral("{11111111-2222-4333-8444-555555555555}"));
const QUuid fileId = QUuid::fromString(QStringLiteral("{aaaaaaaa-bbbb-4ccc-8ddd-eeeeeeeeeeee}"));

const RecoverySnapshot untitled{untitledId, QStringLiteral("draft ✎ ünïcode\n"), QStringLiteral("Untitled"), QString()};
const RecoverySnapshot onFile{fileId, QStringLiteral("edited"), QStringLiteral("notes.md"),
                              QStringLiteral("/home/user/notes.md")};



QString snapshotPath(const QString &folder, const QUuid &id, const char *suffix)
{
    return folder + QLatin1Char('/') + DocumentSessionState::uuidText(id) + QLatin1String(suffix);
}

QList<QUuid> idsOf(const QList<RecoveredSnapshot> &snapshots)
{
    QList<QUuid> ids;
    for (const RecoveredSnapshot &snapshot : snapshots)
        ids.append(snapshot.id);
    return ids;
}

} // namespace

class tst_RecoveryStore : public QObject
{
    Q_OBJECT

    LogRecorder log;

    RecoveryStore makeStore(const QString &support = AppPaths::supportFolder()) { return RecoveryStore(support, log.sink()); }

private Q_SLOTS:
    void init()
    {
        log.lines.clear();
        QDir(AppPaths::supportFolder()).removeRecursively();
    }

    void writesReadsAndClears()
    {
        RecoveryStore store = makeStore();
        QCOMPARE(store.folderPath(), AppPaths::supportFolder() + QStringLiteral("/Recovery"));
        store.writeSnapshots({untitled, onFile});
        const QString folder = store.folderPath();

        QCOMPARE(readFile(snapshotPath(folder, untitledId, ".md")), untitled.text.toUtf8());
        QCOMPARE(readFile(snapshotPath(folder, fileId, ".md")), QByteArray("edited"));
        QVERIFY(QFile::exists(folder + QStringLiteral("/AAAAAAAA-BBBB-4CCC-8DDD-EEEEEEEEEEEE.json")));
        const QByteArray untitledMeta = readFile(snapshotPath(folder, untitledId, ".json"));
        QVERIFY(!untitledMeta.contains('\n'));
        QCOMPARE(QJsonDocument::fromJson(untitledMeta).object(),
                 (QJsonObject{{"title", "Untitled"}, {"originalPath", ""}}));
        QCOMPARE(QJsonDocument::fromJson(readFile(snapshotPath(folder, fileId, ".json"))).object(),
                 (QJsonObject{{"title", "notes.md"}, {"originalPath", "/home/user/notes.md"}}));

        const QList<RecoveredSnapshot> read = makeStore().readSnapshots();
        QCOMPARE(idsOf(read), (QList<QUuid>{untitledId, fileId}));
        QCOMPARE(read.at(0).text, untitled.text);
        QCOMPARE(read.at(1).text, onFile.text);
        QCOMPARE(read.at(0).modified, QFileInfo(snapshotPath(folder, untitledId, ".md")).lastModified().toUTC());

        store.clear();
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(store.readSnapshots().isEmpty());
        store.clear();
        QVERIFY(log.lines.isEmpty());
    }

    // A tab saved or closed since the last tick must never be offered back after a crash.
    void snapshotsOfOtherTabsRemoved()
    {
        RecoveryStore store = makeStore();
        store.writeSnapshots({untitled, onFile});
        QVERIFY(writeFile(store.folderPath() + QStringLiteral("/notes.txt"), "not ours"));
        const RecoverySnapshot edited{fileId, QStringLiteral("edited again"), onFile.title, onFile.originalPath};
        store.writeSnapshots({edited});

        QVERIFY(!QFile::exists(snapshotPath(store.folderPath(), untitledId, ".md")));
        QVERIFY(!QFile::exists(snapshotPath(store.folderPath(), untitledId, ".json")));
        QVERIFY(QFile::exists(store.folderPath() + QStringLiteral("/notes.txt")));
        const QList<RecoveredSnapshot> read = store.readSnapshots();
        QCOMPARE(idsOf(read), QList<QUuid>{fileId});
        QCOMPARE(read.first().text, QStringLiteral("edited again"));

        // No modified tab left: the folder goes.
        store.writeSnapshots({});
        QVERIFY(!QFileInfo::exists(store.folderPath()));
    }

    // Only UUID-named ".md" files that read as UTF-8 are snapshots; empty ones count.
    void readIgnoresOtherFiles()
    {
        RecoveryStore store = makeStore();
        const QString folder = store.folderPath();
        const QUuid emptyId = QUuid::fromString(QStringLiteral("{00000000-0000-4000-8000-000000000001}"));
        const QUuid badId = QUuid::createUuid();
        QVERIFY(writeFile(snapshotPath(folder, emptyId, ".md"), QByteArray()));
        QVERIFY(writeFile(snapshotPath(folder, badId, ".md"), QByteArray("bad \xff\xfe utf-8")));
        QVERIFY(writeFile(snapshotPath(folder, fileId, ".json"), "{}"));
        QVERIFY(writeFile(snapshotPath(folder, untitledId, ".MD"), "upper case suffix"));
        QVERIFY(writeFile(folder + QStringLiteral("/README.md"), "not a snapshot"));
        QVERIFY(writeFile(folder + QStringLiteral("/{11111111-2222-4333-8444-555555555555}.md"), "braces"));
        QVERIFY(QDir().mkpath(snapshotPath(folder, QUuid::createUuid(), ".md")));

        const QList<RecoveredSnapshot> read = store.readSnapshots();
        QCOMPARE(idsOf(read), QList<QUuid>{emptyId});
        QVERIFY(read.first().text.isEmpty());
    }

    void writeFailuresAreLoggedAndKeepOldSnapshot()
    {
        RecoveryStore store = makeStore();
        store.writeSnapshots({onFile});
        const RecoverySnapshot longer{fileId, QString(8192, QLatin1Char('x')), QString(8192, QLatin1Char('t')),
                                      onFile.originalPath};
        {
            FileSizeLimit limit(64);
            store.writeSnapshots({longer});
        }
        QCOMPARE(readFile(snapshotPath(store.folderPath(), fileId, ".md")), QByteArray("edited"));
        const QString uuid = DocumentSessionState::uuidText(fileId);
        QCOMPARE(log.lines.size(), 2);
        QCOMPARE(log.lines.at(0).message, QStringLiteral("crash-recovery snapshot write failed for doc ") + uuid);
        QCOMPARE(log.lines.at(1).message, QStringLiteral("crash-recovery metadata write failed for doc ") + uuid);
        for (const LogRecorder::Line &line : log.lines) {
            QCOMPARE(line.level, DiagnosticLogBuffer::Level::Warn);
            QCOMPARE(line.category, QStringLiteral("recovery"));
            QVERIFY(line.hasError);
        }
    }

    void folderCannotBeCreated()
    {
        QVERIFY(writeFile(AppPaths::supportFolder() + QStringLiteral("/blocker"), "a file"));
        RecoveryStore store = makeStore(AppPaths::supportFolder() + QStringLiteral("/blocker"));
        store.writeSnapshots({untitled});
        QCOMPARE(log.lines.size(), 1);
        QCOMPARE(log.lines.first().message, QStringLiteral("could not create recovery directory"));
        QCOMPARE(log.lines.first().level, DiagnosticLogBuffer::Level::Warn);
        QVERIFY(store.readSnapshots().isEmpty());
    }

    void noSupportFolder()
    {
        RecoveryStore store = makeStore(QString());
        QVERIFY(store.folderPath().isEmpty());
        store.writeSnapshots({untitled});
        QVERIFY(store.readSnapshots().isEmpty());
        store.clear();
        QVERIFY(log.lines.isEmpty());
    }
};

SORVANE_TEST_MAIN(tst_RecoveryStore)
#include "tst_RecoveryStore.moc"
