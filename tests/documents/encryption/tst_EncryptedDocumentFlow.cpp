#include "EncryptionDoubles.h"
#include "TestEnvironment.h"

#include "documents/encryption/EncryptedDocumentFlow.h"
#include "documents/encryption/EncryptionService.h"
#include "documents/encryption/PassphraseStore.h"
#include "platform/AlertPresenter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

namespace {
class ScriptedAlerts : public AlertPresenter
{
public:
    QList<AlertRequest> alerts;
    QList<int> answers; // per alert, in order; 0 when the script runs out
    QList<FilePanelRequest> panels;
    std::optional<QString> savePath;
    QStringList openPaths;

    int runModal(const AlertRequest &request) override
    {
        alerts.append(request);
        return answers.isEmpty() ? 0 : answers.takeFirst();
    }
    QStringList messages() const
    {
        QStringList out;
        for (const AlertRequest &a : alerts)
            out.append(a.messageText);
        return out;
    }

protected:
    std::optional<QString> presentSaveFile(const FilePanelRequest &request) override
    {
        panels.append(request);
        return savePath;
    }
    void presentOpenFiles(const FilePanelRequest &request,
                          std::function<void(const QStringList &)> completion) override
    {
        panels.append(request);
        completion(openPaths);
    }
};

// What the document manager would see of one command.
struct ManagerRecord {
    QStringList saveErrors;
    QStringList openFailures;
    QStringList recent;
    QList<QPair<QString, QString>> presented;

    EncryptedDocumentFlow::Hooks hooks()
    {
        return {
            [this](const QString &d) { saveErrors.append(d); },
            [this](const QString &p) { openFailures.append(p); },
            [this](const QString &p) { recent.append(p); },
            [this](const QString &t, const QString &p) { presented.append({t, p}); },
        };
    }
};

std::optional<PassphraseAnswer> typed(const QString &first, const QString &second = QString())
{
    return PassphraseAnswer{first, second};
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
}
} // namespace

// Runs inside a throwaway gnome-keyring (registered with KEYRING).
class tst_EncryptedDocumentFlow : public QObject
{
    Q_OBJECT

    ScriptedAlerts *alerts = nullptr;
    ScriptedPassphrasePrompt *prompt = nullptr;
    FakeUserPresence *presence = nullptr;
    QTemporaryDir *folder = nullptr;

    QString path(const QString &name) const { return folder->filePath(name); }

private Q_SLOTS:
    void init()
    {
        alerts = new ScriptedAlerts;
        prompt = new ScriptedPassphrasePrompt;
        presence = new FakeUserPresence;
        folder = new QTemporaryDir;
        AlertPresenter::setShared(alerts);
        PassphrasePrompt::setShared(prompt);
        UserPresence::setShared(presence);
    }

    void cleanup()
    {
        AlertPresenter::setShared(nullptr);
        PassphrasePrompt::setShared(nullptr);
        UserPresence::setShared(nullptr);
        delete alerts;
        delete prompt;
        delete presence;
        delete folder;
    }

    void encryptWritesTheFileAndStoresThePassphrase()
    {
        const QString target = path(QStringLiteral("Plan.md.enc"));
        // First the entries differ, then they agree.
        prompt->answers = {typed("one", "two"), typed("s3cret ✓", "s3cret ✓")};
        alerts->savePath = target;
        alerts->answers = {0, 0, 0}; // mismatch OK, "Save in Keyring", "Encrypted" OK
        ManagerRecord manager;
        const QString text = QStringLiteral("# Plan\n\nGrüße ✓\n");

        EncryptedDocumentFlow::encryptDocument(QStringLiteral("Plan.md"), text, QStringLiteral("Plan"),
                                               manager.hooks());

        QCOMPARE(prompt->requests.size(), 2);
        QCOMPARE(prompt->requests.first().messageText, QStringLiteral("Encrypt \"Plan.md\""));
        QCOMPARE(prompt->requests.first().informativeText,
                 QStringLiteral("Choose a passphrase. Without it, this file cannot be recovered."));
        QVERIFY(prompt->requests.first().confirming && prompt->requests.last().confirming);
        QCOMPARE(alerts->panels.size(), 1);
        QCOMPARE(alerts->panels.first().suggestedName, QStringLiteral("Plan.md.enc"));
        QVERIFY(alerts->panels.first().nameFilters.isEmpty());
        QCOMPARE(alerts->messages(), (QStringList{QStringLiteral("Passphrases don't match"),
                                                  QStringLiteral("Save passphrase to Keychain?"),
                                                  QStringLiteral("Encrypted")}));
        QCOMPARE(alerts->alerts.at(1).informativeText,
                 QStringLiteral("Opening this file later will authenticate via your login password instead of "
                                "re-typing the passphrase."));
        QCOMPARE(alerts->alerts.at(1).buttons,
                 (QStringList{QStringLiteral("Save in Keyring"), QStringLiteral("Don't save")}));
        QCOMPARE(alerts->alerts.at(2).informativeText,
                 QStringLiteral("Plan.md.enc has been written. The plaintext document is still open — save or "
                                "close it separately."));

        QCOMPARE(EncryptionService::decrypt(contents(target), QStringLiteral("s3cret ✓")), std::optional(text));
        QCOMPARE(PassphraseStore(*presence).read(target), std::optional<QString>(QStringLiteral("s3cret ✓")));
        QCOMPARE(manager.recent, QStringList{target});
        QVERIFY(manager.saveErrors.isEmpty());
        QVERIFY(manager.presented.isEmpty());
    }

