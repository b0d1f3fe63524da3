#include "EncryptionDoubles.h"
#include "TestEnvironment.h"

#include "documents/encryption/PassphraseStore.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

// Runs inside a throwaway gnome-keyring (registered with KEYRING).
class tst_PassphraseStore : public QObject
{
    Q_OBJECT

    // What another keyring client sees under the service and account attributes.
    static QString lookedUpByOthers(const QString &account)
    {
        QProcess tool;
        // The path holds non-ASCII characters: the tool must read its arguments as UTF-8.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        tool.setProcessEnvironment(environment);
        tool.start(QStringLiteral("secret-tool"),
                   {QStringLiteral("lookup"), QStringLiteral("service"), QString::fromLatin1(PassphraseStore::service),
                    QStringLiteral("account"), account});
        tool.waitForFinished(30000);
        return QString::fromUtf8(tool.readAllStandardOutput());
    }

private Q_SLOTS:
    void storeReadReplaceRemove()
    {
        FakeUserPresence presence;
        const PassphraseStore store(presence);
        const QString account = QStringLiteral("/home/ana/Notes/plan ✓.md.enc");

        QVERIFY(store.store(QStringLiteral("first pässphrase"), account));
        QCOMPARE(lookedUpByOthers(account), QStringLiteral("first pässphrase"));
        QCOMPARE(store.read(account), std::optional<QString>(QStringLiteral("first pässphrase")));
        QCOMPARE(presence.reasons, QStringList{QStringLiteral("Unlock this sorv.ane document")});

        // Storing again for the same path replaces the item rather than adding a second.
        QVERIFY(store.store(QStringLiteral("second"), account));
        QCOMPARE(store.read(account), std::optional<QString>(QStringLiteral("second")));

        // One item per file: another path has its own.
        const QString other = QStringLiteral("/home/ana/Notes/other.md.enc");
        QVERIFY(store.store(QStringLiteral("other"), other));
        QCOMPARE(store.read(account), std::optional<QString>(QStringLiteral("second")));

        QVERIFY(store.remove(account));
        QCOMPARE(store.read(account), std::nullopt);
        QCOMPARE(lookedUpByOthers(account), QString());
        QCOMPARE(store.read(other), std::optional<QString>(QStringLiteral("other")));
        QVERIFY(!store.remove(account));
    }

    void refusedPresenceBlocksTheRead()
    {
        FakeUserPresence presence;
        const PassphraseStore store(presence);
        const QString account = QStringLiteral("/tmp/locked.md.enc");
        QVERIFY(store.store(QStringLiteral("kept"), account));

        presence.allow = false;
        QCOMPARE(store.read(account), std::nullopt);
        QCOMPARE(presence.reasons.size(), 1);
        presence.allow = true;
        QCOMPARE(store.read(account), std::optional<QString>(QStringLiteral("kept")));
    }

    void noItemAsksNothing()
    {
        FakeUserPresence presence;
        const PassphraseStore store(presence);
        QCOMPARE(store.read(QStringLiteral("/nowhere/never-stored.md.enc")), std::nullopt);
        QVERIFY(presence.reasons.isEmpty());
    }
};

SORVANE_TEST_MAIN(tst_PassphraseStore)
#include "tst_PassphraseStore.moc"
