#include "AppDelegate.h"

#include "NetworkReachabilityService.h"
#include "QuitGate.h"
#include "ShellLog.h"
#include "account/LoginFirstFlowModel.h"
#include "account/LoginFirstFlowView.h"
#include "diagnostics/DiagnosticLogBuffer.h"
#include "documents/DocumentManager.h"
#include "platform/AlertPresenter.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"
#include "platform/SorvaneScheme.h"
#include "platform/XdgMime.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>

namespace {
const QString markdownType = QStringLiteral("text/markdown");
constexpr int workspaceContentWidth = 860;
} // namespace

AppDelegate::AppDelegate(const LaunchSeams &seams, const LaunchEnvironment &environment, QObject *parent)
    : QObject(parent)
    , m_documentManager(std::make_unique<DocumentManager>())
    , m_quitGate(std::make_unique<QuitGate>(*m_documentManager))
    , m_seams(seams.withDefaults())
    , m_environment(environment)
{
}

AppDelegate::~AppDelegate()
{
    delete m_loginFirstView.data();
    if (m_mainWindow)
        m_mainWindow->removeEventFilter(this);
}

AppDelegate::LaunchEnvironment AppDelegate::currentEnvironment()
{
    LaunchEnvironment environment;
    const QString binary = QCoreApplication::applicationFilePath();
    const QString canonical = QFileInfo(binary).canonicalFilePath();
    environment.executablePath = canonical.isEmpty() ? QDir::cleanPath(binary) : canonical;
    environment.appImagePath = qEnvironmentVariable("APPIMAGE");
    return environment;
}

QUrl AppDelegate::urlForArgument(const QString &argument)
{
    if (SorvaneScheme::isURLArgument(argument))
        return QUrl(argument);
    return QUrl::fromLocalFile(argument);
}

void AppDelegate::openArguments(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        // A path names a file on this machine, whatever it looks like ("//name/x.md"
        // included); only URLs get the host check.
        if (SorvaneScheme::isURLArgument(argument))
            openURL(QUrl(argument));
        else
            m_documentManager->openFile(urlForArgument(argument));
    }
}

void AppDelegate::openURLs(const QList<QUrl> &urls)
{
    for (const QUrl &url : urls)
        openURL(url);
}

void AppDelegate::openURL(const QUrl &url)
{
    AccountIntegrationSeam &account = *m_seams.accountIntegration;
    const bool callback = SorvaneScheme::isAccountCallback(url);
    if (callback && account.hasBridge() && account.resumeSignIn(url)) {
        m_seams.accountLibrary->activateForAuthReturn();
        return;
    }
    if (account.handleOpenURL(url))
        return;
    // Any web page can fire these: the log names the scheme and host only, since the
    // rest may carry a sign-in code or a path.
    const QString origin = SorvaneScheme::originOf(url);
    if (callback) {
        qCInfo(lcShell).noquote() << "Dropped an account callback no sign-in was waiting for:" << origin;
        return;
    }
    const std::optional<QUrl> local = SorvaneScheme::localFileURL(url);
    if (!local) {
        qCInfo(lcShell).noquote() << "Refused to open a URL that is not a file on this machine:" << origin;
        return;
    }
    m_documentManager->openFile(*local);
}

void AppDelegate::applicationDidFinishLaunching()
{
    m_seams.diagnostics->installCrashCapture();
    m_seams.diagnostics->setupAnalytics();
    m_seams.workspace->attachDocumentManager(m_documentManager.get());
}

void AppDelegate::enterApp()
{
    const bool wasEntered = m_appEntered;
    m_appEntered = true;
    bringMainWindowForward();
    if (wasEntered)
        return;
    if (!Settings::shared().boolValue(SettingsKeys::hasOpenedWelcomeDoc, false))
        openWelcomeDoc(false);
    maybeWarnAboutInstallLocation();
    promptToSetDefaultHandlerIfNeeded();
}

