#include "account/LoginFirstStep.h"
#include "diagnostics/QtMessageLog.h"
#include "documents/DocumentManager.h"
#include "export/DocumentExporter.h"
#include "platform/AlertPresenter.h"
#include "platform/SingleInstance.h"
#include "preview/WebSchemes.h"
#include "shell/QuitGate.h"
#include "shell/ShellAccountIntegration.h"
#include "shell/ShellAccountLibrary.h"
#include "shell/ShellDiagnostics.h"
#include "shell/ShellWorkspace.h"
#include "shell/SorvaneApp.h"
#include "shell/SorvaneApplication.h"
#include "window/DocumentContentView.h"
#include "window/MainView.h"
#include "window/MainWindow.h"
#include "preview/MarkdownPreview.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebEnginePage>

#include <cstdio>

namespace {
// Observation hooks for tests and benchmarks, off unless asked for by environment.
void reportLine(const QByteArray &line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void reportTabs(const DocumentManager &manager)
{
    QJsonArray tabs;
    for (TabDocument *document : manager.documents()) {
        QJsonObject tab;
        tab.insert(QStringLiteral("title"), document->title());
        tab.insert(QStringLiteral("path"), document->fileURL().toLocalFile());
        tabs.append(tab);
    }
    reportLine("tabs " + QJsonDocument(tabs).toJson(QJsonDocument::Compact));
}

// Launched from the file manager there is no terminal to read stderr, so a real
// display gets an alert as well.
void reportNotAnswering()
{
    const QString message = QStringLiteral("sorv.ane is already running but does not answer.");
    const QString advice = QStringLiteral("Close the running sorv.ane (or end it if it is stuck), then try again.");
    std::fprintf(stderr, "sorvane: %s %s\n", qPrintable(message), qPrintable(advice));
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        AlertPresenter::shared().runModal(AlertRequest::failure(message, advice));
}

// "preview-ready <ms since main>" once the first pane's page has taken its first
// content: the page answers a script only after the update before it has run.
void reportFirstPreview(MainView *view, qint64 startedAt)
{
    auto reported = std::make_shared<bool>(false);
    const auto watch = [startedAt, reported](DocumentContentView *pane) {
        if (!pane || *reported)
            return;
        MarkdownPreview *preview = pane->preview();
        QObject::connect(preview, &MarkdownPreview::contentPushed, preview, [preview, startedAt, reported] {
            preview->page()->runJavaScript(QStringLiteral("document.body.offsetHeight"),
                                           [startedAt, reported](const QVariant &) {
                                               if (*reported)
                                                   return;
                                               *reported = true;
                                               reportLine("preview-ready "
                                                          + QByteArray::number(QDateTime::currentMSecsSinceEpoch()
                                                                               - startedAt));
                                           });
        });
    };
    watch(view->documentPane());
    QObject::connect(view, &MainView::documentPaneChanged, view, watch);
}
} // namespace

int main(int argc, char **argv)
{
    SorvaneApp::prepareProcess();
    // First, so that Qt's warnings while starting up reach the diagnostic log too.
    QtMessageLog::install();
#ifdef QT_NO_DEBUG
    // The web engine's start-up notes and other chatter go to the log file only.
    QtMessageLog::setQuietConsole(true);
#endif
    // The web engine that draws exports shares its GL contexts; this must precede the app.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    const qint64 startedAt = QDateTime::currentMSecsSinceEpoch();
    // Web view schemes must be known before the application object exists.
    registerWebSchemes();

    SorvaneApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sorvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("sorv.ane"));
    QApplication::setOrganizationDomain(QStringLiteral("tolvern.dev"));
    QApplication::setDesktopFileName(QStringLiteral("sorvane"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/AppIcon.svg")));
    // The window asks about unsaved tabs itself before it lets the app go.
    QApplication::setQuitOnLastWindowClosed(false);

    const QStringList arguments =
        SingleInstance::absoluteArguments(QApplication::arguments().mid(1), QDir::currentPath());
    // A second launch hands its files to the running window and is done. One that
    // cannot must not run beside it: two owners of one session overwrite each other.
    SingleInstance instance;
    SingleInstance::HandOff handed = instance.handOff(arguments);
    if (handed == SingleInstance::HandOff::noneRunning
        && instance.listen() == SingleInstance::Listen::taken) // another launch won the race
        handed = instance.handOff(arguments);
    if (handed == SingleInstance::HandOff::delivered)
        return 0;
    if (handed == SingleInstance::HandOff::noAnswer) {
        reportNotAnswering();
        return 1;
    }

    // Made before the manager so it outlives it: exports still running hold the manager weakly.
    DocumentExporter exporter;
    // The subsystems start-up calls into; they outlive the app object.
    ShellDiagnostics diagnostics;
    ShellWorkspace workspace;
    ShellAccountLibrary accountLibrary;
    ShellAccountIntegration accountIntegration;
    LaunchSeams seams;
    seams.diagnostics = &diagnostics;
    seams.workspace = &workspace;
    seams.accountLibrary = &accountLibrary;
    seams.accountIntegration = &accountIntegration;
    SorvaneApp sorvane(seams);
    // An export refused for want of a sign-in opens the sign-in window.
    accountIntegration.setSignInPresenter([delegate = QPointer<AppDelegate>(&sorvane.delegate())] {
        if (delegate)
            delegate->presentLoginFirstFlow(LoginFirstStep::signIn);
    });
    DocumentManager &manager = sorvane.delegate().documentManager();
    sorvane.setDocumentExporter(&exporter);
    // Logout and SIGTERM reach the same gate as the window's Quit and close button.
    sorvane.delegate().quitGate().installTerminationHandler();
    QObject::connect(&instance, &SingleInstance::argumentsReceived, &sorvane, &SorvaneApp::openArguments);

    if (qEnvironmentVariableIsSet("SORVANE_REPORT_TABS")) {
        QObject::connect(&manager, &DocumentManager::documentsChanged, &manager, [&manager] { reportTabs(manager); });
        reportLine("listening " + QByteArray(instance.isListening() ? "yes" : "no"));
    }
    const bool reportPaint = qEnvironmentVariableIsSet("SORVANE_REPORT_FIRST_PAINT");

    sorvane.launch(arguments);
    if (reportPaint) {
        MainWindow *window = sorvane.mainWindow();
        QObject::connect(window, &MainWindow::firstPaint, &app, [startedAt, window] {
            const qint64 elapsed = QDateTime::currentMSecsSinceEpoch() - startedAt;
            reportLine("first-paint " + QByteArray::number(elapsed));
            // Not sooner: asking a pane for its preview makes it.
            reportFirstPreview(window->mainView(), startedAt);
        });
    }
    return QApplication::exec();
}
