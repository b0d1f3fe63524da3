#include "TestEnvironment.h"
#include "TestFiles.h"

#include "diagnostics/DiagnosticThrottle.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

namespace {
constexpr double t0 = 1700000000.5;
}

class tst_DiagnosticThrottle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shouldUpload_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: no file
        QTest::addColumn<QString>("reason");
        QTest::addColumn<double>("elapsed"); // seconds after t0
        QTest::addColumn<bool>("eligible");

        const QByteArray recorded = QByteArray("{\"crash_recovery\":") + QByteArray::number(t0, 'f', 1) + "}";
        QTest::newRow("no file") << QByteArray() << "crash_recovery" << 0.0 << true;
        QTest::newRow("no file, other reason") << QByteArray() << "export_failed" << 0.0 << true;
        QTest::newRow("just recorded") << recorded << "crash_recovery" << 0.0 << false;
        QTest::newRow("3599 s later") << recorded << "crash_recovery" << 3599.0 << false;
        QTest::newRow("3600 s later") << recorded << "crash_recovery" << 3600.0 << true;
        QTest::newRow("other reason meanwhile") << recorded << "export_failed" << 1.0 << true;
        // A time ahead of the clock holds until an hour after that time.
        const QByteArray ahead = QByteArray("{\"crash_recovery\":") + QByteArray::number(t0 + 1000, 'f', 1) + "}";
        QTest::newRow("future: at t0") << ahead << "crash_recovery" << 0.0 << false;
        QTest::newRow("future: 4599 s later") << ahead << "crash_recovery" << 4599.0 << false;
        QTest::newRow("future: 4600 s later") << ahead << "crash_recovery" << 4600.0 << true;
        // Anything but a reason-to-number object is damage: every reason may go.
        QTest::newRow("not JSON") << QByteArray("{crash") << "crash_recovery" << 0.0 << true;
        QTest::newRow("an array") << QByteArray("[1700000000]") << "crash_recovery" << 0.0 << true;
        QTest::newRow("a text value") << QByteArray("{\"crash_recovery\":\"1700000000\"}") << "crash_recovery" << 0.0
                                      << true;
        QTest::newRow("one bad value spoils all")
            << QByteArray("{\"crash_recovery\":") + QByteArray::number(t0, 'f', 1) + ",\"export_failed\":null}"
            << "crash_recovery" << 0.0 << true;
        QTest::newRow("empty file") << QByteArray("") << "crash_recovery" << 0.0 << true;
    }
    void shouldUpload()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, reason);
        QFETCH(double, elapsed);
        QFETCH(bool, eligible);

        QTemporaryDir folder;
        const QString path = folder.filePath("diagnostic-throttle.json");
        if (!file.isNull())
            QVERIFY(writeFile(path, file));
        const double now = t0 + elapsed;
        DiagnosticThrottle throttle(path, [&now] { return now; });
        QCOMPARE(throttle.shouldUpload(reason), eligible);
    }

    void recordUpload_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QJsonObject>("expected");

        const QJsonObject justThis{{"crash_recovery", t0}};
        QTest::newRow("no file") << QByteArray() << justThis;
        QTest::newRow("other reasons kept") << QByteArray("{\"export_failed\":12.25,\"crash_recovery\":3}")
                                            << QJsonObject{{"crash_recovery", t0}, {"export_failed", 12.25}};
        QTest::newRow("damage replaced") << QByteArray("{\"export_failed\":12.25,\"x\":\"y\"}") << justThis;
        QTest::newRow("array replaced") << QByteArray("[]") << justThis;
    }
    void recordUpload()
    {
        QFETCH(QByteArray, file);
        QFETCH(QJsonObject, expected);

        QTemporaryDir folder;
        const QString path = folder.filePath("diagnostic-throttle.json");
        if (!file.isNull())
            QVERIFY(writeFile(path, file));
        double now = t0;
        DiagnosticThrottle throttle(path, [&now] { return now; });
        throttle.recordUpload(QStringLiteral("crash_recovery"));

        const QJsonDocument written = QJsonDocument::fromJson(readFile(path));
        QCOMPARE(written.object(), expected);
        QVERIFY(!throttle.shouldUpload(QStringLiteral("crash_recovery")));
        // A relaunch (a new throttle over the same file) still holds it back.
        now = t0 + 10;
        QVERIFY(!DiagnosticThrottle(path, [&now] { return now; }).shouldUpload(QStringLiteral("crash_recovery")));
    }

    void defaultLocation()
    {
        DiagnosticThrottle throttle;
        QCOMPARE(throttle.filePath(), QDir::home().filePath(".local/share/dev.tolvern.sorvane/diagnostic-throttle.json"));
        QVERIFY(QFileInfo(throttle.filePath()).dir().exists());
    }

    // Read-modify-writes from many threads: no reason's record is lost to another's.
    void concurrentRecordsKeepEveryReason()
    {
        QTemporaryDir folder;
        DiagnosticThrottle throttle(folder.filePath("diagnostic-throttle.json"), [] { return t0; });
        constexpr int threads = 8;
        constexpr int rounds = 40;
        QList<QThread *> workers;
        for (int t = 0; t < threads; ++t) {
            workers.append(QThread::create([&throttle, t] {
                for (int round = 0; round < rounds; ++round)
                    throttle.recordUpload(QStringLiteral("reason_%1_%2").arg(t).arg(round));
            }));
            workers.last()->start();
        }
        for (QThread *worker : workers) {
            QVERIFY(worker->wait(60000));
            delete worker;
        }
        for (int t = 0; t < threads; ++t) {
            for (int round = 0; round < rounds; ++round)
                QVERIFY(!throttle.shouldUpload(QStringLiteral("reason_%1_%2").arg(t).arg(round)));
        }
    }
};

SORVANE_TEST_MAIN(tst_DiagnosticThrottle)
#include "tst_DiagnosticThrottle.moc"
