#include "TestFiles.h"
#include "FileSizeLimit.h"
#include "LogRecorder.h"
#include "TestEnvironment.h"
#include "documents/SessionStateStore.h"
#include "platform/AppPaths.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QtTest>

namespace {

const QString legacyKey = QStringLiteral("sorvane.sessionState");
const QString restoreKey = QStringLiteral("restoreSession");
const QString fileDecodeFailed = QStringLiteral("session-state file decode failed; falling back to legacy key");
const QString legacyDecodeFailed =
    QStringLiteral("legacy session-state (UserDefaults) decode failed; next launch starts fresh");
const QString writeFailed = QStringLiteral("session-state file write failed; open-tab state will not survive relaunch");

DocumentSessionState sampleState(const QString &text = QStringLiteral("unsaved text"))
{
    SessionDocumentState document;
    document.id = QUuid::createUuid();
    document.filePath = QStringLiteral("/home/user/a.md");
    document.text = text;
    document.lastSavedText = QStringLiteral("saved");
    document.isModified = true;
    return DocumentSessionState{document.id, {document}};
}



QStringList keptAsideFiles()
{
    return QDir(AppPaths::supportFolder()).entryList({QStringLiteral("SessionState.json.corrupt-*")}, QDir::Files);
}

} // namespace

class tst_SessionStateStore : public QObject
{
    Q_OBJECT

    LogRecorder log;

    SessionStateStore makeStore(const QString &folder = AppPaths::supportFolder())
    {
        return SessionStateStore(Settings::shared(), folder, log.sink());
    }

private Q_SLOTS:
    void init()
    {
        log.lines.clear();
        QDir(AppPaths::supportFolder()).removeRecursively();
        Settings::shared().remove(legacyKey);
        Settings::shared().remove(restoreKey);
    }

    void writesAndLoads()
    {
        SessionStateStore store = makeStore();
        QCOMPARE(store.filePath(), AppPaths::supportFolder() + QStringLiteral("/SessionState.json"));
        QVERIFY(!store.fileModificationTime());
        const DocumentSessionState state = sampleState();
        store.write(state);
        QVERIFY(store.fileModificationTime().has_value());
        QCOMPARE(QJsonDocument::fromJson(readFile(store.filePath())).object(), state.toJson());

        // A later process reads it back.
        const std::optional<DocumentSessionState> loaded = makeStore().load();
        QVERIFY(loaded.has_value());
        QVERIFY(*loaded == state);
        QVERIFY(log.lines.isEmpty());
    }

