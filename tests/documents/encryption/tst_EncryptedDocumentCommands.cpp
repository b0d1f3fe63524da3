// The encryption commands as the document manager runs them: a decrypted text opens
// in a clean untitled tab and never reaches the session file or the recovery folder.
#include "EncryptionDoubles.h"
#include "ScriptedAlertPresenter.h"
#include "TestEnvironment.h"

#include "documents/DocumentManager.h"
#include "documents/encryption/DocumentEncryptionCommands.h"
#include "documents/DocumentSessionKeeper.h"
#include "documents/encryption/EncryptionService.h"
#include "platform/AtomicFile.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QString passphrase = QStringLiteral("tidal quartz 42");
// Distinct enough that finding it anywhere on disk means it leaked.
const QString secret = QStringLiteral("Vault ledger: Ærøskøbing 7f3c-ORCHID-91");

// Every file under the test's home that holds the text, in UTF-8 or UTF-16.
QStringList filesHolding(const QString &root, const QString &text)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        const QByteArray utf16(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        if (bytes.contains(text.toUtf8()) || bytes.contains(utf16))
            found.append(path);
    }
    return found;
}

} // namespace

class tst_EncryptedDocumentCommands : public QObject
{
    Q_OBJECT

private:
    FakeUserPresence m_presence;
    ScriptedPassphrasePrompt m_prompt;

private Q_SLOTS:
    void init()
    {
        UserPresence::setShared(&m_presence);
        PassphrasePrompt::setShared(&m_prompt);
        m_prompt.answers.clear();
        m_prompt.requests.clear();
    }

    void cleanup()
    {
        UserPresence::setShared(nullptr);
        PassphrasePrompt::setShared(nullptr);
    }

    // A file opened the ordinary way (recent files, the command line, a drop) that holds
    // an envelope asks for its passphrase instead of failing as text; plain files open
    // as before.
    void encryptedFileOpenedAsAFile_data()
    {
        QTest::addColumn<bool>("encrypted");
        QTest::newRow("encrypted") << true;
        QTest::newRow("plain Markdown") << false;
    }

    void encryptedFileOpenedAsAFile()
    {
        QFETCH(bool, encrypted);
        ScriptedAlertPresenter alerts;
        const QString path = QDir::home().filePath(QStringLiteral("recent.md.enc"));
        const std::optional<QByteArray> envelope = EncryptionService::encrypt(secret, passphrase);
        QVERIFY(envelope);
        QVERIFY(AtomicFile::write(path, encrypted ? *envelope : QByteArray("# plain\n")));
        m_prompt.answers = {PassphraseAnswer{passphrase, QString()}};

        DocumentManager manager;
        DocumentEncryptionCommands commands(manager);
        manager.openFile(path);

        QVERIFY2(alerts.alerts.isEmpty(), alerts.alerts.isEmpty() ? "" : qPrintable(alerts.alerts.first().messageText));
        QCOMPARE(manager.documents().size(), 1);
        TabDocument *tab = manager.selectedDocument();
        QVERIFY(tab);
        QCOMPARE(m_prompt.requests.size(), encrypted ? 1 : 0);
        QCOMPARE(tab->text(), encrypted ? secret : QStringLiteral("# plain\n"));
        QCOMPARE(tab->isSensitive(), encrypted);
        QCOMPARE(tab->fileURL().isEmpty(), encrypted);
        QFile::remove(path);
    }

    // Looking for an envelope must not wait on a FIFO nobody writes to: the open
    // fails with the usual alert and the window thread goes on.
    void fifoIsNotWaitedOn()
    {
        ScriptedAlertPresenter alerts;
        const QString path = QDir::home().filePath(QStringLiteral("pipe.md"));
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        // Lets a blocked open go after a while, so that a fault fails here instead
        // of hanging the test.
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        std::atomic<bool> released = false;
        std::thread watchdog([&] {
            std::unique_lock lock(mutex);
            if (finished.wait_for(lock, std::chrono::seconds(20), [&] { return done; }))
                return;
            released = true;
            const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        });

        DocumentManager manager;
        DocumentEncryptionCommands commands(manager);
        manager.openFile(path);
        {
            const std::lock_guard lock(mutex);
            done = true;
        }
        finished.notify_one();
        watchdog.join();

        QVERIFY2(!released, "opening waited on the FIFO");
        QVERIFY(manager.documents().isEmpty());
        QCOMPARE(alerts.alerts.size(), 1);
        QCOMPARE(alerts.alerts.first().messageText, QStringLiteral("Could not open file"));
        QVERIFY(m_prompt.requests.isEmpty());
        QFile::remove(path);
    }

