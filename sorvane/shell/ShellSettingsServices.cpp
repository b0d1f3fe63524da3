#include "ShellSettingsServices.h"

#include "UpdaterService.h"

#include "account/AccountSessionManager.h"
#include "account/AccountTab.h"
#include "account/SignInStateService.h"
#include "account/TolvernAccountBridge.h"
#include "diagnostics/DiagnosticUploader.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <qcorotask.h>

namespace {

// Awaits the report on the GUI thread and hands its outcome over from the event loop,
// so `done` never runs inside the caller's own call, even when the uploader refuses
// at once (busy, signed out).
QCoro::Task<void> sendManualReport(int openDocumentCount, std::function<void(const SettingsServices::UploadResult &)> done)
{
    const Result<QString, DiagnosticError> sent = co_await DiagnosticUploader::shared().uploadManual(openDocumentCount);
    SettingsServices::UploadResult outcome = DiagnosticError();
    if (sent)
        outcome = *sent;
    else
        outcome = sent.error();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [done = std::move(done), outcome = std::move(outcome)] { done(outcome); },
        Qt::QueuedConnection);
}

} // namespace

ShellSettingsServices::ShellSettingsServices(const LaunchSeams &seams, UpdaterService &updater, QObject *parent)
    : SettingsServices(parent)
    , m_seams(seams.withDefaults())
    , m_updater(updater)
{
    connect(&m_updater, &UpdaterService::canCheckForUpdatesChanged, this, &SettingsServices::updaterStateChanged);
    connect(&m_updater, &UpdaterService::statusMessageChanged, this, &SettingsServices::updaterStateChanged);
    m_seams.accountIntegration->setAccountIDChangedCallback(
        [this](const QString &accountID) { Q_EMIT accountIDChanged(accountID); });
}

ShellSettingsServices::~ShellSettingsServices()
{
    m_seams.accountIntegration->setAccountIDChangedCallback({});
}

bool ShellSettingsServices::updaterConfigured() const
{
    return m_updater.hasController();
}

bool ShellSettingsServices::canCheckForUpdates() const
{
    return m_updater.canCheckForUpdates();
}

QString ShellSettingsServices::updateStatusMessage() const
{
    return m_updater.statusMessage();
}

void ShellSettingsServices::checkForUpdates()
{
    m_updater.checkForUpdates();
}

void ShellSettingsServices::track(const QString &event, const QVariantMap &properties)
{
    m_seams.diagnostics->track(event, properties);
}

void ShellSettingsServices::setupAnalytics()
{
    m_seams.diagnostics->setupAnalytics();
}

void ShellSettingsServices::resetAnalytics()
{
    m_seams.diagnostics->resetAnalytics();
}

bool ShellSettingsServices::analyticsSetUpThisLaunch() const
{
    return m_seams.diagnostics->analyticsSetUpThisLaunch();
}

QString ShellSettingsServices::accountID() const
{
    return m_seams.accountIntegration->accountID();
}

bool ShellSettingsServices::errorTelemetryEnabled() const
{
    return m_seams.accountLibrary->errorTelemetryEnabled();
}

void ShellSettingsServices::setErrorTelemetryEnabled(bool enabled)
{
    m_seams.accountLibrary->setErrorTelemetryEnabled(enabled);
}

bool ShellSettingsServices::shouldShowOptOutNote() const
{
    return m_seams.accountLibrary->shouldShowOptOutNote();
}

void ShellSettingsServices::markOptOutNoteShown()
{
    m_seams.accountLibrary->markOptOutNoteShown();
}

bool ShellSettingsServices::hasAccountSession() const
{
    return DiagnosticUploader::shared().hasSession();
}

void ShellSettingsServices::uploadManualReport(int openDocumentCount, std::function<void(const UploadResult &)> done)
{
    sendManualReport(openDocumentCount, std::move(done));
}

QWidget *ShellSettingsServices::createAccountTab(QWidget *parent)
{
    SignInStateService *signInState = SignInStateService::shared();
    if (!signInState)
        return nullptr;
    return new AccountTab(*signInState, TolvernAccountBridge::sharedBridge(), AccountSessionManager::shared(),
                          m_presentSignIn, parent);
}
