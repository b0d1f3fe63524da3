#include "SorvaneApp.h"

#include "QuitGate.h"
#include "ShellSettingsServices.h"
#include "TolvernMenuChrome.h"
#include "SorvaneCommands.h"
#include "UpdaterService.h"

#include "account/FreshLaunchToast.h"
#include "account/LoginFirstStep.h"
#include "diagnostics/DiagnosticEndpoints.h"
#include "documents/Constants.h"
#include "export/DocumentExporter.h"
#include "documents/DocumentManager.h"
#include "documents/DocumentSessionKeeper.h"
#include "platform/AlertPresenter.h"
#include "platform/BundleInfo.h"
#include "platform/PlatformConstants.h"
#include "platform/Settings.h"
#include "preview/ThemeService.h"
#include "settings/MCPWriteModeToggle.h"
#include "settings/SettingsView.h"
#include "window/MainView.h"
#include "window/MainWindow.h"

#include <QSysInfo>
#include <QVersionNumber>

#include <csignal>

namespace {
const QString appSlug = QStringLiteral("sorvane");
} // namespace

void SorvaneApp::prepareProcess()
{
    // EFBIG reaches AtomicFile and the save reports it; the signal's default would
    // end the process with every unsaved tab.
    std::signal(SIGXFSZ, SIG_IGN);
}

SorvaneApp::SorvaneApp(const LaunchSeams &seams, const AppDelegate::LaunchEnvironment &environment, QObject *parent)
    : QObject(parent)
{
    // The delegate comes first, so the DocumentManager exists before any window.
    m_delegate = new AppDelegate(seams, environment, this);
    const LaunchSeams &filled = m_delegate->seams();

    // Distraction-free mode never survives a relaunch.
    Settings::shared().setDistractionFree(false);
    // The MCP server must not find a stale grant from a run whose last write failed.
    MCPWriteModeToggle::reconcileAtLaunch();

    AccountLibrarySeam &library = *filled.accountLibrary;
    AccountLibrarySeam::TelemetryContext context;
    context.appSlug = appSlug;
    context.platform = QString::fromLatin1(PlatformConstants::platform);
    context.appVersion = Constants::version();
    context.osVersion = osVersionString();
    context.installId = library.installID(appSlug);
    context.identityURL = identityServiceURL();
    library.configureErrorTelemetry(context);
    library.startErrorTelemetry();
    library.startRegionProbe(identityServiceURL());

    AccountIntegrationSeam &account = *filled.accountIntegration;
    account.createBridge();
    account.attachSession();
    account.makeSignInState();
}

SorvaneApp::~SorvaneApp()
{
    // The commands go before the window: a closing window moves the focus, and their
    // refresh must not read a window that is half torn down.
    delete m_commands.data();
    delete m_settingsWindow.data();
    delete m_mainWindow.data();
}

QUrl SorvaneApp::identityServiceURL()
{
    return DiagnosticEndpoints::identityOrigin();
}

QString SorvaneApp::osVersionString()
{
    const QVersionNumber version = QVersionNumber::fromString(QSysInfo::kernelVersion());
    return QStringLiteral("%1.%2.%3").arg(version.majorVersion()).arg(version.minorVersion()).arg(version.microVersion());
}

UpdaterService &SorvaneApp::updaterService()
{
    if (!m_updaterService)
        m_updaterService = new UpdaterService(m_delegate->seams().diagnostics, this);
    return *m_updaterService;
}

void SorvaneApp::setDocumentExporter(DocumentExporter *exporter)
{
    m_exporter = exporter;
    // The copies look like the preview: the same extra theme and custom CSS.
    if (m_exporter)
        m_exporter->setExtraCSSSource([] { return ThemeService::shared().extraCSS(); });
}

