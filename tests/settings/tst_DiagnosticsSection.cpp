#include "TestEnvironment.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "documents/DocumentManager.h"
#include "platform/Settings.h"
#include "platform/SystemLog.h"
#include "settings/DiagnosticErrorModal.h"
#include "settings/DiagnosticSuccessModal.h"
#include "settings/DiagnosticsSection.h"
#include "settings/OptOutNoteSheet.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

Q_DECLARE_METATYPE(DiagnosticError)

// The shell's side as a script: reports exist, the session is what the test says,
// and each upload waits until the test answers it.
class ScriptedServices : public SettingsServices
{
public:
    bool reportsAvailable() const override { return true; }
    bool hasAccountSession() const override { return signedIn; }
    void uploadManualReport(int openDocumentCount, std::function<void(const UploadResult &)> done) override
    {
        uploads.append(openDocumentCount);
        pending = std::move(done);
    }
    // Answers the upload in flight, as the uploader does later on the GUI thread.
    void answer(const UploadResult &result)
    {
        auto done = std::move(pending);
        pending = nullptr;
        QVERIFY(done);
        done(result);
    }

    bool signedIn = true;
    QList<int> uploads;
    std::function<void(const UploadResult &)> pending;
};

// A window holding the section, as the settings window hosts it: always dark.
struct SectionWindow {
    explicit SectionWindow(SettingsServices &services)
        : section(new DiagnosticsSection(services, documents, &window))
    {
        QPalette dark = window.palette();
        dark.setColor(QPalette::Window, QColor(0x26, 0x26, 0x28));
        dark.setColor(QPalette::WindowText, QColor(0xe8, 0xe8, 0xea));
        window.setPalette(dark);
        window.resize(560, 420);
        window.show();
    }
    QWidget window;
    DocumentManager documents;
    DiagnosticsSection *section;
};

class tst_DiagnosticsSection : public QObject
{
    Q_OBJECT

    QStringList m_systemLog;

private Q_SLOTS:
    void initTestCase()
    {
        SystemLog::setObserver([this](SystemLog::Type, const QString &category, const QString &line) {
            if (category == QLatin1String("diagnostics"))
                m_systemLog.append(line);
        });
    }

    void init()
    {
        m_systemLog.clear();
        for (const char *key : {"tolvern.error_telemetry_enabled", "tolvern.error_telemetry_opt_out_shown",
                                "sorvane.diagnosticsEnabled", "sorvane.verboseDiagnosticsEnabled",
                                "sorvane.verboseDiagnosticsEnabledAt"})
            Settings::shared().remove(QString::fromLatin1(key));
    }

    void reportRowFollowsServices()
    {
        SettingsServices defaults;
        SectionWindow plain(defaults);
        QVERIFY(!plain.section->reportRow()->isVisible());

        ScriptedServices scripted;
        scripted.signedIn = false;
        SectionWindow withReports(scripted);
        QVERIFY(withReports.section->reportRow()->isVisible());
        QVERIFY(!withReports.section->sendButton()->isVisible());
        QVERIFY(withReports.section->signInNote()->isVisible());
        QCOMPARE(withReports.section->signInNote()->text(), QStringLiteral("Sign in to send a diagnostic report."));

        scripted.signedIn = true;
        Q_EMIT scripted.accountSessionChanged();
        QVERIFY(withReports.section->sendButton()->isVisible());
        QVERIFY(!withReports.section->signInNote()->isVisible());
    }

    void quickClicksSendOneReport()
    {
        ScriptedServices services;
        SectionWindow ui(services);
        ui.documents.newDocument();
        ui.documents.newDocument();
        QPushButton *button = ui.section->sendButton();
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::mouseClick(button, Qt::LeftButton);
        ui.section->send();
        QCOMPARE(services.uploads, QList<int>{2});
        QVERIFY(ui.section->isSending());
        QVERIFY(!button->isEnabled());
        QCOMPARE(button->text(), QStringLiteral("Sending…"));

        services.answer(QStringLiteral("AB12"));
        QVERIFY(!ui.section->isSending());
        QVERIFY(button->isEnabled());
        QCOMPARE(button->text(), QStringLiteral("Send Diagnostic Report"));
    }

