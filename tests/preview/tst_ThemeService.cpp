#include "FileSizeLimit.h"
#include "TestEnvironment.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "platform/AtomicFile.h"
#include "platform/Settings.h"
#include "preview/AppearanceMode.h"
#include "preview/ThemeService.h"
#include "window/ViewMode.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPalette>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <mutex>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

qsizetype logged(const QString &category, const QString &messageStart)
{
    const auto entries = DiagnosticLogBuffer::shared().entries();
    return std::count_if(entries.cbegin(), entries.cend(), [&](const DiagnosticLogEntry &entry) {
        return entry.category == category && entry.msg.startsWith(messageStart);
    });
}

// Records every write the service hands to its save thread, then writes for real.
struct WriteLog {
    std::mutex mutex;
    QList<QByteArray> texts;
    QList<QThread *> threads;
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    // Milliseconds the first write takes, to stand for a slow disk.
    int firstWriteDelayMs = 0;

    ThemeService::Writer writer()
    {
        return [this](const QString &path, const QByteArray &data, QString *error) {
            const int index = started++;
            if (index == 0 && firstWriteDelayMs > 0)
                QThread::msleep(firstWriteDelayMs);
            const bool ok = AtomicFile::write(path, data, error);
            {
                std::lock_guard lock(mutex);
                texts.append(data);
                threads.append(QThread::currentThread());
            }
            ++finished;
            return ok;
        };
    }
};

} // namespace

class tst_ThemeService : public QObject
{
    Q_OBJECT

    QString settingsPath() const { return QDir::tempPath() + QStringLiteral("/theme-settings-%1.json").arg(m_round); }

private Q_SLOTS:
    void init()
    {
        ++m_round;
        QFile::remove(ThemeService::customCSSPath());
    }

    void firstStart()
    {
        Settings settings(settingsPath());
        ThemeService service(settings);
        QCOMPARE(service.selectedProThemeRaw(), QString());
        QVERIFY(!service.useCustomCSS());
        QCOMPARE(service.customCSS(), ThemeService::startingTemplate());
        QCOMPARE(service.customCSS().toUtf8().size(), 227);
        QCOMPARE(service.extraCSS(), QString());
        // The first values are not written back.
        QVERIFY(!settings.contains(QStringLiteral("sorvane.proTheme")));
        QVERIFY(!QFileInfo::exists(ThemeService::customCSSPath()));
    }

    void extraCSSComposition()
    {
        Settings settings(settingsPath());
        ThemeService service(settings);
        QSignalSpy changed(&service, &ThemeService::changed);
        service.setSelectedProThemeRaw(QStringLiteral("Mono"));
        service.setUseCustomCSS(true);
        service.setCustomCSS(QString());
        QCOMPARE(changed.count(), 3);
        QCOMPARE(service.extraCSS(),
                 ThemeService::proThemeStylesheet(ThemeService::ProTheme::Mono) + QStringLiteral("\n/* user custom.css */\n"));
        QVERIFY(service.extraCSS().contains(QStringLiteral("font-size: 13px")));

        service.setSelectedProThemeRaw(QStringLiteral("Neon"));
        service.setCustomCSS(QStringLiteral("h1 { color: red; }"));
        QCOMPARE(service.extraCSS(), QStringLiteral("\n/* user custom.css */\nh1 { color: red; }"));

        service.setSelectedProThemeRaw(QString());
        service.setUseCustomCSS(false);
        QCOMPARE(service.extraCSS(), QString());
        // The empty choice is stored as such.
        QCOMPARE(settings.storedValue(QStringLiteral("sorvane.proTheme")), QJsonValue(QString()));
        QCOMPARE(settings.storedValue(QStringLiteral("sorvane.useCustomCSS")), QJsonValue(false));
    }

    void valuesSurviveARestart()
    {
        {
            Settings settings(settingsPath());
            ThemeService service(settings);
            service.setSelectedProThemeRaw(QStringLiteral("Serif Pro"));
            service.setUseCustomCSS(true);
            service.setCustomCSS(QStringLiteral("p { color: #123456; } /* é */"));
        }
        Settings settings(settingsPath());
        ThemeService service(settings);
        QCOMPARE(service.selectedProThemeRaw(), QStringLiteral("Serif Pro"));
        QVERIFY(service.useCustomCSS());
        QCOMPARE(service.customCSS(), QStringLiteral("p { color: #123456; } /* é */"));
    }

