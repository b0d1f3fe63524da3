#include "TestEnvironment.h"

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
        const QString folder = QFileInfo(ThemeService::customCSSPath()).absolutePath();
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (QFileInfo(folder).isWritable()) {
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QSKIP("running with permissions that ignore a read-only folder");
        }
        service.setCustomCSS(QStringLiteral("lost on relaunch"));
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