    void successShowsAndCopiesTheCode()
    {
        ScriptedServices services;
        SectionWindow ui(services);
        QTest::mouseClick(ui.section->sendButton(), Qt::LeftButton);
        services.answer(QStringLiteral("K7-93QX"));
        QVERIFY(m_systemLog.contains(QStringLiteral("Diagnostic report sent. code=K7-93QX")));

        DiagnosticSuccessModal *modal = ui.section->successModal();
        QVERIFY(modal);
        QVERIFY(QTest::qWaitForWindowExposed(modal));
        QCOMPARE(modal->windowModality(), Qt::WindowModal);
        // A dialog is a window of its own: it must not fall back to a light palette.
        QCOMPARE(modal->palette().color(QPalette::Window), ui.window.palette().color(QPalette::Window));
        QCOMPARE(modal->findChild<QLabel *>(QStringLiteral("reportCode"))->text(), QStringLiteral("K7-93QX"));

        QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
        // Return is the copy button's.
        QTest::keyClick(modal, Qt::Key_Return);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("K7-93QX"));
        QCOMPARE(modal->copyButton()->text(), QStringLiteral("Copied"));
        QVERIFY(modal->didCopy());
        // Still "Copied" once the events already due have run: it lasts, then returns.
        QCoreApplication::processEvents();
        QCOMPARE(modal->copyButton()->text(), QStringLiteral("Copied"));
        QVERIFY(QTest::qWaitFor([&] { return modal->copyButton()->text() == QStringLiteral("Copy code"); }, 5000));
        QVERIFY(!modal->didCopy());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("K7-93QX"));

        QTest::mouseClick(modal->doneButton(), Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return !ui.section->successModal(); }));
    }

    void failuresShowTheirText_data()
    {
        QTest::addColumn<DiagnosticError>("error");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("logged");
        QTest::newRow("serverUnknown") << DiagnosticError::of(DiagnosticError::Kind::ServerUnknown)
                                       << QStringLiteral("Something went wrong. Please try again.")
                                       << QStringLiteral("Diagnostic report failed: ");
        QTest::newRow("notSignedIn") << DiagnosticError::of(DiagnosticError::Kind::NotSignedIn)
                                     << QStringLiteral("Sign in to sorv.ane before sending a report.")
                                     << QStringLiteral("Diagnostic report failed: Sign in to sorv.ane before sending a report.");
        QTest::newRow("server message") << DiagnosticError::server(QStringLiteral("quota")) << QStringLiteral("quota")
                                        << QStringLiteral("Diagnostic report failed: quota");
        QTest::newRow("payloadTooLarge")
            << DiagnosticError::of(DiagnosticError::Kind::PayloadTooLarge)
            << QStringLiteral("Diagnostic report exceeded the size limit. Please try again.")
            << QStringLiteral("Diagnostic report failed: Diagnostic report exceeded the size limit. Please try again.");
    }

    void failuresShowTheirText()
    {
        QFETCH(DiagnosticError, error);
        QFETCH(QString, shown);
        QFETCH(QString, logged);
        ScriptedServices services;
        SectionWindow ui(services);
        QTest::mouseClick(ui.section->sendButton(), Qt::LeftButton);
        services.answer(error);
        DiagnosticErrorModal *modal = ui.section->errorModal();
        QVERIFY(modal);
        QVERIFY(!ui.section->successModal());
        QCOMPARE(modal->palette().color(QPalette::Window), ui.window.palette().color(QPalette::Window));
        QCOMPARE(modal->findChild<QLabel *>(QStringLiteral("errorMessage"))->text(), shown);
        QCOMPARE(m_systemLog.size(), 1);
        QVERIFY2(m_systemLog.first().startsWith(logged), qPrintable(m_systemLog.first()));
        QVERIFY(!ui.section->isSending());
    }

    void retryStartsAgain()
    {
        ScriptedServices services;
        SectionWindow ui(services);
        QTest::mouseClick(ui.section->sendButton(), Qt::LeftButton);
        services.answer(DiagnosticError::of(DiagnosticError::Kind::Unavailable));
        QPointer<DiagnosticErrorModal> modal = ui.section->errorModal();
        QVERIFY(modal);
        QVERIFY(QTest::qWaitForWindowExposed(modal));
        QTest::keyClick(modal, Qt::Key_Return);
        QVERIFY(QTest::qWaitFor([&] { return !modal; }));
        QCOMPARE(services.uploads.size(), 2);
        QVERIFY(ui.section->isSending());
        services.answer(QStringLiteral("OK42"));
        QVERIFY(ui.section->successModal());
        QVERIFY(!ui.section->errorModal());
    }

    void closingWhileSendingOpensNothing_data()
    {
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("success") << true;
        QTest::newRow("failure") << false;
    }

    void closingWhileSendingOpensNothing()
    {
        QFETCH(bool, succeeds);
        ScriptedServices services;
        SectionWindow ui(services);
        QVERIFY(ui.section->isOnScreen());
        QTest::mouseClick(ui.section->sendButton(), Qt::LeftButton);
        ui.window.close();
        QVERIFY(!ui.section->isOnScreen());
        if (succeeds)
            services.answer(QStringLiteral("GONE1"));
        else
            services.answer(DiagnosticError::of(DiagnosticError::Kind::MalformedResponse));
        QVERIFY(!ui.section->successModal());
        QVERIFY(!ui.section->errorModal());
        QCOMPARE(m_systemLog.size(), 1);

        ui.window.show();
        QVERIFY(ui.section->isOnScreen());
        QVERIFY(ui.section->sendButton()->isEnabled());
        QTest::mouseClick(ui.section->sendButton(), Qt::LeftButton);
        QCOMPARE(services.uploads.size(), 2);
    }

    void consentNote_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<bool>("byReturnKey");
        QTest::newRow("Keep sending") << true << false;
        QTest::newRow("Return keeps sending") << true << true;
        QTest::newRow("Turn off anyway") << false << false;
    }

    void consentNote()
    {
        QFETCH(bool, keep);
        QFETCH(bool, byReturnKey);
        SettingsServices services; // the default keeps the library's keys in the settings
        SectionWindow ui(services);
        QCheckBox *consent = ui.section->errorReportsSwitch();
        QVERIFY(consent->isChecked());

        consent->click();
        QPointer<OptOutNoteSheet> note = ui.section->optOutNote();
        QVERIFY(note);
        QCOMPARE(note->windowModality(), Qt::WindowModal);
        QCOMPARE(note->palette().color(QPalette::Window), ui.window.palette().color(QPalette::Window));
        QVERIFY(consent->isChecked());
        QVERIFY(services.errorTelemetryEnabled());

        if (byReturnKey) {
            QVERIFY(QTest::qWaitForWindowExposed(note));
            QTest::keyClick(note, Qt::Key_Return);
        } else {
            QTest::mouseClick(keep ? note->keepButton() : note->turnOffButton(), Qt::LeftButton);
        }
        QVERIFY(QTest::qWaitFor([&] { return !note; }));
        QCOMPARE(consent->isChecked(), keep);
        QCOMPARE(Settings::shared().storedValue(QStringLiteral("tolvern.error_telemetry_opt_out_shown")),
                 QJsonValue(true));
        if (!keep) {
            QCOMPARE(Settings::shared().storedValue(QStringLiteral("tolvern.error_telemetry_enabled")),
                     QJsonValue(false));
            consent->click();
            QVERIFY(consent->isChecked());
        }

        // From now on a switch-off takes effect at once, without the note.
        consent->click();
        QVERIFY(!ui.section->optOutNote());
        QVERIFY(!consent->isChecked());
        QVERIFY(!services.errorTelemetryEnabled());
        QCOMPARE(Settings::shared().storedValue(QStringLiteral("tolvern.error_telemetry_enabled")), QJsonValue(false));
    }

    void switchesFollowTheirStore()
    {
        SettingsServices services;
        SectionWindow ui(services);
        QCheckBox *automatic = ui.section->automaticReportsSwitch();
        QCheckBox *verbose = ui.section->verboseSwitch();
        QVERIFY(automatic->isChecked());
        QVERIFY(!verbose->isChecked());

        automatic->click();
        QCOMPARE(Settings::shared().storedValue(QStringLiteral("sorvane.diagnosticsEnabled")), QJsonValue(false));
        Settings::shared().setValue(QStringLiteral("sorvane.diagnosticsEnabled"), true);
        QVERIFY(automatic->isChecked());

        verbose->click();
        QVERIFY(DiagnosticLogBuffer::isVerboseActive());
        QVERIFY(verbose->isChecked());
        DiagnosticLogBuffer::setVerbose(false);
        QVERIFY(!verbose->isChecked());

        // A flag switched on more than a day ago reads as off.
        Settings::shared().setValue(QStringLiteral("sorvane.verboseDiagnosticsEnabledAt"),
                                    double(QDateTime::currentSecsSinceEpoch() - 90000));
        Settings::shared().setValue(QStringLiteral("sorvane.verboseDiagnosticsEnabled"), true);
        QVERIFY(!verbose->isChecked());
    }
};

SORVANE_TEST_MAIN(tst_DiagnosticsSection)
#include "tst_DiagnosticsSection.moc"
