#pragma once

#include "AppDelegate.h"
#include "LaunchSeams.h"
#include "SorvaneCommands.h"
#include "documents/encryption/DocumentEncryptionCommands.h"
#include "export/DocumentExportCommands.h"
#include "window/MainWindow.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

class SettingsServices;
class SettingsView;
class UpdaterService;

// The application: builds everything in start-up order (the delegate and its
// DocumentManager first, then the account library's telemetry, region probe and the
// account objects), creates the main window and enters the app. Owns the
// distraction-free toggle. One per process; tests build several in turn.
class SorvaneApp : public QObject
{
    Q_OBJECT
public:
    explicit SorvaneApp(const LaunchSeams &seams = {},
                        const AppDelegate::LaunchEnvironment &environment = AppDelegate::currentEnvironment(),
                        QObject *parent = nullptr);
    ~SorvaneApp() override;

    // Process-wide signal set-up, first thing in main: a write past the file-size
    // limit (ulimit -f) then fails with an error instead of killing the editor.
    static void prepareProcess();

    // The identity service the account library and its telemetry talk to.
    static QUrl identityServiceURL();
    // The kernel's version as three numbers, "6.1.0".
    static QString osVersionString();

    AppDelegate &delegate() const { return *m_delegate; }
    MainWindow *mainWindow() const { return m_mainWindow; }
    // The menu bar's commands, made with the main window.
    SorvaneCommands *commands() const { return m_commands; }
    // The one updater, made on first use.
    UpdaterService &updaterService();
    // Draws the pages of the export, print and copy commands (not owned; made before
    // the application so that exports still running outlive the document manager).
    void setDocumentExporter(DocumentExporter *exporter);
    DocumentExportCommands *exportCommands() const { return m_exportCommands; }
    DocumentEncryptionCommands *encryptionCommands() const { return m_encryptionCommands; }

    // Creates the main window (hidden), finishes launching, restores the previous
    // session, opens the arguments (absolute paths or URLs) and enters the app.
    void launch(const QStringList &arguments = {});
    // Arguments another process handed over: opened, then the window comes forward.
    void openArguments(const QStringList &arguments);
    // The View menu's distraction-free command: flips the setting, full screen follows.
    void toggleDistractionFree();
    // The application's name, version and build number in an alert.
    void showAboutWindow();
    // The main commands' keys in an alert, as the menus have them now.
    void showKeyboardShortcutsWindow();
    // The Settings command: opens the settings window, or brings it forward when open.
    void showSettingsWindow();
    // The settings window while it is open, else null.
    SettingsView *settingsWindow() const;

private:
    AppDelegate *m_delegate = nullptr;
    QPointer<MainWindow> m_mainWindow;
    QPointer<SorvaneCommands> m_commands;
    UpdaterService *m_updaterService = nullptr;
    SettingsServices *m_settingsServices = nullptr;
    QPointer<SettingsView> m_settingsWindow;
    QPointer<DocumentExporter> m_exporter;
    QPointer<DocumentExportCommands> m_exportCommands;
    QPointer<DocumentEncryptionCommands> m_encryptionCommands;
};
