#include "ShellAccountLibrary.h"

#include "SettingsTelemetryDefaults.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "platform/Settings.h"

#include "ErrorFirehoseClient.h"
#include "ErrorTelemetryConsent.h"
#include "GeoProbeClient.h"
#include "TolvernAccountManager.h"
#include "TolvernInstallMetrics.h"

#include <QApplication>
#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QWindow>

namespace {
// The session telemetry and the probe send with; it outlives every request in flight.
QNetworkAccessManager *sharedNetwork()
{
    static QNetworkAccessManager *network = [] {
        auto *made = new QNetworkAccessManager;
        if (QCoreApplication *app = QCoreApplication::instance())
            made->moveToThread(app->thread());
        return made;
    }();
    return network;
}
} // namespace

ShellAccountLibrary::ShellAccountLibrary(Settings &settings)
{
    ErrorTelemetryConsent::setDefaults(std::make_shared<SettingsTelemetryDefaults>(settings));
    DiagnosticLogBuffer::setTelemetryHandler([](DiagnosticLogBuffer::TelemetryLevel level, const QString &event,
                                                const QMap<QString, QString> &fields) {
        ErrorFirehoseClient::shared().observeFromFacade(level == DiagnosticLogBuffer::TelemetryLevel::Warning
                                                            ? TolvernLogLevel::warning
                                                            : TolvernLogLevel::error,
                                                        event, fields);
    });
}

ShellAccountLibrary::~ShellAccountLibrary()
{
    DiagnosticLogBuffer::setTelemetryHandler(nullptr);
    ErrorTelemetryConsent::setDefaults(nullptr);
}

QString ShellAccountLibrary::installID(const QString &appSlug)
{
    return TolvernInstallMetrics(appSlug).installID();
}

void ShellAccountLibrary::configureErrorTelemetry(const TelemetryContext &context)
{
    ErrorFirehoseClient::shared().configure(context.appSlug, context.platform, context.appVersion, context.osVersion,
                                            context.installId, context.identityURL, sharedNetwork());
}

void ShellAccountLibrary::startErrorTelemetry()
{
    ErrorFirehoseClient::shared().start();
}

void ShellAccountLibrary::startRegionProbe(const QUrl &identityURL)
{
    // The answer lands in the settings; nobody waits for it.
    GeoProbeClient::probe(sharedNetwork(), identityURL);
}

void ShellAccountLibrary::activateForAuthReturn()
{
    // The main window ("main"), when it has been shown; else the library picks one.
    QWindow *mainWindow = nullptr;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *widget : windows) {
        if (qobject_cast<QMainWindow *>(widget) && widget->objectName() == QLatin1String("main")
            && widget->windowHandle()) {
            mainWindow = widget->windowHandle();
            break;
        }
    }
    TolvernAccountManager::activateForAuthReturn(mainWindow);
}

bool ShellAccountLibrary::errorTelemetryEnabled() const
{
    return ErrorTelemetryConsent::isEnabled();
}

void ShellAccountLibrary::setErrorTelemetryEnabled(bool enabled)
{
    ErrorTelemetryConsent::setEnabled(enabled);
}

bool ShellAccountLibrary::shouldShowOptOutNote() const
{
    return ErrorTelemetryConsent::shouldShowOptOutNote();
}

void ShellAccountLibrary::markOptOutNoteShown()
{
    ErrorTelemetryConsent::markOptOutNoteShown();
}