    void failedSaveKeepsTextAndFile()
    {
        Settings settings(settingsPath());
        ThemeService service(settings);
        service.setCustomCSS(QStringLiteral("kept"));
        service.flushPendingSave();
        const QString folder = QFileInfo(ThemeService::customCSSPath()).absolutePath();
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (QFileInfo(folder).isWritable()) {
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QSKIP("running with permissions that ignore a read-only folder");
        }
        service.setCustomCSS(QStringLiteral("lost on relaunch"));
        service.flushPendingSave();
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(service.customCSS(), QStringLiteral("lost on relaunch"));
        QFile file(ThemeService::customCSSPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("kept"));
    }

    void revealWritesTheFileFirst()
    {
        Settings settings(settingsPath());
        ThemeService service(settings);
        QString revealed;
        service.setRevealerForTesting([&](const QString &path) { revealed = path; });
        service.revealCustomCSSInFinder();
        QCOMPARE(revealed, ThemeService::customCSSPath());
        QFile file(revealed);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), ThemeService::startingTemplate());
    }

    // Typing must not wait for the disk: the text is written once typing pauses, on
    // another thread, and the previews reload once for the whole burst.
    void typingSavesOnceOffTheGuiThread()
    {
        Settings settings(settingsPath());
        ThemeService service(settings);
        WriteLog writes;
        service.setWriterForTesting(writes.writer());
        service.setUseCustomCSS(true);
        QSignalSpy reloads(&service, &ThemeService::extraCSSChanged);
        QString text;
        for (int i = 0; i < 100; ++i) {
            text += QChar(u'a' + i % 26);
            service.setCustomCSS(text);
        }
        QCOMPARE(service.extraCSS(), QStringLiteral("\n/* user custom.css */\n") + text);
        QVERIFY(QTest::qWaitFor([&] { return writes.finished == 1; }));
        QCOMPARE(reloads.count(), 1);
        service.flushPendingSave();
        std::lock_guard lock(writes.mutex);
        QCOMPARE(writes.texts, QList<QByteArray>{text.toUtf8()});
        QVERIFY(writes.threads.first() != QThread::currentThread());
        QCOMPARE(fileBytes(ThemeService::customCSSPath()), text.toUtf8());
    }

    // Quitting right after the last keystroke: the flush the application runs at
    // quit (and the service's end) puts exactly the typed text on disk.
    void lastKeystrokesSurviveQuit_data()
    {
        QTest::addColumn<bool>("byDestruction");
        QTest::newRow("flush at quit") << false;
        QTest::newRow("service ends") << true;
    }

    void lastKeystrokesSurviveQuit()
    {
        QFETCH(bool, byDestruction);
        const QString alphabet = QStringLiteral("body{é→üß} ∑ ħ\n");
        QString text;
        {
            Settings settings(settingsPath());
            ThemeService service(settings);
            while (text.size() < 200) {
                text += alphabet.at(text.size() % alphabet.size());
                service.setCustomCSS(text);
            }
            if (!byDestruction) {
                service.flushPendingSave();
                QCOMPARE(QString::fromUtf8(fileBytes(ThemeService::customCSSPath())), text);
            }
        }
        QCOMPARE(QString::fromUtf8(fileBytes(ThemeService::customCSSPath())), text);
    }

    void olderTextNeverLandsLast()
    {
        Settings settings(settingsPath());
        ThemeService service(settings);
        WriteLog writes;
        writes.firstWriteDelayMs = 300;
        service.setWriterForTesting(writes.writer());
        service.setCustomCSS(QStringLiteral("older"));
        QVERIFY(QTest::qWaitFor([&] { return writes.started == 1; }));
        // The slow first write is still going when the newer text is saved.
        service.setCustomCSS(QStringLiteral("newer"));
        service.flushPendingSave();
        QVERIFY(QTest::qWaitFor([&] { return writes.finished == 2; }));
        QCOMPARE(fileBytes(ThemeService::customCSSPath()), QByteArray("newer"));
        std::lock_guard lock(writes.mutex);
        QCOMPARE(writes.texts, (QList<QByteArray>{"older", "newer"}));
    }

    void failedWriteLogsAndKeepsText()
    {
        Settings settings(settingsPath());
        ThemeService service(settings);
        service.setCustomCSS(QStringLiteral("small"));
        service.flushPendingSave();
        const QString big = QString(200, u'x');
        const QString warning = QStringLiteral("custom CSS save failed; in-memory theme intact but will not survive relaunch");
        const qsizetype warningsBefore = logged(QStringLiteral("persist"), warning);
        {
            FileSizeLimit limit(64);
            service.setCustomCSS(big);
            service.flushPendingSave();
        }
        QCOMPARE(logged(QStringLiteral("persist"), warning), warningsBefore + 1);
        QCOMPARE(service.customCSS(), big);
        QCOMPARE(fileBytes(ThemeService::customCSSPath()), QByteArray("small"));
    }

    // A custom.css in another encoding is the user's CSS too: it goes aside before
    // the first save rather than being overwritten.
    void unreadableFileIsKeptAside()
    {
        const QString path = ThemeService::customCSSPath();
        const QString folder = QFileInfo(path).absolutePath();
        QDir().mkpath(folder);
        const QByteArray latin1 = "h1::after { content: \"caf\xe9 cr\xe8me\"; }\n";
        for (const QString &old : QDir(folder).entryList({QStringLiteral("custom.css.unreadable-*")}))
            QFile::remove(folder + QLatin1Char('/') + old);
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(latin1);
        }
        Settings settings(settingsPath());
        ThemeService service(settings);
        QCOMPARE(service.customCSS(), ThemeService::startingTemplate());
        QCOMPARE(fileBytes(path), latin1);

        service.setCustomCSS(QStringLiteral("p { color: teal; }"));
        service.flushPendingSave();
        QCOMPARE(fileBytes(path), QByteArray("p { color: teal; }"));
        const QStringList aside = QDir(folder).entryList({QStringLiteral("custom.css.unreadable-*")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(fileBytes(folder + QLatin1Char('/') + aside.first()), latin1);
        QCOMPARE(logged(QStringLiteral("persist"), QStringLiteral("custom.css was not UTF-8; kept aside as custom.css.unreadable-")), 1);

        // Only the file that was there at start goes aside.
        service.setCustomCSS(QStringLiteral("p { color: navy; }"));
        service.flushPendingSave();
        QCOMPARE(QDir(folder).entryList({QStringLiteral("custom.css.unreadable-*")}).size(), 1);
        QCOMPARE(fileBytes(path), QByteArray("p { color: navy; }"));
    }

    void rawValues_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<bool>("proTheme");
        QTest::addColumn<bool>("viewMode");
        QTest::addColumn<bool>("appearance");
        QTest::newRow("Serif Pro") << "Serif Pro" << true << false << false;
        QTest::newRow("serif pro") << "serif pro" << false << false << false;
        QTest::newRow("empty") << "" << false << false << false;
        QTest::newRow("Split") << "Split" << false << true << false;
        QTest::newRow("split") << "split" << false << false << false;
        QTest::newRow("Preview") << "Preview" << false << true << false;
        QTest::newRow("Dark") << "Dark" << false << false << true;
        QTest::newRow("dark") << "dark" << false << false << false;
    }

    void rawValues()
    {
        QFETCH(QString, raw);
        QFETCH(bool, proTheme);
        QFETCH(bool, viewMode);
        QFETCH(bool, appearance);
        QCOMPARE(ThemeService::proThemeFromRawValue(raw).has_value(), proTheme);
        QCOMPARE(viewModeFromRawValue(raw).has_value(), viewMode);
        QCOMPARE(appearanceModeFromRawValue(raw).has_value(), appearance);
    }

    void storedModesFallBackToDefaults()
    {
        Settings settings(settingsPath());
        settings.setValue(QStringLiteral("appearanceMode"), QStringLiteral("Sepia"));
        settings.setValue(QStringLiteral("preferredViewMode"), QStringLiteral("split"));
        QCOMPARE(storedAppearanceMode(settings), AppearanceMode::Auto);
        QCOMPARE(storedViewMode(settings), ViewMode::Split);
        storeViewMode(settings, ViewMode::Editor);
        QCOMPARE(settings.storedValue(QStringLiteral("preferredViewMode")), QJsonValue(QStringLiteral("Editor")));
    }

    void autoFollowsTheDesktopPalette()
    {
        QPalette light;
        light.setColor(QPalette::Window, QColor(0xef, 0xef, 0xef));
        light.setColor(QPalette::WindowText, Qt::black);
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x2a, 0x2a, 0x2a));
        dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
        QCOMPARE(resolvedColorScheme(AppearanceMode::Auto, light), QStringLiteral("light"));
        QCOMPARE(resolvedColorScheme(AppearanceMode::Auto, dark), QStringLiteral("dark"));
        QCOMPARE(resolvedColorScheme(AppearanceMode::Light, dark), QStringLiteral("light"));
        QCOMPARE(resolvedColorScheme(AppearanceMode::Dark, light), QStringLiteral("dark"));
    }

private:
    int m_round = 0;
};

SORVANE_TEST_MAIN(tst_ThemeService)
#include "tst_ThemeService.moc"