    void encryptStopsWhenCancelled_data()
    {
        QTest::addColumn<QList<std::optional<PassphraseAnswer>>>("answers");
        QTest::addColumn<bool>("panelChosen");
        QTest::addColumn<int>("panels");
        QTest::newRow("prompt cancelled") << QList<std::optional<PassphraseAnswer>>{std::nullopt} << true << 0;
        QTest::newRow("empty passphrase") << QList<std::optional<PassphraseAnswer>>{typed("", "")} << true << 0;
        QTest::newRow("cancelled after a mismatch")
            << QList<std::optional<PassphraseAnswer>>{typed("a", "b"), std::nullopt} << true << 0;
        QTest::newRow("save panel cancelled") << QList<std::optional<PassphraseAnswer>>{typed("pw", "pw")} << false
                                              << 1;
    }

    void encryptStopsWhenCancelled()
    {
        QFETCH(QList<std::optional<PassphraseAnswer>>, answers);
        QFETCH(bool, panelChosen);
        QFETCH(int, panels);
        prompt->answers = answers;
        if (panelChosen)
            alerts->savePath = path(QStringLiteral("never.md.enc"));
        ManagerRecord manager;
        EncryptedDocumentFlow::encryptDocument(QStringLiteral("T"), QStringLiteral("text"), QStringLiteral("T"),
                                               manager.hooks());
        QCOMPARE(alerts->panels.size(), panels);
        QVERIFY(QDir(folder->path()).isEmpty());
        QVERIFY(manager.recent.isEmpty() && manager.saveErrors.isEmpty());
    }

    void encryptWithoutKeyringLeavesNoItem()
    {
        const QString target = path(QStringLiteral("nokeyring.md.enc"));
        prompt->answers = {typed("pw", "pw")};
        alerts->savePath = target;
        alerts->answers = {1, 0}; // "Don't save"
        ManagerRecord manager;
        EncryptedDocumentFlow::encryptDocument(QStringLiteral("T"), QStringLiteral("x"), QStringLiteral("T"),
                                               manager.hooks());
        QVERIFY(QFile::exists(target));
        QCOMPARE(PassphraseStore(*presence).read(target), std::nullopt);
    }