    void restoreSwitch_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<bool>("expected");
        QTest::newRow("no value") << QJsonValue(QJsonValue::Undefined) << true;
        QTest::newRow("on") << QJsonValue(true) << true;
        QTest::newRow("off") << QJsonValue(false) << false;
    }
    void restoreSwitch()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(bool, expected);
        if (!stored.isUndefined())
            Settings::shared().setValue(restoreKey, stored);
        QCOMPARE(makeStore().shouldRestoreSession(), expected);
    }

    // Turning restore off takes effect at the next write, which deletes the file.
    void restoreOffDeletesFileAtNextWrite()
    {
        SessionStateStore store = makeStore();
        store.write(sampleState());
        QVERIFY(QFile::exists(store.filePath()));
        Settings::shared().setValue(restoreKey, false);
        Settings::shared().setValue(legacyKey, QString::fromUtf8(sampleState().encode()));
        store.write(sampleState());
        QVERIFY(!QFile::exists(store.filePath()));
        QVERIFY(!Settings::shared().contains(legacyKey));
        QVERIFY(log.lines.isEmpty());
    }

    // An older build kept the same JSON in the settings store, as text or as an object.
    void legacyKeyReadThenRemoved_data()
    {
        QTest::addColumn<bool>("asText");
        QTest::newRow("JSON text") << true;
        QTest::newRow("JSON object") << false;
    }
    void legacyKeyReadThenRemoved()
    {
        QFETCH(bool, asText);
        const DocumentSessionState legacy = sampleState(QStringLiteral("from the legacy key"));
        Settings::shared().setValue(legacyKey, asText ? QJsonValue(QString::fromUtf8(legacy.encode()))
                                                      : QJsonValue(legacy.toJson()));
        SessionStateStore store = makeStore();
        const std::optional<DocumentSessionState> loaded = store.load();
        QVERIFY(loaded.has_value());
        QVERIFY(*loaded == legacy);
        QVERIFY(Settings::shared().contains(legacyKey));

        const DocumentSessionState next = sampleState(QStringLiteral("next"));
        store.write(next);
        QVERIFY(!Settings::shared().contains(legacyKey));
        QVERIFY(*makeStore().load() == next);
        QVERIFY(log.lines.isEmpty());
    }

    void legacyKeyUndecodable_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::newRow("truncated text") << QJsonValue(QStringLiteral("{\"documents\":["));
        QTest::newRow("empty text") << QJsonValue(QString());
        QTest::newRow("object without documents") << QJsonValue(QJsonObject{{"selectedDocumentID", "x"}});
        QTest::newRow("a number") << QJsonValue(42);
    }
    void legacyKeyUndecodable()
    {
        QFETCH(QJsonValue, stored);
        Settings::shared().setValue(legacyKey, stored);
        QVERIFY(!makeStore().load());
        QCOMPARE(log.lines.size(), 1);
        QCOMPARE(log.lines.first().message, legacyDecodeFailed);
        QCOMPARE(log.lines.first().category, QStringLiteral("session_persist"));
        QCOMPARE(log.lines.first().level, DiagnosticLogBuffer::Level::Warn);
        QVERIFY(log.lines.first().hasError);
    }

    void nothingStored()
    {
        QVERIFY(!makeStore().load());
        QVERIFY(log.lines.isEmpty());
    }

    // A broken file is logged, falls back to the legacy key, and is moved aside so the
    // next save cannot replace what a user or a later build might still recover.
    void undecodableFileKeptAside_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("withLegacy");
        const QByteArray valid = sampleState(QString(5000, QLatin1Char('t'))).encode();
        QTest::newRow("truncated") << valid.left(valid.size() - 1000) << false;
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("wrong type") << QByteArray(R"({"documents":[{"id":1}]})") << false;
        QTest::newRow("truncated, legacy key present") << valid.left(100) << true;
    }
    void undecodableFileKeptAside()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, withLegacy);
        const DocumentSessionState legacy = sampleState(QStringLiteral("legacy"));
        if (withLegacy)
            Settings::shared().setValue(legacyKey, QString::fromUtf8(legacy.encode()));
        SessionStateStore store = makeStore();
        QVERIFY(writeFile(store.filePath(), content));

        const std::optional<DocumentSessionState> loaded = store.load();
        QCOMPARE(loaded.has_value(), withLegacy);
        if (withLegacy)
            QVERIFY(*loaded == legacy);
        const QList<LogRecorder::Line> lines = log.withMessage(fileDecodeFailed);
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().level, DiagnosticLogBuffer::Level::Warn);
        QCOMPARE(lines.first().category, QStringLiteral("session_persist"));
        QVERIFY(lines.first().hasError);

        QCOMPARE(keptAsideFiles().size(), 1);
        QCOMPARE(store.keptAsidePath(), AppPaths::supportFolder() + QLatin1Char('/') + keptAsideFiles().first());
        QCOMPARE(readFile(store.keptAsidePath()), content);

        const DocumentSessionState next = sampleState(QStringLiteral("next"));
        store.write(next);
        QVERIFY(*makeStore().load() == next);
        QCOMPARE(readFile(store.keptAsidePath()), content);
    }

    // Saves can come before any restore (files opened at launch): a broken file is
    // still moved aside before the first write replaces it, and twice is no clash.
    void undecodableFileKeptAsideBeforeFirstWrite()
    {
        for (const QByteArray &content : {QByteArray("{\"documents\":[{"), QByteArray("second")}) {
            SessionStateStore store = makeStore();
            QVERIFY(writeFile(store.filePath(), content));
            store.write(sampleState());
            QVERIFY(makeStore().load().has_value());
            QCOMPARE(readFile(store.keptAsidePath()), content);
        }
        QCOMPARE(keptAsideFiles().size(), 2);
    }

    void writeFailureKeepsOldFile()
    {
        SessionStateStore store = makeStore();
        const DocumentSessionState old = sampleState(QStringLiteral("old"));
        store.write(old);
        const QByteArray before = readFile(store.filePath());
        {
            FileSizeLimit limit(before.size() + 10);
            store.write(sampleState(QString(64 * 1024, QLatin1Char('n'))));
        }
        QCOMPARE(readFile(store.filePath()), before);
        const QList<LogRecorder::Line> lines = log.withMessage(writeFailed);
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines.first().level, DiagnosticLogBuffer::Level::Error);
        QCOMPARE(lines.first().category, QStringLiteral("session_persist"));
        QVERIFY(lines.first().hasError);
        QCOMPARE(QDir(AppPaths::supportFolder()).entryList(QDir::Files).size(), 1);
    }

    void folderCannotBeCreated()
    {
        QVERIFY(writeFile(AppPaths::supportFolder() + QStringLiteral("/blocker"), "a file"));
        SessionStateStore store = makeStore(AppPaths::supportFolder() + QStringLiteral("/blocker/support"));
        store.write(sampleState());
        QCOMPARE(log.withMessage(writeFailed).size(), 1);
        QVERIFY(log.withMessage(writeFailed).first().hasError);
    }

    // Without a support folder only the legacy key is read, and it is still removed.
    void noSupportFolder()
    {
        const DocumentSessionState legacy = sampleState(QStringLiteral("legacy"));
        Settings::shared().setValue(legacyKey, QString::fromUtf8(legacy.encode()));
        SessionStateStore store = makeStore(QString());
        QVERIFY(store.filePath().isEmpty());
        QVERIFY(*store.load() == legacy);
        store.write(sampleState());
        QVERIFY(!Settings::shared().contains(legacyKey));
        QVERIFY(!store.fileModificationTime());
        QVERIFY(log.lines.isEmpty());
    }
};

SORVANE_TEST_MAIN(tst_SessionStateStore)
#include "tst_SessionStateStore.moc"
