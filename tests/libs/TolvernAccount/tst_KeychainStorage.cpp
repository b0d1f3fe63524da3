#include "InMemoryStorage.h"
#include "KeychainStorage.h"
#include "StoredSession.h"
#include "TolvernError.h"

#include <QProcess>
#include <QTest>
#include <QThread>
#include <QTimeZone>

#include <libsecret/secret.h>

#include <memory>

// Runs in one of two set-ups, chosen by CTest through TOLVERN_TEST_SECRET_SERVICE:
// "keyring" (a throwaway gnome-keyring) or "none" (the session bus address names a
// missing socket). The in-memory rows run in both.
namespace {
QString secretServiceMode()
{
    return qEnvironmentVariable("TOLVERN_TEST_SECRET_SERVICE");
}

std::shared_ptr<TolvernAccountDataStorage> makeStorage(const QString &backend, const QString &slug,
                                                       std::optional<QString> group = std::nullopt)
{
    if (backend == QLatin1String("memory"))
        return std::make_shared<InMemoryStorage>();
    return std::make_shared<KeychainStorage>(slug, group);
}

// The backends this run can exercise.
QStringList backends()
{
    QStringList result{QStringLiteral("memory")};
    if (secretServiceMode() == QLatin1String("keyring"))
        result.append(QStringLiteral("keyring"));
    if (secretServiceMode() == QLatin1String("none"))
        result.append(QStringLiteral("no service"));
    return result;
}

// What another keyring client finds for these attributes: "attribute.x = y" lines.
QString searchedByOthers(const QStringList &attributes)
{
    QProcess tool;
    tool.start(QStringLiteral("secret-tool"), QStringList{QStringLiteral("search"), QStringLiteral("--all")} + attributes);
    tool.waitForFinished(30000);
    return QString::fromUtf8(tool.readAllStandardOutput() + tool.readAllStandardError());
}

StoredSession session(std::optional<QString> refreshToken)
{
    return StoredSession{QStringLiteral("tvs-abc"),
                         std::move(refreshToken),
                         QDateTime(QDate(2026, 6, 1), QTime(8, 30, 0), QTimeZone::utc()),
                         TolvernAccount{{QStringLiteral("ta_1")}, QStringLiteral("ana@example.test"),
                                        QList<TolvernProvider>{TolvernProvider::apple}},
                         QStringLiteral("sorvane"),
                         QDateTime(QDate(2026, 5, 1), QTime(8, 30, 0), QTimeZone::utc())};
}
} // namespace