    void decryptedTabStaysOffDisk_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("opens");
        QTest::newRow("right passphrase") << passphrase << true;
        QTest::newRow("wrong passphrase") << QStringLiteral("not it") << false;
    }

    void decryptedTabStaysOffDisk()
    {
        QFETCH(QString, typed);
        QFETCH(bool, opens);
        ScriptedAlertPresenter alerts;
        const QString encrypted = QDir::home().filePath(QStringLiteral("ledger.md.enc"));
        const std::optional<QByteArray> envelope = EncryptionService::encrypt(secret, passphrase);
        QVERIFY(envelope && AtomicFile::write(encrypted, *envelope));

        DocumentManager manager;
        // An ordinary unsaved tab: its text must reach both places, so the search
        // below would find the secret had it gone the same way.
        manager.newDocument(QStringLiteral("ordinary unsaved words"));
        alerts.openAnswers = {{encrypted}};
        m_prompt.answers = {PassphraseAnswer{typed, QString()}};

        DocumentEncryptionCommands(manager).openEncryptedFile();

        if (!opens) {
            QCOMPARE(manager.documents().size(), 1);
            QCOMPARE(alerts.alerts.size(), 1);
            QCOMPARE(alerts.alerts.constFirst().messageText, QStringLiteral("Could not decrypt"));
            return;
        }
        QCOMPARE(manager.documents().size(), 2);
        TabDocument *tab = manager.selectedDocument();
        QVERIFY(tab);
        QCOMPARE(tab->text(), secret);
        QCOMPARE(tab->title(), QStringLiteral("Untitled"));
        QVERIFY(tab->fileURL().isEmpty());
        QVERIFY(!tab->isModified());
        QVERIFY(tab->isSensitive());
        QVERIFY(alerts.alerts.isEmpty());

        // Edited, so a snapshot pass would pick it up were it not kept out.
        tab->userEditedText(secret + QStringLiteral(" and more"));
        QVERIFY(tab->isModified());
        manager.sessionKeeper().persistSessionState();
        manager.sessionKeeper().saveRecoveryFiles();

        const QString home = QDir::homePath();
        QVERIFY(!filesHolding(home, QStringLiteral("ordinary unsaved words")).isEmpty());
        const QStringList leaks = filesHolding(home, secret);
        QVERIFY2(leaks.isEmpty(), qPrintable(leaks.join(u' ')));
        bool sessionWritten = false;
        for (const QString &path : filesHolding(home, QStringLiteral("ordinary unsaved words")))
            sessionWritten = sessionWritten || path.endsWith(QStringLiteral("SessionState.json"));
        QVERIFY(sessionWritten);
        QFile::remove(encrypted);
    }

    // The command writes the file and leaves the tab as it was.
    void encryptCurrentDocumentLeavesTab()
    {
        ScriptedAlertPresenter alerts;
        const QString target = QDir::home().filePath(QStringLiteral("notes.md.enc"));
        alerts.saveAnswers = {target};
        alerts.alertAnswers = {1}; // keep the passphrase out of the keyring
        m_prompt.answers = {PassphraseAnswer{passphrase, passphrase}};
        DocumentManager manager;
        manager.newDocument(QStringLiteral("plain words"));
        TabDocument *tab = manager.selectedDocument();

        DocumentEncryptionCommands(manager).encryptCurrentDocument();

        QCOMPARE(alerts.savePanels.constFirst().suggestedName, QStringLiteral("Untitled.md.enc"));
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(EncryptionService::decrypt(file.readAll(), passphrase), QStringLiteral("plain words"));
        QCOMPARE(manager.documents().size(), 1);
        QCOMPARE(tab->text(), QStringLiteral("plain words"));
        QVERIFY(tab->isModified());
        QVERIFY(tab->fileURL().isEmpty());
        QCOMPARE(manager.recentDocuments().value(0), QUrl::fromLocalFile(target));
    }

    void encryptPanelFolderAndName_data()
    {
        QTest::addColumn<bool>("fileTab");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::newRow("file tab, bare name") << true << QStringLiteral("notes") << QStringLiteral("notes.md.enc");
        QTest::newRow("file tab, Markdown name") << true << QStringLiteral("notes.md")
                                                 << QStringLiteral("notes.md.enc");
        QTest::newRow("untitled tab, full name") << false << QStringLiteral("notes.md.enc")
                                                 << QStringLiteral("notes.md.enc");
    }

    // The panel opens in the tab's folder (untitled: home, no panel used yet), and
    // the encrypted file always ends in .md.enc, never overwriting a Markdown file.
    void encryptPanelFolderAndName()
    {
        QFETCH(bool, fileTab);
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QTemporaryDir folder;
        ScriptedAlertPresenter alerts;
        alerts.saveAnswers = {folder.filePath(typed)};
        alerts.alertAnswers = {1}; // keep the passphrase out of the keyring
        m_prompt.answers = {PassphraseAnswer{passphrase, passphrase}};
        DocumentManager manager;
        if (fileTab) {
            const QString source = folder.filePath(QStringLiteral("source.md"));
            QVERIFY(AtomicFile::write(source, "plain words"));
            manager.openFile(source);
        } else {
            manager.newDocument(QStringLiteral("plain words"));
        }

        DocumentEncryptionCommands(manager).encryptCurrentDocument();

        QCOMPARE(alerts.savePanels.size(), 1);
        const QString expectedFolder = fileTab ? folder.path() : QDir::homePath();
        QCOMPARE(QFileInfo(alerts.savePanels.constFirst().directory).canonicalFilePath(),
                 QFileInfo(expectedFolder).canonicalFilePath());
        QFile file(folder.filePath(written));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(EncryptionService::decrypt(file.readAll(), passphrase), QStringLiteral("plain words"));
        QCOMPARE(QFile::exists(folder.filePath(typed)), typed == written);
    }

    void encryptWithoutSelectedTabDoesNothing()
    {
        ScriptedAlertPresenter alerts;
        DocumentManager manager;
        DocumentEncryptionCommands(manager).encryptCurrentDocument();
        QVERIFY(m_prompt.requests.isEmpty());
        QVERIFY(alerts.savePanels.isEmpty());
    }
};

SORVANE_TEST_MAIN(tst_EncryptedDocumentCommands)
#include "tst_EncryptedDocumentCommands.moc"