    void failedWriteReportsAndWritesNothing()
    {
        writeFile(path(QStringLiteral("plain")), "a file, not a folder");
        const QString target = path(QStringLiteral("plain/inside.md.enc"));
        prompt->answers = {typed("pw", "pw")};
        alerts->savePath = target;
        ManagerRecord manager;
        EncryptedDocumentFlow::encryptDocument(QStringLiteral("T"), QStringLiteral("x"), QStringLiteral("T"),
                                               manager.hooks());
        QCOMPARE(manager.saveErrors.size(), 1);
        QVERIFY(!manager.saveErrors.first().isEmpty());
        QVERIFY(alerts->alerts.isEmpty()); // no keyring offer, no "Encrypted"
        QVERIFY(manager.recent.isEmpty());
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files), QStringList{QStringLiteral("plain")});
    }

    void failedWriteKeepsTheExistingFile()
    {
        const QString target = path(QStringLiteral("kept.md.enc"));
        const QByteArray before = *EncryptionService::encrypt(QStringLiteral("older version"), QStringLiteral("pw"));
        writeFile(target, before);

        // A file-size limit makes the write fail halfway, even for root.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        QString error;
        const bool written = EncryptedDocumentFlow::writeEncryptedFile(target, QByteArray(64 * 1024, 'x'), &error);
        setrlimit(RLIMIT_FSIZE, &saved);

        QVERIFY(!written);
        QVERIFY(!error.isEmpty());
        QCOMPARE(contents(target), before);
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kept.md.enc")});

        // A write that succeeds replaces it whole.
        QVERIFY(EncryptedDocumentFlow::writeEncryptedFile(target, "new bytes"));
        QCOMPARE(contents(target), QByteArray("new bytes"));
    }

    void openWithTypedPassphrase_data()
    {
        QTest::addColumn<QString>("typedPassphrase");
        QTest::addColumn<bool>("opens");
        QTest::newRow("right") << QStringLiteral("pässword") << true;
        QTest::newRow("wrong") << QStringLiteral("password") << false;
    }

    void openWithTypedPassphrase()
    {
        QFETCH(QString, typedPassphrase);
        QFETCH(bool, opens);
        const QString source = path(QStringLiteral("Diary.md.enc"));
        writeFile(source, *EncryptionService::encrypt(QStringLiteral("Dear diary ✓"), QStringLiteral("pässword")));
        prompt->answers = {typed(typedPassphrase)};
        ManagerRecord manager;

        EncryptedDocumentFlow::openEncryptedFileAt(source, manager.hooks());

        QCOMPARE(prompt->requests.size(), 1);
        QCOMPARE(prompt->requests.first().messageText, QStringLiteral("Decrypt Diary.md.enc"));
        QCOMPARE(prompt->requests.first().informativeText, QStringLiteral("Enter the passphrase for this document."));
        QVERIFY(!prompt->requests.first().confirming);
        QVERIFY(presence->reasons.isEmpty()); // nothing stored, nothing to unlock
        if (opens) {
            QCOMPARE(manager.presented.size(), 1);
            QCOMPARE(manager.presented.first().first, QStringLiteral("Dear diary ✓"));
            QVERIFY(alerts->alerts.isEmpty());
        } else {
            QVERIFY(manager.presented.isEmpty());
            QCOMPARE(alerts->messages(), QStringList{QStringLiteral("Could not decrypt")});
            QCOMPARE(alerts->alerts.first().informativeText, EncryptionError::authenticationFailedText());
            QCOMPARE(alerts->alerts.first().style, AlertRequest::Style::Critical);
        }
        // A typed passphrase is never stored.
        QCOMPARE(PassphraseStore(*presence).read(source), std::nullopt);
    }

    void openUsesTheStoredPassphrase_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("presenceAllows");
        QTest::addColumn<int>("prompts");
        QTest::newRow("stored and confirmed") << QStringLiteral("pw") << true << 0;
        QTest::newRow("presence refused: asks") << QStringLiteral("pw") << false << 1;
        QTest::newRow("stale stored passphrase: asks") << QStringLiteral("old") << true << 1;
    }

    void openUsesTheStoredPassphrase()
    {
        QFETCH(QString, stored);
        QFETCH(bool, presenceAllows);
        QFETCH(int, prompts);
        const QString source = path(QStringLiteral("Kept.md.enc"));
        writeFile(source, *EncryptionService::encrypt(QStringLiteral("kept text"), QStringLiteral("pw")));
        QVERIFY(PassphraseStore(*presence).store(stored, source));
        presence->allow = presenceAllows;
        prompt->answers = {typed(QStringLiteral("pw"))};
        ManagerRecord manager;

        EncryptedDocumentFlow::openEncryptedFileAt(source, manager.hooks());

        QCOMPARE(presence->reasons, QStringList{QStringLiteral("Unlock this sorv.ane document")});
        QCOMPARE(prompt->requests.size(), prompts);
        QCOMPARE(manager.presented.size(), 1);
        QCOMPARE(manager.presented.first().first, QStringLiteral("kept text"));
        QCOMPARE(manager.presented.first().second, source);
        QVERIFY(alerts->alerts.isEmpty());
        PassphraseStore(*presence).remove(source);
    }

    void openRefusesWhatIsNotAnEnvelope()
    {
        const QString markdown = path(QStringLiteral("notes.md"));
        writeFile(markdown, "# Just Markdown\n");
        ManagerRecord manager;
        EncryptedDocumentFlow::openEncryptedFileAt(markdown, manager.hooks());
        QCOMPARE(alerts->messages(), QStringList{QStringLiteral("Not an encrypted sorv.ane file")});
        QCOMPARE(alerts->alerts.first().informativeText,
                 QStringLiteral("notes.md does not have a sorv.ane encrypted envelope."));
        QVERIFY(prompt->requests.isEmpty());
        QVERIFY(manager.presented.isEmpty());

        // A damaged envelope gets as far as the prompt, then "Could not decrypt".
        const QString damaged = path(QStringLiteral("damaged.md.enc"));
        QByteArray bytes = *EncryptionService::encrypt(QStringLiteral("x"), QStringLiteral("pw"));
        bytes[5] = char(250);
        writeFile(damaged, bytes);
        prompt->answers = {typed(QStringLiteral("pw"))};
        EncryptedDocumentFlow::openEncryptedFileAt(damaged, manager.hooks());
        QCOMPARE(alerts->alerts.last().messageText, QStringLiteral("Could not decrypt"));
        QCOMPARE(alerts->alerts.last().informativeText,
                 QStringLiteral("This file is not a sorv.ane encrypted document."));
        QVERIFY(manager.presented.isEmpty());
    }

    void openPanelAndUnreadableFile()
    {
        ManagerRecord manager;
        alerts->openPaths = {};
        EncryptedDocumentFlow::openEncryptedFile(manager.hooks());
        QCOMPARE(alerts->panels.size(), 1);
        QVERIFY(!alerts->panels.first().multipleSelection);
        QVERIFY(alerts->panels.first().nameFilters.isEmpty());
        QVERIFY(manager.openFailures.isEmpty() && alerts->alerts.isEmpty());

        const QString missing = path(QStringLiteral("gone.md.enc"));
        alerts->openPaths = {missing};
        EncryptedDocumentFlow::openEncryptedFile(manager.hooks());
        QCOMPARE(manager.openFailures, QStringList{missing});
        QVERIFY(prompt->requests.isEmpty());
    }
};

SORVANE_TEST_MAIN(tst_EncryptedDocumentFlow)
#include "tst_EncryptedDocumentFlow.moc"