class tst_KeychainStorage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (secretServiceMode().isEmpty())
            qInfo("TOLVERN_TEST_SECRET_SERVICE unset: only the in-memory storage runs");
    }

    // One write, read and delete script per backend; the "no service" backend is
    // the keyring store with nothing answering on the bus.
    void items_data()
    {
        QTest::addColumn<QString>("backend");
        QTest::addColumn<QList<QByteArray>>("writes");   // in order, to one key
        QTest::addColumn<bool>("readable");               // what a read then gives
        QTest::addColumn<int>("writeStatus");             // 0: writes succeed
        for (const QString &backend : backends()) {
            const bool service = backend != QLatin1String("no service");
            const int status = service ? 0 : -25291;
            QTest::addRow("%s: never written", qPrintable(backend)) << backend << QList<QByteArray>{} << false << 0;
            QTest::addRow("%s: one write", qPrintable(backend)) << backend << QList<QByteArray>{"first"} << service << status;
            QTest::addRow("%s: second write replaces", qPrintable(backend)) << backend << QList<QByteArray>{"first", "second"} << service << status;
            QTest::addRow("%s: bytes kept as bytes", qPrintable(backend)) << backend << QList<QByteArray>{QByteArray("\x00\xff\x01 \n", 5)} << service
                                       << status;
        }
    }
    void items()
    {
        QFETCH(QString, backend);
        QFETCH(QList<QByteArray>, writes);
        QFETCH(bool, readable);
        QFETCH(int, writeStatus);
        const QString slug = QStringLiteral("items-%1").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('-'));
        const auto storage = makeStorage(backend, slug);
        const QString key = QStringLiteral("tolvern_session");

        for (const QByteArray &bytes : writes) {
            try {
                storage->setData(bytes, key);
                QCOMPARE(writeStatus, 0);
            } catch (const TolvernError &error) {
                QCOMPARE(error, TolvernError::keychainFailure(writeStatus));
            }
        }
        const std::optional<QByteArray> read = storage->getData(key);
        QCOMPARE(read.has_value(), readable);
        if (readable)
            QCOMPARE(*read, writes.last());
        if (backend == QLatin1String("keyring") && !writes.isEmpty()) {
            // A second write replaced the item instead of adding one.
            const QString found = searchedByOthers({QStringLiteral("service"), QStringLiteral("com.tolvern.account.") + slug});
            QCOMPARE(found.count(QStringLiteral("attribute.account = tolvern_session")), 1);
        }

        // Deleting succeeds silently, twice, and leaves nothing behind.
        storage->deleteData(key);
        storage->deleteData(key);
        QCOMPARE(storage->getData(key), std::nullopt);
        // Other keys are untouched by this key's delete.
        if (backend != QLatin1String("no service")) {
            storage->setData("other", QStringLiteral("tolvern_install_id"));
            storage->deleteData(key);
            QCOMPARE(storage->getData(QStringLiteral("tolvern_install_id")), std::optional<QByteArray>("other"));
        }
    }

    void sessionAsJSON_data()
    {
        QTest::addColumn<QString>("backend");
        for (const QString &backend : backends()) {
            if (backend != QLatin1String("no service"))
                QTest::newRow(qPrintable(backend)) << backend;
        }
    }
    void sessionAsJSON()
    {
        QFETCH(QString, backend);
        const auto storage = makeStorage(backend, QStringLiteral("json"));
        const QString key = QString::fromLatin1(KeychainStorage::Keys::session);

        for (const auto &refresh : {std::optional<QString>(QStringLiteral("rt-1")), std::optional<QString>()}) {
            const StoredSession written = session(refresh);
            storage->setJSON(written, key);
            QCOMPARE(storage->getJSON<StoredSession>(key), std::optional<StoredSession>(written));
            QByteArray expected = "{\"tvs\":\"tvs-abc\",";
            if (refresh)
                expected += "\"refreshToken\":\"rt-1\",";
            expected += "\"expiresAt\":\"2026-06-01T08:30:00.000Z\",\"account\":{\"tolvern_account_id\":\"ta_1\","
                        "\"email_primary\":\"ana@example.test\",\"providers\":[\"apple.com\"]},"
                        "\"appSlug\":\"sorvane\",\"issuedAt\":\"2026-05-01T08:30:00.000Z\"}";
            QCOMPARE(storage->getData(key), std::optional<QByteArray>(expected));
        }

        // An account without its e-mail reads as no session, and the item stays.
        const QByteArray damaged = "{\"tvs\":\"t\",\"expiresAt\":\"2026-06-01T08:30:00Z\",\"account\":"
                                   "{\"tolvern_account_id\":\"ta_1\"},\"appSlug\":\"s\",\"issuedAt\":\"2026-05-01T08:30:00Z\"}";
        storage->setData(damaged, key);
        QCOMPARE(storage->getJSON<StoredSession>(key), std::nullopt);
        QCOMPARE(storage->getData(key), std::optional<QByteArray>(damaged));
        storage->setData("not json", key);
        QCOMPARE(storage->getJSON<StoredSession>(key), std::nullopt);
        storage->deleteData(key);
        QCOMPARE(storage->getJSON<StoredSession>(key), std::nullopt);
    }

    void keyringAttributes_data()
    {
        QTest::addColumn<QString>("slug");
        QTest::addColumn<std::optional<QString>>("group");
        QTest::newRow("sorvane, no group") << "sorvane" << std::optional<QString>();
        QTest::newRow("capitals stay") << "CapsStay" << std::optional<QString>();
        QTest::newRow("with a group") << "grouped" << std::optional<QString>(QStringLiteral("team.shared"));
    }
    void keyringAttributes()
    {
        if (secretServiceMode() != QLatin1String("keyring"))
            QSKIP("needs the throwaway keyring");
        QFETCH(QString, slug);
        QFETCH(std::optional<QString>, group);
        KeychainStorage storage(slug, group);
        QCOMPARE(storage.service(), QStringLiteral("com.tolvern.account.") + slug);
        storage.setData("v", QStringLiteral("tolvern_install_id"));

        const QString found = searchedByOthers(
            {QStringLiteral("service"), QStringLiteral("com.tolvern.account.") + slug, QStringLiteral("account"),
             QStringLiteral("tolvern_install_id")});
        QVERIFY2(found.contains(QStringLiteral("secret = v")), qPrintable(found));
        if (group)
            QVERIFY(found.contains(QStringLiteral("attribute.access_group = ") + *group));
        else
            QVERIFY2(!found.contains(QStringLiteral("access_group")), qPrintable(found)); // not even empty
        // Another case of the slug is another service.
        if (slug != slug.toLower())
            QCOMPARE(KeychainStorage(slug.toLower()).getData(QStringLiteral("tolvern_install_id")), std::nullopt);
    }

    void extraAttributesMarkTheItem()
    {
        if (secretServiceMode() != QLatin1String("keyring"))
            QSKIP("needs the throwaway keyring");
        KeychainStorage tagged(QStringLiteral("extra"), std::nullopt,
                               {{QStringLiteral("application_tag"), QStringLiteral("dev.example.tag")},
                                {QStringLiteral("key_class"), QStringLiteral("private")}});
        tagged.setData("der bytes", QStringLiteral("key"));
        QCOMPARE(tagged.getData(QStringLiteral("key")), std::optional<QByteArray>("der bytes"));
        const QString found = searchedByOthers({QStringLiteral("application_tag"), QStringLiteral("dev.example.tag")});
        QVERIFY2(found.contains(QStringLiteral("attribute.key_class = private")), qPrintable(found));
        QVERIFY(found.contains(QStringLiteral("attribute.service = com.tolvern.account.extra")));
    }

    void statusOfFailures_data()
    {
        QTest::addColumn<quint32>("domain");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("remoteName");
        QTest::addColumn<int>("status");
        QTest::newRow("collection locked") << quint32(SECRET_ERROR) << int(SECRET_ERROR_IS_LOCKED) << "" << -25308;
        QTest::newRow("unlock prompt dismissed") << quint32(G_IO_ERROR) << int(G_IO_ERROR_CANCELLED) << "" << -25308;
        QTest::newRow("remote IsLocked") << quint32(G_DBUS_ERROR) << int(G_DBUS_ERROR_FAILED)
                                         << "org.freedesktop.Secret.Error.IsLocked" << -25308;
        QTest::newRow("no such object") << quint32(SECRET_ERROR) << int(SECRET_ERROR_NO_SUCH_OBJECT) << "" << -25300;
        QTest::newRow("no service on the bus") << quint32(G_DBUS_ERROR) << int(G_DBUS_ERROR_SERVICE_UNKNOWN) << ""
                                               << -25291;
        QTest::newRow("no bus") << quint32(G_IO_ERROR) << int(G_IO_ERROR_NOT_FOUND) << "" << -25291;
        QTest::newRow("protocol") << quint32(SECRET_ERROR) << int(SECRET_ERROR_PROTOCOL) << "" << -25293;
        QTest::newRow("access denied") << quint32(G_DBUS_ERROR) << int(G_DBUS_ERROR_ACCESS_DENIED) << "" << -25293;
    }
    void statusOfFailures()
    {
        QFETCH(quint32, domain);
        QFETCH(int, code);
        QFETCH(QString, remoteName);
        QFETCH(int, status);
        GError *error = remoteName.isEmpty()
            ? g_error_new_literal(GQuark(domain), code, "failure")
            : g_dbus_error_new_for_dbus_error(remoteName.toUtf8().constData(), "locked");
        QCOMPARE(SecretServiceItems::statusFor(error), status);
        g_error_free(error);
    }

    void inMemoryStorageIsSafeAcrossThreads()
    {
        InMemoryStorage storage;
        QList<QThread *> threads;
        for (int t = 0; t < 8; ++t) {
            threads.append(QThread::create([&storage, t] {
                for (int i = 0; i < 500; ++i) {
                    const QString key = QStringLiteral("k%1-%2").arg(t).arg(i);
                    storage.setData(key.toUtf8(), key);
                    if (i % 2)
                        storage.deleteData(key);
                }
            }));
            threads.last()->start();
        }
        for (QThread *thread : threads) {
            QVERIFY(thread->wait(60000));
            delete thread;
        }
        for (int t = 0; t < 8; ++t) {
            for (int i = 0; i < 500; ++i) {
                const QString key = QStringLiteral("k%1-%2").arg(t).arg(i);
                QCOMPARE(storage.getData(key), i % 2 ? std::nullopt : std::optional<QByteArray>(key.toUtf8()));
            }
        }
    }

    void sessionExpiresAtItsExpiry()
    {
        const StoredSession stored = session(std::nullopt);
        QVERIFY(stored.isExpired(stored.expiresAt));
        QVERIFY(!stored.isExpired(stored.expiresAt.addMSecs(-1)));
        QVERIFY(stored.isExpired(stored.expiresAt.addSecs(1)));
    }
};

QTEST_GUILESS_MAIN(tst_KeychainStorage)
#include "tst_KeychainStorage.moc"
