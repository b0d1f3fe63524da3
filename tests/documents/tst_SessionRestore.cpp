// The open tabs across launches, the crash-recovery offer and the quit gate, with a
// scripted user answering the alerts.
#include "DocumentTestFiles.h"
#include "ScriptedAlertPresenter.h"
#include "SessionTestFiles.h"
#include "TestEnvironment.h"

#include "diagnostics/DiagnosticUploader.h"
#include "documents/DocumentManager.h"
#include "documents/DocumentSessionKeeper.h"
#include "documents/DocumentSessionState.h"
#include "shell/QuitGate.h"
#include "platform/AppPaths.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace SessionTestFiles;

namespace {

const QString legacyKey = QStringLiteral("sorvane.sessionState");
const QString restoreKey = QStringLiteral("restoreSession");

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

// Short waits so the tests do not sit out the real ones; the logic is the same.
const DocumentSessionKeeper::PersistenceIntervals quick{50, 1000, 3600 * 1000};
// Nothing is written unless the test asks for it.
const DocumentSessionKeeper::PersistenceIntervals never{3600 * 1000, 3600 * 1000, 3600 * 1000};

std::unique_ptr<DocumentManager> makeManager(const DocumentSessionKeeper::PersistenceIntervals &intervals)
{
    auto manager = std::make_unique<DocumentManager>();
    manager->sessionKeeper().setPersistenceIntervals(intervals);
    return manager;
}

void writeSnapshot(const QUuid &id, const QByteArray &text, const QDateTime &time)
{
    QDir().mkpath(recoveryFolder());
    const QString base = recoveryFolder() + QLatin1Char('/') + DocumentSessionState::uuidText(id);
    QFile file(base + QStringLiteral(".md"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.flush();
    file.setFileTime(time, QFileDevice::FileModificationTime);
}

QStringList texts(const DocumentManager &manager)
{
    QStringList result;
    for (const TabDocument *document : manager.documents())
        result.append(document->text());
    return result;
}

} // namespace

class tst_SessionRestore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void roundTrip();
    void burstOfEditsWritesOnce();
    void nonstopTypingIsPersisted_data();
    void nonstopTypingIsPersisted();
    void legacyKeyReadThenRemoved();
    void restoreSwitchedOff();
    void brokenSessionFiles_data();
    void brokenSessionFiles();
    void recoveryOffer_data();
    void recoveryOffer();
    void sensitiveTabsNeverWritten();
    void quitGate_data();
    void quitGate();
    void logout_data();
    void logout();

private:
    std::unique_ptr<DocumentTestFiles> m_files;
    std::unique_ptr<ScriptedAlertPresenter> m_alerts;
};

void tst_SessionRestore::init()
{
    Settings::shared().remove(restoreKey);
    Settings::shared().remove(legacyKey);
    QDir(AppPaths::supportFolder()).removeRecursively();
    m_files = std::make_unique<DocumentTestFiles>();
    m_alerts = std::make_unique<ScriptedAlertPresenter>();
}

void tst_SessionRestore::cleanup()
{
    m_alerts.reset();
}

void tst_SessionRestore::roundTrip()
{
    const QString clean = m_files->write(QStringLiteral("clean.md"), "clean\n");
    const QString crlf = m_files->write(QStringLiteral("crlf.md"), "first\r\nsecond\r\n");
    QUuid cleanId, modifiedId, untitledId;
    {
        auto manager = makeManager(quick);
        manager->openFile(clean);
        manager->openFile(crlf);
        manager->newDocument(QStringLiteral("draft"));
        const auto tabs = manager->documents();
        cleanId = tabs.at(0)->id();
        modifiedId = tabs.at(1)->id();
        untitledId = tabs.at(2)->id();
        tabs.at(1)->userEditedText(QStringLiteral("first\nsecond edited\n"));
        manager->setSelectedId(modifiedId);
        QSignalSpy written(&manager->sessionKeeper(), &DocumentSessionKeeper::sessionStatePersisted);
        QVERIFY(written.wait(5000));
    }
    // Meanwhile another program changes the clean file.
    DocumentTestFiles::overwriteAt(clean, "changed on disk\n", QDateTime::currentDateTime().addSecs(5));

    auto manager = makeManager(never);
    manager->sessionKeeper().restoreSessionIfNeeded();
    QVERIFY(m_alerts->alerts.isEmpty());
    const auto tabs = manager->documents();
    QCOMPARE(tabs.size(), 3);
    QCOMPARE(tabs.at(0)->id(), cleanId);
    QCOMPARE(tabs.at(0)->text(), QStringLiteral("changed on disk\n"));
    QCOMPARE(tabs.at(0)->isModified(), false);
    QCOMPARE(tabs.at(0)->fileURL().toLocalFile(), canonical(clean));
    QCOMPARE(tabs.at(1)->id(), modifiedId);
    QCOMPARE(tabs.at(1)->text(), QStringLiteral("first\nsecond edited\n"));
    QCOMPARE(tabs.at(1)->lastSavedText(), QStringLiteral("first\nsecond\n"));
    QCOMPARE(tabs.at(1)->isModified(), true);
    QCOMPARE(tabs.at(1)->fileURL().toLocalFile(), canonical(crlf));
    QCOMPARE(tabs.at(2)->id(), untitledId);
    QCOMPARE(tabs.at(2)->text(), QStringLiteral("draft"));
    QCOMPARE(tabs.at(2)->isModified(), true);
    QVERIFY(tabs.at(2)->fileURL().isEmpty());
    QCOMPARE(manager->selectedId(), modifiedId);

    // The restored tab still writes its file's own line endings.
    QVERIFY(manager->save(tabs.at(1)));
    QCOMPARE(DocumentTestFiles::read(crlf), QByteArray("first\r\nsecond edited\r\n"));

    // Acts once per process.
    manager->sessionKeeper().restoreSessionIfNeeded();
    QCOMPARE(manager->documents().size(), 3);
}

void tst_SessionRestore::burstOfEditsWritesOnce()
{
    auto manager = makeManager(quick);
    manager->newDocument();
    TabDocument *tab = manager->documents().constFirst();
    QSignalSpy written(&manager->sessionKeeper(), &DocumentSessionKeeper::sessionStatePersisted);
    for (int i = 1; i <= 10; ++i)
        tab->userEditedText(QStringLiteral("edit %1").arg(i));
    QVERIFY(written.wait(5000));
    QTest::qWait(200);
    QCOMPARE(written.size(), 1);
    QCOMPARE(storedSession()->documents.at(0).text, QStringLiteral("edit 10"));
}

void tst_SessionRestore::nonstopTypingIsPersisted_data()
{
    QTest::addColumn<int>("debounceMs");
    QTest::addColumn<int>("maxDelayMs");
    QTest::addColumn<int>("keystrokeMs");
    QTest::addColumn<int>("writesWanted");
    QTest::newRow("short clock") << 200 << 400 << 10 << 3;
    QTest::newRow("real clock") << 2000 << 10000 << 100 << 1;
}

// Keystrokes closer together than the quiet wait never let the debounce fire; the
// longest wait still writes the text, again and again, while the typing goes on.
void tst_SessionRestore::nonstopTypingIsPersisted()
{
    QFETCH(int, debounceMs);
    QFETCH(int, maxDelayMs);
    QFETCH(int, keystrokeMs);
    QFETCH(int, writesWanted);
    auto manager = makeManager({debounceMs, maxDelayMs, 3600 * 1000});
    manager->newDocument();
    TabDocument *tab = manager->documents().constFirst();

    // Each keystroke writes the moment it was typed, so every stored text tells its
    // own age. The typing stops once enough writes were seen (or far too late).
    QList<QString> writtenTexts;
    QElapsedTimer clock;
    clock.start();
    QString lastTyped;
    QTimer typing;
    typing.setInterval(keystrokeMs);
    QEventLoop loop;
    const int giveUpMs = (writesWanted + 1) * maxDelayMs * 10;
    connect(&manager->sessionKeeper(), &DocumentSessionKeeper::sessionStatePersisted, this, [&] {
        writtenTexts.append(storedSession()->documents.at(0).text);
    });
    connect(&typing, &QTimer::timeout, &loop, [&] {
        if (writtenTexts.size() >= writesWanted || clock.elapsed() >= giveUpMs) {
            typing.stop();
            loop.quit();
            return;
        }
        lastTyped = QString::number(clock.elapsed());
        tab->userEditedText(lastTyped);
    });
    typing.start();
    loop.exec();

    QVERIFY2(writtenTexts.size() >= writesWanted, qPrintable(QString::number(writtenTexts.size())));
    // Every write held the text of its moment, and each a later one than the last.
    QCOMPARE(storedSession()->documents.at(0).text, writtenTexts.constLast());
    for (qsizetype i = 1; i < writtenTexts.size(); ++i)
        QVERIFY2(writtenTexts.at(i).toInt() > writtenTexts.at(i - 1).toInt(), qPrintable(writtenTexts.join(u' ')));
}

void tst_SessionRestore::legacyKeyReadThenRemoved()
{
    DocumentSessionState legacy;
    const QUuid id = QUuid::createUuid();
    SessionDocumentState entry;
    entry.id = id;
    entry.text = QStringLiteral("from an older build");
    entry.isModified = true;
    legacy.documents.append(entry);
    Settings::shared().setValue(legacyKey, QString::fromUtf8(legacy.encode()));
    QVERIFY(!QFileInfo::exists(sessionFile()));

    auto manager = makeManager(never);
    manager->sessionKeeper().restoreSessionIfNeeded();
    QCOMPARE(manager->documents().size(), 1);
    QCOMPARE(manager->documents().at(0)->id(), id);
    QCOMPARE(manager->documents().at(0)->text(), QStringLiteral("from an older build"));
    QVERIFY(Settings::shared().contains(legacyKey));

    manager->sessionKeeper().persistSessionState();
    QVERIFY(!Settings::shared().contains(legacyKey));
    QCOMPARE(storedSession()->documents.at(0).id, id);
}

void tst_SessionRestore::restoreSwitchedOff()
{
    {
        auto manager = makeManager(never);
        manager->newDocument(QStringLiteral("kept"));
        manager->sessionKeeper().persistSessionState();
    }
    QVERIFY(QFileInfo::exists(sessionFile()));
    Settings::shared().setValue(restoreKey, false);

    auto manager = makeManager(quick);
    manager->sessionKeeper().restoreSessionIfNeeded();
    QVERIFY(manager->documents().isEmpty());
    // The next save point deletes the file.
    QSignalSpy written(&manager->sessionKeeper(), &DocumentSessionKeeper::sessionStatePersisted);
    manager->newDocument(QStringLiteral("new"));
    QVERIFY(written.wait(5000));
    QVERIFY(!QFileInfo::exists(sessionFile()));
}

void tst_SessionRestore::brokenSessionFiles_data()
{
    const QByteArray id = "\"0F0E0D0C-0B0A-4908-8706-050403020100\"";
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expectedTexts");
    QTest::addColumn<bool>("keptAside");
    QTest::newRow("empty") << QByteArray() << QStringList() << true;
    QTest::newRow("truncated") << QByteArray("{\"documents\":[{\"id\":" + id + ",\"text\":\"half")
                               << QStringList() << true;
    QTest::newRow("wrong types") << QByteArray("{\"documents\":[{\"id\":" + id +
                                               ",\"text\":5,\"lastSavedText\":\"\",\"isModified\":\"yes\"}]}")
                                 << QStringList() << true;
    QTest::newRow("documents not a list") << QByteArray("{\"documents\":{}}") << QStringList() << true;
    QTest::newRow("unknown extra key")
        << QByteArray("{\"future\":[1,2],\"documents\":[{\"id\":" + id +
                      ",\"text\":\"a\",\"lastSavedText\":\"\",\"isModified\":true,\"colour\":\"red\"}]}")
        << QStringList{QStringLiteral("a")} << false;
    QTest::newRow("file no longer there")
        << QByteArray("{\"documents\":[{\"id\":" + id +
                      ",\"filePath\":\"/nonexistent/gone.md\",\"text\":\"stored\",\"lastSavedText\":\"stored\","
                      "\"isModified\":false}]}")
        << QStringList{QStringLiteral("stored")} << false;
    const QByteArray huge(8 * 1024 * 1024, 'x');
    QTest::newRow("huge text") << QByteArray("{\"documents\":[{\"id\":" + id + ",\"text\":\"" + huge +
                                             "\",\"lastSavedText\":\"\",\"isModified\":true}]}")
                               << QStringList{QString::fromLatin1(huge)} << false;
}

void tst_SessionRestore::brokenSessionFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expectedTexts);
    QFETCH(bool, keptAside);
    QVERIFY(AppPaths::ensureFolder(AppPaths::supportFolder()));
    {
        QFile file(sessionFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    auto manager = makeManager(never);
    manager->sessionKeeper().restoreSessionIfNeeded();
    QCOMPARE(texts(*manager), expectedTexts);
    if (!expectedTexts.isEmpty() && content.contains("gone.md")) {
        QCOMPARE(manager->documents().at(0)->fileURL().toLocalFile(), QStringLiteral("/nonexistent/gone.md"));
        QVERIFY(!manager->documents().at(0)->isModified());
    }

    // A file that did not decode survives the next write beside the new one.
    manager->sessionKeeper().persistSessionState();
    const QStringList aside = QDir(AppPaths::supportFolder())
                                  .entryList({QStringLiteral("SessionState.json.corrupt-*")}, QDir::Files);
    QCOMPARE(aside.size(), keptAside ? 1 : 0);
    if (keptAside)
        QCOMPARE(DocumentTestFiles::read(supportPath(aside.constFirst())), content);
    QVERIFY(storedSession());
}

void tst_SessionRestore::recoveryOffer_data()
{
    QTest::addColumn<bool>("sameTab");
    QTest::addColumn<QByteArray>("snapshot");
    QTest::addColumn<int>("ageAgainstSession");   // seconds; positive: newer
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<QStringList>("expectedTexts");

    const QString session = QStringLiteral("session text");
    QTest::newRow("newer, different, recover") << true << QByteArray("snapshot text") << 10 << 0 << true
                                               << QStringList{QStringLiteral("snapshot text")};
    QTest::newRow("newer, different, discard") << true << QByteArray("snapshot text") << 10 << 1 << true
                                               << QStringList{session};
    QTest::newRow("newer, same text") << true << QByteArray("session text") << 10 << 0 << false
                                      << QStringList{session};
    QTest::newRow("older, different") << true << QByteArray("snapshot text") << -10 << 0 << false
                                      << QStringList{session};
    QTest::newRow("tab not in session") << false << QByteArray("lost draft") << -10 << 0 << true
                                        << QStringList{session, QStringLiteral("lost draft")};
    QTest::newRow("tab not in session, empty") << false << QByteArray() << 10 << 0 << false
                                               << QStringList{session};
}

void tst_SessionRestore::recoveryOffer()
{
    QFETCH(bool, sameTab);
    QFETCH(QByteArray, snapshot);
    QFETCH(int, ageAgainstSession);
    QFETCH(int, answer);
    QFETCH(bool, offered);
    QFETCH(QStringList, expectedTexts);

    const QString path = m_files->write(QStringLiteral("doc.md"), "disk\n");
    QUuid id;
    {
        auto manager = makeManager(never);
        manager->openFile(path);
        id = manager->documents().at(0)->id();
        manager->documents().at(0)->userEditedText(QStringLiteral("session text"));
        manager->sessionKeeper().persistSessionState();
    }
    const QDateTime sessionTime = QFileInfo(sessionFile()).lastModified();
    writeSnapshot(sameTab ? id : QUuid::createUuid(), snapshot, sessionTime.addSecs(ageAgainstSession));

    m_alerts->alertAnswers = {answer};
    QList<std::pair<QString, int>> uploads;
    DiagnosticUploader::shared().setAutoReportObserver(
        [&](const QString &reason, int count) { uploads.append({reason, count}); });
    auto manager = makeManager(never);
    manager->sessionKeeper().restoreSessionIfNeeded();
    DiagnosticUploader::shared().setAutoReportObserver({});

    QCOMPARE(uploads.size(), 1);
    QCOMPARE(uploads.at(0).first, QStringLiteral("crash_recovery"));
    QCOMPARE(m_alerts->alerts.size(), offered ? 1 : 0);
    if (offered)
        QCOMPARE(m_alerts->alerts.at(0).informativeText,
                 QStringLiteral("sorv.ane found 1 unsaved document(s) from a previous session."));
    QCOMPARE(texts(*manager), expectedTexts);
    // The session's tab keeps its file and stays an unsaved edit of it.
    TabDocument *restored = manager->documents().at(0);
    QCOMPARE(restored->id(), id);
    QCOMPARE(restored->fileURL().toLocalFile(), canonical(path));
    QVERIFY(restored->isModified());
    QCOMPARE(DocumentTestFiles::read(path), QByteArray("disk\n"));
    if (expectedTexts.size() == 2) {
        QVERIFY(manager->documents().at(1)->fileURL().isEmpty());
        QVERIFY(manager->documents().at(1)->isModified());
    }
    QVERIFY(!QFileInfo::exists(recoveryFolder()));
}

void tst_SessionRestore::sensitiveTabsNeverWritten()
{
    const QString path = m_files->write(QStringLiteral("plain.md"), "plain\n");
    auto manager = makeManager(never);
    manager->openFile(path);
    manager->documents().at(0)->userEditedText(QStringLiteral("plain edited\n"));
    manager->newDocument(QStringLiteral("decrypted secret words"));
    manager->documents().at(1)->setIsSensitive(true);
    const QUuid secretId = manager->documents().at(1)->id();

    manager->sessionKeeper().persistForForcedExit();
    QCOMPARE(storedSession()->documents.size(), 1);
    QVERIFY(!storedSession()->selectedDocumentID);
    QCOMPARE(QDir(recoveryFolder()).entryList({QStringLiteral("*.md")}, QDir::Files).size(), 1);
    const QByteArray written = everythingWritten();
    QVERIFY(written.contains("plain edited"));
    QVERIFY(!written.contains("secret"));
    QVERIFY(!written.contains(DocumentSessionState::uuidText(secretId).toLatin1()));

    // Quitting writes the session once more, still without the sensitive tab.
    m_alerts->alertAnswers = {1, 1};
    QVERIFY(manager->prepareForTermination());
    QVERIFY(!DocumentTestFiles::read(sessionFile()).contains("secret"));
}

void tst_SessionRestore::quitGate_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<bool>("saveUntitled");
    QTest::addColumn<bool>("bChangedOnDisk");
    QTest::addColumn<bool>("mayQuit");
    QTest::addColumn<QStringList>("prompted");
    QTest::addColumn<QList<bool>>("modifiedAfter");

    const QString u = QStringLiteral("Untitled"), b = QStringLiteral("b.md"), a = QStringLiteral("a.md");
    QTest::newRow("don't save any") << QList<int>{1, 1, 1} << false << false << true << QStringList{u, b, a}
                                    << QList<bool>{false, false, false};
    QTest::newRow("save all") << QList<int>{0, 0, 0} << true << false << true << QStringList{u, b, a}
                              << QList<bool>{false, false, false};
    QTest::newRow("cancel at the second") << QList<int>{1, 2} << false << false << false << QStringList{u, b}
                                          << QList<bool>{true, true, false};
    QTest::newRow("save panel cancelled") << QList<int>{0} << false << false << false << QStringList{u}
                                          << QList<bool>{true, true, true};
    QTest::newRow("save fails") << QList<int>{1, 0} << false << true << false << QStringList{u, b}
                                << QList<bool>{true, true, false};
}

