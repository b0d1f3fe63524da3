#include "FileSizeLimit.h"
#include "TestEnvironment.h"

#include "RecordingServices.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "documents/DocumentManager.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "settings/MCPWriteModeToggle.h"
#include "settings/SettingsView.h"
#include "shell/SorvaneApp.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {
QString flagPath()
{
    return MCPWriteModeToggle::flagFilePath();
}

QByteArray flagBytes()
{
    QFile file(flagPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject flag()
{
    return QJsonDocument::fromJson(flagBytes()).object();
}

// Each atomic write puts a new file in place: a changed inode means it was rewritten.
ino_t flagInode()
{
    struct stat info {};
    return ::stat(QFile::encodeName(flagPath()).constData(), &info) == 0 ? info.st_ino : 0;
}

int failedSaveWarnings()
{
    int count = 0;
    for (const DiagnosticLogEntry &entry : DiagnosticLogBuffer::shared().entries())
        count += entry.level == QLatin1String("warn") && entry.category == QLatin1String("persist")
                 && entry.msg == QLatin1String("MCP write-flag save failed");
    return count;
}

// The switch on screen, as the General tab hosts it.
struct ShownToggle {
    QWidget window;
    MCPWriteModeToggle *toggle = new MCPWriteModeToggle(&window);
    QAbstractButton *button() const { return toggle->findChild<QAbstractButton *>(SettingsKeys::mcpWriteMode); }
    bool show()
    {
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
};
} // namespace

class tst_MCPWriteModeToggle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        Settings::shared().remove(SettingsKeys::mcpWriteMode);
        QFile::remove(flagPath());
    }

    void firstShowWritesTheStoredValue()
    {
        ShownToggle shown;
        QVERIFY(!QFile::exists(flagPath())); // built but not on screen: nothing yet
        const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
        QVERIFY(shown.show());

        const QByteArray bytes = flagBytes();
        const QJsonObject written = flag();
        QCOMPARE(written.keys(), (QStringList{"updatedAt", "writeMode"}));
        QCOMPARE(written.value("writeMode"), QJsonValue(false));
        const QString updatedAt = written.value("updatedAt").toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"))
                     .match(updatedAt)
                     .hasMatch(),
                 qPrintable(updatedAt));
        const QDateTime stamp = QDateTime::fromString(updatedAt, Qt::ISODate);
        QVERIFY(stamp >= before && stamp <= QDateTime::currentDateTimeUtc());
        QVERIFY2(bytes.contains("\n    \"writeMode\": false"), bytes.constData()); // indented
    }

    void flipsWriteEachTime()
    {
        ShownToggle shown;
        QVERIFY(shown.show());
        const ino_t shownInode = flagInode();

        shown.button()->click();
        QCOMPARE(Settings::shared().storedValue(SettingsKeys::mcpWriteMode), QJsonValue(true));
        QCOMPARE(flag().value("writeMode"), QJsonValue(true));
        const ino_t onInode = flagInode();
        QVERIFY(onInode != shownInode);
        const QString onStamp = flag().value("updatedAt").toString();

        shown.button()->click();
        QCOMPARE(Settings::shared().storedValue(SettingsKeys::mcpWriteMode), QJsonValue(false));
        QCOMPARE(flag().value("writeMode"), QJsonValue(false));
        QVERIFY(flagInode() != onInode);
        QVERIFY(QDateTime::fromString(flag().value("updatedAt").toString(), Qt::ISODate)
                >= QDateTime::fromString(onStamp, Qt::ISODate));
    }

    void showingAgainRewrites()
    {
        Settings::shared().setValue(SettingsKeys::mcpWriteMode, true);
        ShownToggle shown;
        QVERIFY(shown.show());
        const ino_t first = flagInode();
        shown.window.hide();
        QVERIFY(shown.show());
        QVERIFY(flagInode() != first);
        QCOMPARE(flag().value("writeMode"), QJsonValue(true));
    }

    // Coming back to the General tab is showing the switch again.
    void generalTabShownAgain()
    {
        RecordingServices services;
        DocumentManager documents;
        SettingsView view(services, documents);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const ino_t first = flagInode();
        QVERIFY(first != 0);
        view.tabs()->setCurrentIndex(SettingsView::Editor);
        QCOMPARE(flagInode(), first);
        view.tabs()->setCurrentIndex(SettingsView::General);
        QVERIFY(flagInode() != first);
        QCOMPARE(flag().value("writeMode"), QJsonValue(false));
    }

    void failedWrites_data()
    {
        QTest::addColumn<bool>("from");
        QTest::addColumn<bool>("fileGone");

        // Read-only could not be written: the old grant goes, no file means read-only.
        QTest::newRow("read-only over write access") << true << true;
        // Write access could not be granted: the old read-only file stays.
        QTest::newRow("write access over read-only") << false << false;
    }

    void failedWrites()
    {
        QFETCH(bool, from);
        QFETCH(bool, fileGone);

        Settings::shared().setValue(SettingsKeys::mcpWriteMode, from);
        ShownToggle shown;
        QVERIFY(shown.show());
        QCOMPARE(flag().value("writeMode"), QJsonValue(from));
        auto *warning = shown.toggle->findChild<QWidget *>(QStringLiteral("mcpWriteWarning"));
        QVERIFY(warning->isHidden());
        const int warningsBefore = failedSaveWarnings();
        {
            FileSizeLimit limit(16);
            shown.button()->click();
        }
        QCOMPARE(Settings::shared().storedValue(SettingsKeys::mcpWriteMode), QJsonValue(!from));
        QCOMPARE(QFile::exists(flagPath()), !fileGone);
        if (!fileGone)
            QCOMPARE(flag().value("writeMode"), QJsonValue(from));
        QVERIFY(shown.toggle->isWarningShown());
        QVERIFY(warning->isVisible());
        QCOMPARE(failedSaveWarnings(), warningsBefore + 1);

        // The next write that succeeds clears the warning.
        shown.button()->click();
        QCOMPARE(flag().value("writeMode"), QJsonValue(from));
        QVERIFY(!shown.toggle->isWarningShown());
    }

    void relaunch_data()
    {
        QTest::addColumn<QJsonValue>("stored");
        QTest::addColumn<QByteArray>("file"); // empty: no file
        QTest::addColumn<QByteArray>("expectedMode"); // empty: no file after launch
        QTest::addColumn<bool>("rewritten");

        const QByteArray grant = "{\n    \"updatedAt\": \"2026-01-01T00:00:00Z\",\n    \"writeMode\": true\n}\n";
        const QByteArray readOnly = "{\n    \"updatedAt\": \"2026-01-01T00:00:00Z\",\n    \"writeMode\": false\n}\n";
        QTest::newRow("stale grant") << QJsonValue(false) << grant << QByteArray("false") << true;
        QTest::newRow("stale grant, setting absent") << QJsonValue(QJsonValue::Undefined) << grant
                                                     << QByteArray("false") << true;
        QTest::newRow("stale read-only") << QJsonValue(true) << readOnly << QByteArray("true") << true;
        QTest::newRow("cut short") << QJsonValue(false) << QByteArray("{\n    \"writeMo") << QByteArray("false")
                                   << true;
        QTest::newRow("mode not a Bool") << QJsonValue(false) << QByteArray("{\"writeMode\": \"false\"}")
                                         << QByteArray("false") << true;
        QTest::newRow("in agreement") << QJsonValue(true) << grant << QByteArray("true") << false;
        QTest::newRow("no file stays no file") << QJsonValue(true) << QByteArray() << QByteArray() << false;
    }

    // Before the window opens, the file matches the setting (or stays absent).
    void relaunch()
    {
        QFETCH(QJsonValue, stored);
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, expectedMode);
        QFETCH(bool, rewritten);

        Settings::shared().setValue(SettingsKeys::mcpWriteMode, stored);
        if (!file.isEmpty()) {
            QVERIFY(AppPaths::ensureFolder(AppPaths::supportFolder()));
            QVERIFY(AtomicFile::write(flagPath(), file));
        }

        SorvaneApp app;
        QVERIFY(!app.mainWindow());
        if (expectedMode.isEmpty()) {
            QVERIFY(!QFile::exists(flagPath()));
            return;
        }
        const QJsonObject written = flag();
        QCOMPARE(written.value("writeMode"), QJsonValue(expectedMode == "true"));
        QCOMPARE(flagBytes() != file, rewritten);
        if (rewritten)
            QCOMPARE(written.keys(), (QStringList{"updatedAt", "writeMode"}));
    }

    // An outside reader never sees a torn or partial file while the switch flips.
    void outsideReaderSeesWholeFiles()
    {
        ShownToggle shown;
        QVERIFY(shown.show());
        QTemporaryDir scratch;
        const QString stop = scratch.filePath(QStringLiteral("stop"));
        QProcess reader;
        reader.start(QStringLiteral(MCP_FLAG_READER), {flagPath(), stop});
        QVERIFY(reader.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(reader.canReadLine(), 20000);
        QCOMPARE(reader.readLine().trimmed(), QByteArray("ready"));

        // An odd number of flips, so the last value differs from the first.
        for (int i = 0; i < 501; ++i)
            shown.button()->click();
        QCOMPARE(Settings::shared().storedValue(SettingsKeys::mcpWriteMode), QJsonValue(true));

        QFile(stop).open(QIODevice::WriteOnly);
        QVERIFY(reader.waitForFinished(20000));
        const QByteArray report = reader.readAll().trimmed();
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("^reads=(\\d+) bad=(\\d+) last=(\\w+)")).match(QString::fromUtf8(report));
        QVERIFY2(match.hasMatch(), report.constData());
        QVERIFY(match.captured(1).toLong() > 1);
        QVERIFY2(match.captured(2) == QLatin1String("0"), report.constData());
        QCOMPARE(match.captured(3), QStringLiteral("true"));
    }
};

SORVANE_TEST_MAIN(tst_MCPWriteModeToggle)
#include "tst_MCPWriteModeToggle.moc"