void AppDelegate::bringMainWindowForward()
{
    if (!m_mainWindow)
        return;
    if (m_mainWindow->isMinimized())
        m_mainWindow->setWindowState(m_mainWindow->windowState() & ~Qt::WindowMinimized);
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void AppDelegate::presentLoginFirstFlow(LoginFirstStep initialStep)
{
    const QString category = QStringLiteral("onboarding");
    AccountIntegrationSeam &account = *m_seams.accountIntegration;
    TolvernAccountBridge *bridge = account.bridge();
    SignInStateService *signInState = account.signInState();
    if (!bridge || !signInState || !m_mainWindow) {
        DiagnosticLogBuffer::shared().add(DiagnosticLogBuffer::Level::Info, category,
                                          QStringLiteral("Sign-in window not presented: no account objects or main window"));
        return;
    }
    if (!m_loginFirstModel)
        m_loginFirstModel = std::make_unique<LoginFirstFlowModel>(LoginFirstStep::signIn);
    if (m_loginFirstView && m_loginFirstView->parentWidget() != m_mainWindow)
        delete m_loginFirstView.data();
    if (!m_loginFirstView) {
        auto *view = new LoginFirstFlowView(*signInState, *bridge, *m_loginFirstModel, {}, m_mainWindow);
        // Finishing the flow closes the window; the model stays for the next time.
        QPointer<LoginFirstFlowView> guard(view);
        view->setOnComplete([guard] {
            if (guard)
                guard->accept();
        });
        NetworkReachabilityService &reachability = NetworkReachabilityService::shared();
        view->setOnline(reachability.isOnline());
        connect(&reachability, &NetworkReachabilityService::isOnlineChanged, view, &LoginFirstFlowView::setOnline);
        m_loginFirstView = view;
    }
    m_loginFirstModel->setStep(initialStep);
    m_loginFirstModel->setErrorMessage(std::nullopt);
    m_loginFirstModel->setStatusMessage(std::nullopt);
    bringMainWindowForward();
    m_loginFirstView->show();
    m_loginFirstView->raise();
    m_loginFirstView->activateWindow();
    DiagnosticLogBuffer::shared().add(
        DiagnosticLogBuffer::Level::Info, category,
        QStringLiteral("Presented the sign-in window step=%1")
            .arg(initialStep == LoginFirstStep::signIn ? QStringLiteral("signIn") : QStringLiteral("consentConfirm")));
}

LoginFirstFlowView *AppDelegate::loginFirstFlowView() const
{
    return m_loginFirstView;
}

void AppDelegate::registerMainWindow(QMainWindow *window)
{
    if (!window)
        return;
    if (m_mainWindow != window) {
        if (m_mainWindow)
            m_mainWindow->removeEventFilter(this);
        m_mainWindow = window;
    }
    if (!m_appEntered)
        window->hide();
    if (!m_didInstallFullScreenObserver) {
        m_didInstallFullScreenObserver = true;
        window->installEventFilter(this);
    }
}

bool AppDelegate::eventFilter(QObject *watched, QEvent *event)
{
    // Leaving full screen by any means ends distraction-free mode.
    if (event->type() == QEvent::WindowStateChange && watched == m_mainWindow
        && !(m_mainWindow->windowState() & Qt::WindowFullScreen)
        && Settings::shared().distractionFree())
        Settings::shared().setDistractionFree(false);
    return QObject::eventFilter(watched, event);
}

void AppDelegate::ensureWorkspaceWidth()
{
    if (!m_mainWindow)
        return;
    QScreen *screen = m_mainWindow->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect frame = m_mainWindow->frameGeometry();
    const QRect target = widenedFrame(frame, m_mainWindow->geometry().width(), screen->availableGeometry());
    if (target.isNull())
        return;
    const int contentWidth = target.width() - (frame.width() - m_mainWindow->geometry().width());
    m_mainWindow->move(target.topLeft());
    m_mainWindow->resize(contentWidth, m_mainWindow->geometry().height());
}

QRect AppDelegate::widenedFrame(const QRect &frame, int contentWidth, const QRect &visible)
{
    if (contentWidth >= workspaceContentWidth)
        return QRect();
    const int targetContent = std::min(workspaceContentWidth, visible.width());
    const int width = targetContent + (frame.width() - contentWidth);
    int x = frame.x();
    const int visibleRight = visible.x() + visible.width();
    if (x + width > visibleRight)
        x = std::max(visible.x(), visibleRight - width);
    if (x < visible.x())
        x = visible.x();
    return QRect(x, frame.y(), width, frame.height());
}

bool AppDelegate::isStableLocation(const QString &executablePath, const QString &appImagePath)
{
    // An AppImage runs from a mount that goes away when it quits, like a disk image.
    if (!appImagePath.isEmpty())
        return false;
    const QString path = QDir::cleanPath(executablePath);
    for (const char *prefix : {"/tmp/", "/media/", "/run/media/"}) {
        if (path.startsWith(QLatin1String(prefix)))
            return false;
    }
    return true;
}

bool AppDelegate::bundleIsInStableLocation() const
{
    return isStableLocation(m_environment.executablePath, m_environment.appImagePath);
}

void AppDelegate::openWelcomeDoc(bool force)
{
    QFile file(welcomeResource);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!force)
            Settings::shared().setValue(SettingsKeys::hasOpenedWelcomeDoc, true);
        return;
    }
    const QString text = QString::fromUtf8(file.readAll());
    QTimer::singleShot(m_environment.welcomeDelayMs, this, [this, text, force] {
        // Unasked, it leaves a file opened meanwhile (named on the command line) selected.
        const bool select = force || !m_documentManager->selectedDocument();
        m_documentManager->newDocument(text, true, select);
        if (!force)
            Settings::shared().setValue(SettingsKeys::hasOpenedWelcomeDoc, true);
        Q_EMIT welcomeDocumentOpened();
    });
}

