#include "TestEnvironment.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "shell/ShellAccountLibrary.h"

#include "ErrorFirehoseClient.h"
#include "HttpPeer.h"

#include <QApplication>
#include <QMainWindow>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString euRegionKey = QStringLiteral("tolvern.error_telemetry_eu_region");
}

class tst_ShellAccountLibrary : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<Settings> m_settings;

private Q_SLOTS:
    void init()
    {
        m_settings = std::make_unique<Settings>(m_folder.filePath(QStringLiteral("settings-%1.json")
                                                                      .arg(QTest::currentTestFunction())));
    }

    // The Help & Diagnostics switch and the library read one settings entry.
    void consentLivesInTheSettings()
    {
        ShellAccountLibrary library(*m_settings);
        QVERIFY(library.errorTelemetryEnabled());
        QVERIFY(library.shouldShowOptOutNote());

        m_settings->setValue(euRegionKey, true);
        QVERIFY(!library.errorTelemetryEnabled());
        library.setErrorTelemetryEnabled(true);
        QCOMPARE(m_settings->storedValue(SettingsKeys::errorTelemetryEnabled), QJsonValue(true));
        QVERIFY(library.errorTelemetryEnabled());
        m_settings->setValue(SettingsKeys::errorTelemetryEnabled, false);
        QVERIFY(!library.errorTelemetryEnabled());

        library.markOptOutNoteShown();
        QCOMPARE(m_settings->storedValue(SettingsKeys::errorTelemetryOptOutShown), QJsonValue(true));
        QVERIFY(!library.shouldShowOptOutNote());
    }

    void regionProbeAnswerLandsInTheSettings()
    {
        HttpPeer peer;
        peer.route("/api/geo", {200, R"({"eu":true})"});
        ShellAccountLibrary library(*m_settings);
        library.startRegionProbe(peer.url(QStringLiteral("/")));
        QVERIFY(QTest::qWaitFor([this] { return m_settings->contains(euRegionKey); }, 30000));
        QCOMPARE(m_settings->storedValue(euRegionKey), QJsonValue(true));
        QVERIFY(!library.errorTelemetryEnabled());
    }

    // Warnings and errors of the app's diagnostic log reach the identity service
    // folded per signal, with their count and category; info lines never do.
    void loggedWarningsArriveCoalesced()
    {
        HttpPeer peer;
        peer.route("/api/error-events", {202, "{}"}, "POST");
        ShellAccountLibrary library(*m_settings);
        library.setErrorTelemetryEnabled(true);
        AccountLibrarySeam::TelemetryContext context{QStringLiteral("sorvane"), QStringLiteral("linux"),
                                                     QStringLiteral("1.1.18"), QStringLiteral("6.1.0"),
                                                     QStringLiteral("install-1"), peer.url(QStringLiteral("/"))};
        library.configureErrorTelemetry(context);

        DiagnosticLogBuffer &log = DiagnosticLogBuffer::shared();
        for (int i = 0; i < 3; ++i)
            log.add(DiagnosticLogBuffer::Level::Warn, QStringLiteral("export"), QStringLiteral("Export to PDF failed"));
        log.add(DiagnosticLogBuffer::Level::Info, QStringLiteral("export"), QStringLiteral("Export started"));
        log.add(DiagnosticLogBuffer::Level::Error, QStringLiteral("io"), QStringLiteral("Disk full"));

        ErrorFirehoseClient::shared().flushNow();
        QVERIFY(QTest::qWaitFor([&peer] { return peer.requestCount("/api/error-events") == 1; }, 30000));
        const QJsonObject body = QJsonDocument::fromJson(peer.requests().first().body).object();
        QCOMPARE(body.value("app_slug").toString(), QStringLiteral("sorvane"));
        QCOMPARE(body.value("platform").toString(), QStringLiteral("linux"));
        QCOMPARE(body.value("os_version").toString(), QStringLiteral("6.1.0"));
        QMap<QString, QJsonObject> byTemplate;
        for (const QJsonValue &event : body.value("events").toArray())
            byTemplate.insert(event.toObject().value("message_template").toString(), event.toObject());
        QCOMPARE(byTemplate.keys(),
                 (QStringList{"disk full: category=io", "export to pdf failed: category=export"}));
        const QJsonObject warning = byTemplate.value("export to pdf failed: category=export");
        QCOMPARE(warning.value("count").toInt(), 3);
        QCOMPARE(warning.value("category").toString(), QStringLiteral("export"));
        QCOMPARE(warning.value("severity").toString(), QStringLiteral("warn"));
        const QJsonObject error = byTemplate.value("disk full: category=io");
        QCOMPARE(error.value("count").toInt(), 1);
        QCOMPARE(error.value("severity").toString(), QStringLiteral("error"));
    }

    // The browser's return brings the main window forward, not the window in front.
    void authReturnBringsTheMainWindowForward()
    {
        ShellAccountLibrary library(*m_settings);
        QMainWindow mainWindow;
        mainWindow.setObjectName(QStringLiteral("main"));
        mainWindow.show();
        QWidget other;
        other.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);

        library.activateForAuthReturn();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(&mainWindow));
    }

    // Once the library is gone the log no longer feeds the client.
    void destroyingUnhooksTheLog()
    {
        {
            ShellAccountLibrary library(*m_settings);
            library.setErrorTelemetryEnabled(true);
        }
        ErrorFirehoseClient::shared().flushNow();
        const int before = int(ErrorFirehoseClient::shared().state().buffer.size());
        DiagnosticLogBuffer::shared().add(DiagnosticLogBuffer::Level::Warn, QStringLiteral("export"),
                                          QStringLiteral("After the library"));
        QCOMPARE(int(ErrorFirehoseClient::shared().state().buffer.size()), before);
    }
};

SORVANE_TEST_MAIN(tst_ShellAccountLibrary)
#include "tst_ShellAccountLibrary.moc"
