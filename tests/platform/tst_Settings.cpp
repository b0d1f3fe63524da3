#include "FileSizeLimit.h"
#include "platform/Settings.h"
#include "TestEnvironment.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class tst_Settings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void defaults_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("expected");
        QTest::newRow("fontSize") << "fontSize" << QJsonValue(15);
        QTest::newRow("appearanceMode") << "appearanceMode" << QJsonValue(QStringLiteral("Auto"));
        QTest::newRow("preferredViewMode") << "preferredViewMode" << QJsonValue(QStringLiteral("Split"));
        QTest::newRow("restoreSession") << "restoreSession" << QJsonValue(true);
        QTest::newRow("spellCheck") << "spellCheck" << QJsonValue(true);
        QTest::newRow("previewTheme") << "previewTheme" << QJsonValue(QStringLiteral("Default"));
        QTest::newRow("showOutline") << "showOutline" << QJsonValue(false);
        QTest::newRow("diagnostics") << "sorvane.diagnosticsEnabled" << QJsonValue(true);
        QTest::newRow("proTheme") << "sorvane.proTheme" << QJsonValue(QString());
        QTest::newRow("no default") << "agentWorkspace.favorites" << QJsonValue(QJsonValue::Undefined);
    }
    void defaults()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, expected);
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("settings.json")));
        QCOMPARE(settings.value(key), expected);
        QVERIFY(!settings.contains(key));
    }

    // A number stays a number and a string stays a string after a round trip through the file.
    void typesSurviveReload()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/settings.json"));
        {
            Settings settings(path);
            settings.setValue(QStringLiteral("fontSize"), 18.5);
            settings.setValue(QStringLiteral("previewTheme"), QStringLiteral("15"));
            settings.setValue(QStringLiteral("list"), QJsonArray{1, QStringLiteral("a")});
        }
        Settings again(path);
        QCOMPARE(again.storedValue(QStringLiteral("fontSize")), QJsonValue(18.5));
        QCOMPARE(again.storedValue(QStringLiteral("previewTheme")), QJsonValue(QStringLiteral("15")));
        QCOMPARE(again.doubleValue(QStringLiteral("fontSize")), 18.5);
        QCOMPARE(again.storedValue(QStringLiteral("list")).toArray().size(), 2);
    }

    void typedReadersFallBack()
    {
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("settings.json")));
        settings.setValue(QStringLiteral("fontSize"), QStringLiteral("large"));
        QCOMPARE(settings.doubleValue(QStringLiteral("fontSize")), 15.0);
        settings.setValue(QStringLiteral("wordWrap"), QJsonValue(QJsonValue::Null));
        QCOMPARE(settings.boolValue(QStringLiteral("wordWrap")), true);
        QCOMPARE(settings.intValue(QStringLiteral("missing"), 7), 7);
    }

    void changesAreSignalledOnce()
    {
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("settings.json")));
        QSignalSpy spy(&settings, &Settings::valueChanged);
        settings.setValue(QStringLiteral("fontSize"), 20);
        settings.setValue(QStringLiteral("fontSize"), 20);
        settings.remove(QStringLiteral("fontSize"));
        settings.remove(QStringLiteral("fontSize"));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("fontSize"));
    }

    // A damaged file is kept aside for the user rather than overwritten by the next write.
    void corruptFileIsKeptAside()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"fontSize\": 1");
        file.close();
        Settings settings(path);
        QVERIFY(!settings.contains(QStringLiteral("fontSize")));
        settings.setValue(QStringLiteral("wordWrap"), false);
        const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("settings.json.corrupt-*")});
        QCOMPARE(aside.size(), 1);
        QFile kept(dir.filePath(aside.constFirst()));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("{\"fontSize\": 1"));
    }

    // A write that cannot happen leaves the previous file as it was.
    void failedWriteKeepsOldFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.json"));
        Settings settings(path);
        settings.setValue(QStringLiteral("fontSize"), 17);
        {
            FileSizeLimit limit(8);
            settings.setValue(QStringLiteral("fontSize"), 30);
        }
        QCOMPARE(settings.doubleValue(QStringLiteral("fontSize")), 30.0);
        Settings reread(path);
        QCOMPARE(reread.doubleValue(QStringLiteral("fontSize")), 17.0);
    }
};

SORVANE_TEST_MAIN(tst_Settings)
#include "tst_Settings.moc"
