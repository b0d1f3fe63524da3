#include "TestEnvironment.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "diagnostics/DiagnosticUploader.h"
#include "platform/Settings.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

class tst_DiagnosticUploader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void noteSaveFailureCountsAndCaps_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<qint64>("expected");

        QTest::newRow("first failure") << QJsonValue(QJsonValue::Undefined) << qint64(1);
        QTest::newRow("counting up") << QJsonValue(5) << qint64(6);
        QTest::newRow("reaches the cap") << QJsonValue(999) << qint64(1000);
        QTest::newRow("stays at the cap") << QJsonValue(1000) << qint64(1000);
        QTest::newRow("above the cap comes down to it") << QJsonValue(5000) << qint64(1000);
        QTest::newRow("negative restarts") << QJsonValue(-3) << qint64(1);
        // A count no integer holds, or no whole count at all, is damage: counting restarts.
        QTest::newRow("1e19 restarts") << QJsonValue(1e19) << qint64(1);
        QTest::newRow("-1e300 restarts") << QJsonValue(-1e300) << qint64(1);
        QTest::newRow("fraction restarts") << QJsonValue(2.5) << qint64(1);
        QTest::newRow("NaN restarts") << QJsonValue(qQNaN()) << qint64(1);
    }
    void noteSaveFailureCountsAndCaps()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(qint64, expected);

        const QString key = QStringLiteral("sorvane.recentSaveFailures");
        Settings::shared().setValue(key, stored);
        DiagnosticUploader::noteSaveFailure();

        QCOMPARE(Settings::shared().storedValue(key).toInteger(-1), expected);
        const DiagnosticLogEntry entry = DiagnosticLogBuffer::shared().lastEntries(1).first();
        QCOMPARE(entry.level, QStringLiteral("warn"));
        QCOMPARE(entry.category, QStringLiteral("save"));
        QCOMPARE(entry.msg, QStringLiteral("Document save failed (count=%1)").arg(expected));
    }

    void errorsLogWithTheirDescription()
    {
        QTemporaryDir folder;
        DiagnosticLogBuffer buffer(5, folder.path());
        buffer.add(DiagnosticLogBuffer::Level::Error, "report", "upload failed",
                   DiagnosticError::of(DiagnosticError::Kind::Busy).toLoggedError());
        buffer.add(DiagnosticLogBuffer::Level::Error, "report", "upload failed",
                   DiagnosticError::of(DiagnosticError::Kind::ServerUnknown).toLoggedError());
        buffer.flush();

        const QList<DiagnosticLogEntry> entries = buffer.entries();
        QCOMPARE(entries[0].jsonObject().value("exception_type").toString(), QStringLiteral("DiagnosticError"));
        QCOMPARE(entries[0].jsonObject().value("exception_message").toString(),
                 QStringLiteral("A diagnostic report is already being sent."));
        // No description: the line carries the type only.
        QVERIFY(!entries[1].jsonObject().contains("exception_message"));
        QCOMPARE(DiagnosticError::server("quota reached").description(), std::optional<QString>("quota reached"));
    }
};

SORVANE_TEST_MAIN(tst_DiagnosticUploader)
#include "tst_DiagnosticUploader.moc"