void SorvaneApp::launch(const QStringList &arguments)
{
    DocumentManager &manager = m_delegate->documentManager();
    if (!m_mainWindow) {
        m_mainWindow = new MainWindow(manager, [gate = &m_delegate->quitGate()] { return gate->requestQuit(); });
        if (!m_encryptionCommands)
            m_encryptionCommands = new DocumentEncryptionCommands(manager, this);
        if (m_exporter && !m_exportCommands)
            m_exportCommands = new DocumentExportCommands(manager, *m_exporter, this);
        m_mainWindow->mainView()->setExportCommands(m_exportCommands);
        // A launch that brought the account back says so once in the window's corner.
        if (TolvernAccountBridge *bridge = m_delegate->seams().accountIntegration->bridge())
            new FreshLaunchToast(*bridge, m_mainWindow->centralWidget());
        m_delegate->seams().workspace->attachMainWindow(m_mainWindow);
        m_commands = new SorvaneCommands(*this, *m_mainWindow);
        // The workspace sidebar needs room beside the document when it turns on.
        connect(&Settings::shared(), &Settings::showWorkspaceChanged, this, [this](bool on) {
            if (on)
                m_delegate->ensureWorkspaceWidth();
        });
    }
    m_delegate->registerMainWindow(m_mainWindow);
    TolvernMenuChrome::installSanitizer(m_mainWindow->menuBar());
    m_delegate->applicationDidFinishLaunching();
    // The previous session comes back before the files named on the command line are
    // opened: a file argument must not make the next session save drop unsaved tabs.
    manager.sessionKeeper().restoreSessionIfNeeded();
    m_delegate->openArguments(arguments);
    m_delegate->enterApp();
}

void SorvaneApp::openArguments(const QStringList &arguments)
{
    m_delegate->openArguments(arguments);
    m_delegate->enterApp();
}

void SorvaneApp::toggleDistractionFree()
{
    Settings &settings = Settings::shared();
    const bool on = !settings.distractionFree();
    settings.setDistractionFree(on);
    QMainWindow *window = m_delegate->mainWindow();
    if (!window)
        return;
    if (window->isFullScreen() != on) {
        if (on)
            window->showFullScreen();
        else
            window->showNormal();
    }
    m_delegate->seams().diagnostics->track(QStringLiteral("fullscreen_toggled"), {{QStringLiteral("on"), on}});
}

void SorvaneApp::showAboutWindow()
{
    const QString version = BundleInfo::string(QStringLiteral("CFBundleShortVersionString")).value_or(QStringLiteral("1.0"));
    const QString build = BundleInfo::string(QStringLiteral("CFBundleVersion")).value_or(QStringLiteral("1"));
    AlertRequest request;
    request.messageText = QStringLiteral("sorv.ane");
    request.informativeText = QStringLiteral("Version %1 (%2)\n\nA native markdown editor for documents that ship.")
                                  .arg(version, build);
    request.buttons = {QStringLiteral("OK")};
    request.style = AlertRequest::Style::Informational;
    request.icon = AlertRequest::Icon::Application;
    AlertPresenter::shared().runModal(request);
}

void SorvaneApp::showKeyboardShortcutsWindow()
{
    AlertRequest request;
    request.messageText = QStringLiteral("Keyboard Shortcuts");
    request.informativeText = m_commands ? m_commands->keyboardShortcutsText() : QString();
    request.buttons = {QStringLiteral("OK")};
    request.style = AlertRequest::Style::Informational;
    request.icon = AlertRequest::Icon::None;
    AlertPresenter::shared().runModal(request);
}

void SorvaneApp::showSettingsWindow()
{
    if (!m_settingsWindow) {
        if (!m_settingsServices) {
            auto *services = new ShellSettingsServices(m_delegate->seams(), updaterService(), this);
            // The Account tab's reset ends on the sign-in window.
            services->setPresentSignIn([delegate = QPointer<AppDelegate>(m_delegate)] {
                if (delegate)
                    delegate->presentLoginFirstFlow(LoginFirstStep::signIn);
            });
            m_settingsServices = services;
        }
        m_settingsWindow = new SettingsView(*m_settingsServices, m_delegate->documentManager());
        // Lives while open: the next Settings command starts afresh on the first tab.
        m_settingsWindow->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}

SettingsView *SorvaneApp::settingsWindow() const
{
    return m_settingsWindow;
}
