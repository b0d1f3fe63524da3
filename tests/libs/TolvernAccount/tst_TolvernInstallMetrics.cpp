#include "InMemoryStorage.h"
#include "KeychainStorage.h"
#include "TolvernError.h"
#include "TolvernInstallMetrics.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QThread>

#include <atomic>
#include <latch>
#include <memory>

namespace {
const QString idKey = QString::fromLatin1(TolvernInstallMetrics::Keys::installID);
const QString markerKey = QString::fromLatin1(TolvernInstallMetrics::Keys::firstOpenFired);

bool isCanonicalV4(const QString &id)
{
    static const QRegularExpression shape(
        QStringLiteral("\\A[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}\\z"));
    return shape.match(id).hasMatch();
}

// An in-memory store that counts writes, can refuse them, and pauses inside reads
// so that unguarded read-or-create sequences of several threads interleave.
class ProbeStorage : public InMemoryStorage
{
public:
    std::atomic<int> writes{0};
    bool rejectWrites = false;

    void setData(const QByteArray &data, const QString &key) override
    {
        if (rejectWrites)
            throw TolvernError::keychainFailure(-25308);
        ++writes;
        InMemoryStorage::setData(data, key);
    }
    std::optional<QByteArray> getData(const QString &key) override
    {
        QThread::usleep(1000);
        return InMemoryStorage::getData(key);
    }
};
} // namespace

class tst_TolvernInstallMetrics : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storedIdentifier_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("stored");
        QTest::addColumn<QString>("answer");   // empty: a new identifier
        QTest::addColumn<int>("writes");        // over two calls
        const QString id = QStringLiteral("6f1c2a3b-4d5e-4f60-8a7b-9c0d1e2f3a4b");
        QTest::newRow("empty store") << std::optional<QByteArray>() << QString() << 1;
        QTest::newRow("canonical") << std::optional<QByteArray>(id.toUtf8()) << id << 0;
        QTest::newRow("upper case") << std::optional<QByteArray>(id.toUpper().toUtf8()) << id << 1;
        QTest::newRow("dev_ and upper case") << std::optional<QByteArray>("dev_" + id.toUpper().toUtf8()) << id << 1;
        QTest::newRow("dev_ and lower case") << std::optional<QByteArray>("dev_" + id.toUtf8()) << id << 1;
        QTest::newRow("empty text") << std::optional<QByteArray>("") << QString() << 1;
        QTest::newRow("other text") << std::optional<QByteArray>("install-42") << QString() << 1;
        QTest::newRow("braced UUID") << std::optional<QByteArray>("{" + id.toUtf8() + "}") << QString() << 1;
        QTest::newRow("trailing newline") << std::optional<QByteArray>(id.toUtf8() + "\n") << QString() << 1;
        QTest::newRow("not UTF-8") << std::optional<QByteArray>("\xff\xfe") << QString() << 1;
    }
    void storedIdentifier()
    {
        QFETCH(std::optional<QByteArray>, stored);
        QFETCH(QString, answer);
        QFETCH(int, writes);
        auto storage = std::make_shared<ProbeStorage>();
        if (stored)
            storage->InMemoryStorage::setData(*stored, idKey);

        const QString first = TolvernInstallMetrics(storage).installID();
        if (answer.isEmpty())
            QVERIFY2(isCanonicalV4(first), qPrintable(first));
        else
            QCOMPARE(first, answer);
        // Stable on another instance, and the item now holds the one form.
        QCOMPARE(TolvernInstallMetrics(storage).installID(), first);
        QCOMPARE(storage->getData(idKey), std::optional<QByteArray>(first.toUtf8()));
        QCOMPARE(storage->writes.load(), writes);
    }

    void storeThatRejectsWrites()
    {
        auto storage = std::make_shared<ProbeStorage>();
        storage->rejectWrites = true;
        const TolvernInstallMetrics metrics(storage);
        const QString first = metrics.installID();
        const QString second = metrics.installID();
        QVERIFY(isCanonicalV4(first) && isCanonicalV4(second));
        QVERIFY(first != second);
        QVERIFY(metrics.shouldFireFirstOpen());
        QVERIFY(!metrics.markFirstOpenFired());
        QVERIFY(metrics.shouldFireFirstOpen());
    }

    void firstOpenMarker()
    {
        auto storage = std::make_shared<ProbeStorage>();
        const TolvernInstallMetrics metrics(storage);
        QVERIFY(metrics.shouldFireFirstOpen());
        QVERIFY(metrics.markFirstOpenFired());
        QCOMPARE(storage->getData(markerKey), std::optional<QByteArray>("1"));
        QVERIFY(!metrics.shouldFireFirstOpen());

        // Already marked (by any content): true, and nothing is written.
        auto marked = std::make_shared<ProbeStorage>();
        marked->InMemoryStorage::setData("yes", markerKey);
        marked->rejectWrites = true;
        QVERIFY(TolvernInstallMetrics(marked).markFirstOpenFired());
        QCOMPARE(marked->getData(markerKey), std::optional<QByteArray>("yes"));
    }

    void manyThreadsGetOneIdentifier_data()
    {
        QTest::addColumn<bool>("keyring");
        QTest::newRow("in memory") << false;
        if (qEnvironmentVariable("TOLVERN_TEST_SECRET_SERVICE") == QLatin1String("keyring"))
            QTest::newRow("keyring") << true;
    }
    void manyThreadsGetOneIdentifier()
    {
        QFETCH(bool, keyring);
        // Several rounds on a fresh empty store: a lost race shows in one of them.
        for (int round = 0; round < (keyring ? 1 : 5); ++round) {
            const QString slug = QStringLiteral("threads");
            auto memory = std::make_shared<ProbeStorage>();
            QMutex resultsLock;
            QSet<QString> ids;
            QList<QThread *> threads;
            std::latch start(12);
            for (int t = 0; t < 12; ++t) {
                threads.append(QThread::create([&] {
                    start.arrive_and_wait();
                    // Each thread its own instance: only the process-wide lock joins them.
                    const TolvernInstallMetrics metrics =
                        keyring ? TolvernInstallMetrics(slug) : TolvernInstallMetrics(memory);
                    for (int i = 0; i < 5; ++i) {
                        const QString id = metrics.installID();
                        QMutexLocker lock(&resultsLock);
                        ids.insert(id);
                    }
                }));
            }
            for (QThread *thread : threads)
                thread->start();
            for (QThread *thread : threads) {
                QVERIFY(thread->wait(120000));
                delete thread;
            }
            QCOMPARE(ids.size(), 1);
            QVERIFY(isCanonicalV4(*ids.begin()));
            if (keyring)
                QCOMPARE(KeychainStorage(slug).getData(idKey), std::optional<QByteArray>(ids.begin()->toUtf8()));
            else
                QCOMPARE(memory->writes.load(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(tst_TolvernInstallMetrics)
#include "tst_TolvernInstallMetrics.moc"