QString AppDelegate::revealTarget() const
{
    return m_environment.appImagePath.isEmpty() ? m_environment.executablePath : m_environment.appImagePath;
}

void AppDelegate::maybeWarnAboutInstallLocation()
{
    Settings &settings = Settings::shared();
    if (settings.boolValue(SettingsKeys::hasWarnedAboutInstallLocation, false) || bundleIsInStableLocation())
        return;
    // Recorded before anything shows: quitting during the delay loses the warning.
    settings.setValue(SettingsKeys::hasWarnedAboutInstallLocation, true);
    m_warnedThisLaunch = true;
    QTimer::singleShot(m_environment.installWarningDelayMs, this, [this] {
        AlertRequest request;
        request.messageText = QStringLiteral("Move sorv.ane to Applications");
        request.informativeText = QStringLiteral(
            "sorv.ane is running from a temporary location. Drag it to Applications so file associations and "
            "updates keep working after you quit.");
        request.buttons = {QStringLiteral("Show in File Manager"), QStringLiteral("Later")};
        request.style = AlertRequest::Style::Warning;
        Q_EMIT installLocationWarningShown();
        if (AlertPresenter::shared().runModal(request) == 0)
            QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(revealTarget()).absolutePath()));
    });
}

void AppDelegate::promptToSetDefaultHandlerIfNeeded()
{
    if (Settings::shared().boolValue(SettingsKeys::hasPromptedForDefaultHandler, false))
        return;
    // A copy on a temporary mount never offers itself; a later launch from a stable
    // place asks. The warning and the offer never share a launch.
    if (!bundleIsInStableLocation() || m_warnedThisLaunch)
        return;
    QPointer<AppDelegate> self(this);
    XdgMime::queryDefault(markdownType, [self](const QString &current) {
        if (!self || current == desktopId)
            return;
        QTimer::singleShot(self->m_environment.defaultHandlerDelayMs, self, [self] {
            if (self)
                self->showDefaultHandlerPrompt();
        });
    });
}

void AppDelegate::showDefaultHandlerPrompt()
{
    // Another launch path may have answered meanwhile.
    if (Settings::shared().boolValue(SettingsKeys::hasPromptedForDefaultHandler, false))
        return;
    AlertRequest request;
    request.messageText = QStringLiteral("Set sorv.ane as your default Markdown editor?");
    request.informativeText = QStringLiteral("Double-clicking .md files will open them in sorv.ane.");
    request.buttons = {QStringLiteral("Set as Default"), QStringLiteral("Not Now")};
    const int answer = AlertPresenter::shared().runModal(request);
    Settings::shared().setValue(SettingsKeys::hasPromptedForDefaultHandler, true);
    m_seams.diagnostics->track(QStringLiteral("default_handler_prompt_viewed"),
                               {{QStringLiteral("choice"),
                                 answer == 0 ? QStringLiteral("set_default") : QStringLiteral("not_now")}});
    if (answer == 0)
        setAsDefaultHandler();
}

void AppDelegate::setAsDefaultHandler()
{
    XdgMime::setDefault(desktopId, {markdownType, QStringLiteral("text/x-markdown")},
                        [](const XdgMime::Result &result) {
                            if (result.succeeded())
                                return;
                            AlertPresenter::shared().runModal(AlertRequest::failure(
                                QStringLiteral("Could not set default"), XdgMime::describeFailure(result)));
                        });
}