void tst_SessionRestore::quitGate()
{
    QFETCH(QList<int>, answers);
    QFETCH(bool, saveUntitled);
    QFETCH(bool, bChangedOnDisk);
    QFETCH(bool, mayQuit);
    QFETCH(QStringList, prompted);
    QFETCH(QList<bool>, modifiedAfter);

    const QString a = m_files->write(QStringLiteral("a.md"), "a\n");
    const QString b = m_files->write(QStringLiteral("b.md"), "b\n");
    const QString untitledTarget = m_files->path(QStringLiteral("c.md"));
    auto manager = makeManager(never);
    manager->openFile(a);
    manager->openFile(b);
    manager->newDocument(QStringLiteral("c draft"));
    manager->documents().at(0)->userEditedText(QStringLiteral("a edited\n"));
    manager->documents().at(1)->userEditedText(QStringLiteral("b edited\n"));
    if (bChangedOnDisk)
        DocumentTestFiles::overwriteAt(b, "b by someone else\n", QDateTime::currentDateTime().addSecs(5));
    manager->sessionKeeper().saveRecoveryFiles();
    QVERIFY(QFileInfo::exists(recoveryFolder()));

    m_alerts->alertAnswers = answers;
    if (saveUntitled)
        m_alerts->saveAnswers = {untitledTarget};
    // The snapshots are gone by the time the session is written.
    bool recoveryPresentAtSessionWrite = true;
    connect(&manager->sessionKeeper(), &DocumentSessionKeeper::sessionStatePersisted, this,
            [&] { recoveryPresentAtSessionWrite = QFileInfo::exists(recoveryFolder()); });

    QCOMPARE(manager->prepareForTermination(), mayQuit);

    QStringList asked;
    for (const AlertRequest &alert : std::as_const(m_alerts->alerts)) {
        if (alert.messageText.startsWith(QStringLiteral("Save changes to ")))
            asked.append(alert.messageText.mid(17).chopped(2));
    }
    QCOMPARE(asked, prompted);
    if (bChangedOnDisk)
        QCOMPARE(m_alerts->alerts.constLast().messageText, QStringLiteral("Could not save file"));
    QList<bool> modified;
    for (const TabDocument *document : manager->documents())
        modified.append(document->isModified());
    QCOMPARE(modified, modifiedAfter);

    if (mayQuit) {
        QVERIFY(!recoveryPresentAtSessionWrite);
        QVERIFY(!QFileInfo::exists(recoveryFolder()));
        const std::optional<DocumentSessionState> stored = storedSession();
        QVERIFY(stored);
        QCOMPARE(stored->documents.size(), 3);
        for (const SessionDocumentState &entry : stored->documents)
            QVERIFY(!entry.isModified);
        if (saveUntitled) {
            QCOMPARE(DocumentTestFiles::read(a), QByteArray("a edited\n"));
            QCOMPARE(DocumentTestFiles::read(untitledTarget), QByteArray("c draft"));
        } else {
            QCOMPARE(manager->documents().at(0)->text(), QStringLiteral("a\n"));
        }
    } else {
        // Refused: nothing cleared, nothing written.
        QVERIFY(QFileInfo::exists(recoveryFolder()));
        QVERIFY(!QFileInfo::exists(sessionFile()));
        QCOMPARE(DocumentTestFiles::read(a), QByteArray("a\n"));
    }
}

