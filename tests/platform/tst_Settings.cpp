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
#include <limits>

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

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
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
        QCOMPARE(settings.boolValue(QStringLiteral("showOutline")), false);
        QCOMPARE(settings.intValue(QStringLiteral("missing"), 7), 7);
    }

    // Values a hand-edited or damaged file can hold where a number is expected: each
    // reads as invalid (the default, else the fallback), never as arithmetic on it.
    // Converting the out-of-range ones to integers was undefined behaviour.
    void numbersOutOfRangeReadAsInvalid_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<qint64>("count");
        QTest::addColumn<double>("verboseSince");
        QTest::addColumn<double>("fontSize");
        const auto row = [](const char *name, const QByteArray &value, qint64 count, double since, double size) {
            QTest::newRow(name) << "{\"sorvane.recentSaveFailures\": " + value + ", \"sorvane.verboseDiagnosticsEnabledAt\": "
                    + value + ", \"fontSize\": " + value + ", \"other\": " + value + "}"
                                << count << since << size;
        };
        row("1e19", "1e19", 0, 1e19, 15);
        row("2^63", "9223372036854775808", 0, 9223372036854775808.0, 15);
        row("-1e300", "-1e300", 0, -1e300, 15);
        row("1e300", "1e300", 0, 1e300, 15);
        row("non-integer", "2.5", 0, 2.5, 2.5);
        row("tiny", "1e-300", 0, 1e-300, 15);
        row("text inf", "\"inf\"", 0, 0, 15);
        row("text -infinity", "\"-infinity\"", 0, 0, 15);
        row("text nan", "\"nan\"", 0, 0, 15);
        row("text 1e19", "\"1e19\"", 0, 1e19, 15);
        row("text 1e400", "\"1e400\"", 0, 0, 15);
        row("in range", "12", 12, 12, 12);
        row("-2^63", "-9223372036854775808", std::numeric_limits<qint64>::min(), -9223372036854775808.0, 15);
    }
    void numbersOutOfRangeReadAsInvalid()
    {
        QFETCH(QByteArray, file);
        QFETCH(qint64, count);
        QFETCH(double, verboseSince);
        QFETCH(double, fontSize);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.json"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(file);
        out.close();
        Settings settings(path);
        QVERIFY2(settings.contains(QStringLiteral("fontSize")), "the file should parse");
        QCOMPARE(settings.intValue(QStringLiteral("sorvane.recentSaveFailures"), 0), count);
        QCOMPARE(settings.intValue(QStringLiteral("other"), 7), count ? count : 7);
        QCOMPARE(settings.doubleValue(QStringLiteral("sorvane.verboseDiagnosticsEnabledAt")), verboseSince);
        QCOMPARE(settings.fontSize(), fontSize);
    }

    // NaN and infinities only arise in memory (JSON text cannot spell them), but a
    // reader must not hand them on either.
    void nonFiniteNumbersReadAsInvalid_data()
    {
        QTest::addColumn<double>("number");
        QTest::newRow("NaN") << qQNaN();
        QTest::newRow("infinity") << qInf();
        QTest::newRow("minus infinity") << -qInf();
    }
    void nonFiniteNumbersReadAsInvalid()
    {
        QFETCH(double, number);
        QTemporaryDir dir;
        Settings settings(dir.filePath(QStringLiteral("settings.json")));
        for (const char *key : {"fontSize", "showOutline", "sorvane.recentSaveFailures", "other"})
            settings.setValue(QLatin1String(key), number);
        QCOMPARE(settings.fontSize(), 15.0);
        QCOMPARE(settings.doubleValue(QStringLiteral("other"), 3.0), 3.0);
        QCOMPARE(settings.intValue(QStringLiteral("sorvane.recentSaveFailures"), 5), qint64(0));
        QCOMPARE(settings.intValue(QStringLiteral("other"), 5), qint64(5));
        QCOMPARE(settings.boolValue(QStringLiteral("showOutline")), false);
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

    // Earlier damaged files kept in the same second hold the plain keep-aside name: the
    // new one gets a name of its own, and the earlier ones are left as they were.
    void keepAsideNameTaken()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("settings.json"));
        const QByteArray damaged = "{\"fontSize\": 1";
        QVERIFY(writeFile(path, damaged));
        // Every name the next few seconds could give, so the clock cannot dodge the clash.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QStringList earlier;
        for (int second = -2; second <= 30; ++second) {
            const QString name = path + QStringLiteral(".corrupt-")
                + now.addSecs(second).toString(QStringLiteral("yyyyMMddTHHmmss"));
            QVERIFY(writeFile(name, "earlier " + name.toUtf8()));
            earlier << name;
        }
        QTest::ignoreMessage(QtCriticalMsg,
                             QRegularExpression(QStringLiteral("^The settings file was unreadable and was kept as .*corrupt-\\d+T\\d+-2$")));
        Settings settings(path);
        settings.setValue(QStringLiteral("wordWrap"), false);

        for (const QString &name : std::as_const(earlier))
            QCOMPARE(readFile(name), "earlier " + name.toUtf8());
        const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("settings.json.corrupt-*-2")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(readFile(dir.filePath(aside.constFirst())), damaged);
        QCOMPARE(Settings(path).storedValue(QStringLiteral("wordWrap")), QJsonValue(false));
    }

    // A folder that refuses the rename (here: the kept name would be longer than a file
    // name may be, which stops root too) keeps the damaged file where it is, and no change
    // is written over it; the log says why.
    void damagedFileThatCannotMoveIsNotOverwritten()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QString(240, QLatin1Char('s')) + QStringLiteral(".json"));
        const QByteArray damaged = "not json at all";
        QVERIFY(writeFile(path, damaged));
        const QRegularExpression refused(QStringLiteral("^The settings file .* is unreadable and could not be kept "
                                                        "aside \\(.+\\); changes will not be saved over it$"));
        QTest::ignoreMessage(QtCriticalMsg, refused);
        Settings settings(path);
        QTest::ignoreMessage(QtCriticalMsg, refused);
        QSignalSpy changed(&settings, &Settings::valueChanged);
        settings.setValue(QStringLiteral("wordWrap"), false);

        QCOMPARE(readFile(path), damaged);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
        // The running app still sees the change; only the file is spared.
        QCOMPARE(changed.count(), 1);
        QCOMPARE(settings.boolValue(QStringLiteral("wordWrap")), false);
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
