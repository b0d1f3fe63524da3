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

#include <functional>

namespace {

// The typed accessors by name, so one table can drive them all.
struct Accessor {
    std::function<QVariant(const Settings &)> read;
    std::function<void(Settings &, const QVariant &)> write; // empty: the key has no setter
};

const QHash<QString, Accessor> &accessors()
{
    static const QHash<QString, Accessor> table = {
        {QStringLiteral("fontSize"),
         {[](const Settings &s) { return QVariant(s.fontSize()); },
          [](Settings &s, const QVariant &v) { s.setFontSize(v.toDouble()); }}},
        {QStringLiteral("appearanceMode"),
         {[](const Settings &s) { return QVariant(s.appearanceMode()); },
          [](Settings &s, const QVariant &v) { s.setAppearanceMode(v.toString()); }}},
        {QStringLiteral("preferredViewMode"),
         {[](const Settings &s) { return QVariant(s.preferredViewMode()); },
          [](Settings &s, const QVariant &v) { s.setPreferredViewMode(v.toString()); }}},
        {QStringLiteral("showOutline"),
         {[](const Settings &s) { return QVariant(s.showOutline()); },
          [](Settings &s, const QVariant &v) { s.setShowOutline(v.toBool()); }}},
        {QStringLiteral("distractionFree"),
         {[](const Settings &s) { return QVariant(s.distractionFree()); },
          [](Settings &s, const QVariant &v) { s.setDistractionFree(v.toBool()); }}},
        {QStringLiteral("showWorkspace"), {[](const Settings &s) { return QVariant(s.showWorkspace()); }, {}}},
        {QStringLiteral("useCustomCSS"),
         {[](const Settings &s) { return QVariant(s.useCustomCSS()); },
          [](Settings &s, const QVariant &v) { s.setUseCustomCSS(v.toBool()); }}},
    };
    return table;
}

} // namespace

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

    // Each accessor reads its own key as the file names it, falls back to the key's
    // default, and writes the value with its JSON type.
    void typedAccessors_data()
    {
        QTest::addColumn<QString>("accessor");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("absent");
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QVariant>("read");
        QTest::newRow("fontSize") << "fontSize" << "fontSize" << QVariant(15.0) << QJsonValue(18.5) << QVariant(18.5);
        QTest::newRow("fontSize as text") << "fontSize" << "fontSize" << QVariant(15.0) << QJsonValue(QStringLiteral("17"))
                                          << QVariant(17.0);
        QTest::newRow("appearanceMode") << "appearanceMode" << "appearanceMode" << QVariant(QStringLiteral("Auto"))
                                        << QJsonValue(QStringLiteral("Dark")) << QVariant(QStringLiteral("Dark"));
        QTest::newRow("preferredViewMode") << "preferredViewMode" << "preferredViewMode" << QVariant(QStringLiteral("Split"))
                                           << QJsonValue(QStringLiteral("Editor")) << QVariant(QStringLiteral("Editor"));
        QTest::newRow("showOutline") << "showOutline" << "showOutline" << QVariant(false) << QJsonValue(true) << QVariant(true);
        QTest::newRow("distractionFree") << "distractionFree" << "distractionFree" << QVariant(false) << QJsonValue(true)
                                         << QVariant(true);
        QTest::newRow("showWorkspace") << "showWorkspace" << "showWorkspace" << QVariant(false) << QJsonValue(true)
                                       << QVariant(true);
        QTest::newRow("useCustomCSS") << "useCustomCSS" << "sorvane.useCustomCSS" << QVariant(false) << QJsonValue(true)
                                      << QVariant(true);
        QTest::newRow("useCustomCSS as number") << "useCustomCSS" << "sorvane.useCustomCSS" << QVariant(false)
                                                << QJsonValue(1) << QVariant(true);
    }
    void typedAccessors()
    {
        QFETCH(QString, accessor);
        QFETCH(QString, key);
        QFETCH(QVariant, absent);
        QFETCH(QJsonValue, stored);
        QFETCH(QVariant, read);
        const Accessor &access = accessors().value(accessor);
        QVERIFY(access.read);
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("settings.json")));
        QCOMPARE(access.read(settings), absent);
        settings.setValue(key, stored);
        QCOMPARE(access.read(settings), read);

        if (!access.write)
            return;
        Settings written(dir.filePath(QStringLiteral("written.json")));
        QSignalSpy changed(&written, &Settings::valueChanged);
        access.write(written, read);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.at(0).at(0).toString(), key);
        QCOMPARE(written.storedValue(key), QJsonValue::fromVariant(read));
    }

    // The workspace's own change signal carries the new value and fires for no other key.
    void showWorkspaceChangeIsSignalled()
    {
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("settings.json")));
        QSignalSpy spy(&settings, &Settings::showWorkspaceChanged);
        settings.setValue(QStringLiteral("showOutline"), true);
        settings.setValue(QStringLiteral("showWorkspace"), true);
        settings.setValue(QStringLiteral("showWorkspace"), true);
        settings.remove(QStringLiteral("showWorkspace"));
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QCOMPARE(spy.at(1).at(0).toBool(), false);
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
        // Reported under the platform's category, so it reaches the diagnostic log.
        QTest::ignoreMessage(QtCriticalMsg,
                             QRegularExpression(QStringLiteral("^The settings file was unreadable and was kept as .*corrupt-")));
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
            QTest::ignoreMessage(QtCriticalMsg,
                                 QRegularExpression(QStringLiteral("^Could not write the settings file: ")));
            settings.setValue(QStringLiteral("fontSize"), 30);
        }
        QCOMPARE(settings.doubleValue(QStringLiteral("fontSize")), 30.0);
        Settings reread(path);
        QCOMPARE(reread.doubleValue(QStringLiteral("fontSize")), 17.0);
    }
};

SORVANE_TEST_MAIN(tst_Settings)
#include "tst_Settings.moc"