void tst_SessionRestore::logout_data()
{
    QTest::addColumn<bool>("interactionAllowed");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<bool>("mayGo");
    QTest::addColumn<int>("prompts");
    QTest::addColumn<QString>("storedText");
    QTest::newRow("asked, don't save") << true << QList<int>{1} << true << 1 << QStringLiteral("a\n");
    QTest::newRow("asked, cancel") << true << QList<int>{2} << false << 1 << QString();
    // The desktop leaves no room for a question: the unsaved text goes to the session.
    QTest::newRow("no interaction") << false << QList<int>{} << true << 0 << QStringLiteral("a edited\n");
}

void tst_SessionRestore::logout()
{
    QFETCH(bool, interactionAllowed);
    QFETCH(QList<int>, answers);
    QFETCH(bool, mayGo);
    QFETCH(int, prompts);
    QFETCH(QString, storedText);

    const QString a = m_files->write(QStringLiteral("a.md"), "a\n");
    auto manager = makeManager(never);
    QuitGate gate(*manager);
    manager->openFile(a);
    manager->documents().at(0)->userEditedText(QStringLiteral("a edited\n"));
    m_alerts->alertAnswers = answers;

    QCOMPARE(gate.commitData(interactionAllowed), mayGo);
    QCOMPARE(m_alerts->alerts.size(), prompts);
    const std::optional<DocumentSessionState> stored = storedSession();
    QCOMPARE(stored.has_value(), !storedText.isEmpty());
    if (stored)
        QCOMPARE(stored->documents.at(0).text, storedText);
    QCOMPARE(DocumentTestFiles::read(a), QByteArray("a\n"));
}

SORVANE_TEST_MAIN(tst_SessionRestore)
#include "tst_SessionRestore.moc"
