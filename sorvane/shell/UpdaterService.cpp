#include "UpdaterService.h"

#include "DiagnosticsSeam.h"
#include "UpdateAlert.h"
#include "UpdateUserDriver.h"
#include "documents/Constants.h"
#include "platform/BundleInfo.h"
#include "platform/PlatformConstants.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QGuiApplication>
#include <QRectF>
#include <QScreen>
#include <QUrl>

namespace {

QString trimmedString(const QVariantMap &info, const QString &key)
{
    const QVariant value = info.value(key);
    return value.typeId() == QMetaType::QString ? value.toString().trimmed() : QString();
}

QList<QRect> realScreens()
{
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    return screens;
}

} // namespace

UpdaterService::UpdaterService(DiagnosticsSeam *analytics, QObject *parent)
    : UpdaterService(analytics, parent, Environment())
{
}

UpdaterService::UpdaterService(DiagnosticsSeam *analytics, QObject *parent, Environment environment)
    : QObject(parent)
    , m_analytics(analytics)
    , m_environment(std::move(environment))
{
    if (!m_environment.screens)
        m_environment.screens = realScreens;
    resetOffscreenUpdateAlertIfNeeded();
    const QVariantMap info = BundleInfo::info();
    if (hasValidConfiguration(info)) {
        AppcastUpdater::UserDriver *driver = m_environment.userDriver;
        if (!driver) {
            m_ownDriver = std::make_unique<UpdateUserDriver>();
            driver = m_ownDriver.get();
        }
        AppcastUpdater::Configuration configuration;
        configuration.feedUrl = QUrl(trimmedString(info, QStringLiteral("SUFeedURL")), QUrl::StrictMode);
        configuration.publicKey = trimmedString(info, QStringLiteral("SUPublicEDKey"));
        configuration.runningVersion = BundleInfo::string(QStringLiteral("CFBundleShortVersionString"))
                                           .value_or(Constants::version());
        configuration.idleTimeout = m_environment.idleTimeout;
        m_controller = new AppcastUpdater(std::move(configuration), this, driver, this);
        m_canCheckForUpdates = m_controller->canCheckForUpdates();
        connect(m_controller, &AppcastUpdater::canCheckForUpdatesChanged, this,
                &UpdaterService::setCanCheckForUpdates);
    }
    trackPostInstallIfNeeded();
}

// The controller goes first: it calls back into this object and the driver.
UpdaterService::~UpdaterService()
{
    delete m_controller;
}

void UpdaterService::checkForUpdates()
{
    if (m_controller)
        m_controller->checkForUpdates();
}

QSet<QString> UpdaterService::allowedChannels()
{
    if (Settings::shared().boolValue(SettingsKeys::betaUpdatesEnabled, SettingsDefaults::betaUpdatesEnabled))
        return {QStringLiteral("beta")};
    return {};
}

void UpdaterService::updateCycleFinished(const AppcastUpdater::CycleResult &result)
{
    // Up to date, "Later" and a cancelled download are ordinary ends and leave no text.
    if (result.outcome == AppcastUpdater::CycleResult::Outcome::Failed)
        setStatusMessage(QStringLiteral("Update check failed: ") + result.error);
    else
        setStatusMessage(QString());
}

bool UpdaterService::hasValidConfiguration(const QVariantMap &info)
{
    const QString feed = trimmedString(info, QStringLiteral("SUFeedURL"));
    const QString key = trimmedString(info, QStringLiteral("SUPublicEDKey"));
    return !feed.isEmpty() && !key.isEmpty() && !key.startsWith(QLatin1String("REPLACE_"));
}

void UpdaterService::resetOffscreenUpdateAlertIfNeeded() const
{
    Settings &settings = Settings::shared();
    const QJsonValue stored = settings.storedValue(SettingsKeys::updateAlertFrame);
    if (!stored.isString())
        return;
    const QList<double> numbers = UpdateAlert::frameNumbers(stored.toString());
    if (numbers.size() < 4)
        return;
    const QRectF frame(numbers.at(0), numbers.at(1), numbers.at(2), numbers.at(3));
    for (const QRect &screen : m_environment.screens()) {
        if (QRectF(screen).intersects(frame))
            return;
    }
    // Lost off every screen: the alert is placed anew next time.
    settings.remove(SettingsKeys::updateAlertFrame);
}

void UpdaterService::trackPostInstallIfNeeded()
{
    const QString current = BundleInfo::string(QStringLiteral("CFBundleShortVersionString")).value_or(QString());
    if (current.isEmpty())
        return;
    Settings &settings = Settings::shared();
    const QJsonValue stored = settings.storedValue(SettingsKeys::lastKnownVersion);
    const QString previous = stored.isString() ? stored.toString() : QString();
    // Analytics' launch step reports "update_installed" with both versions; a second
    // one from here would count every update twice.
    if (!previous.isEmpty() && previous != current && m_analytics) {
        m_analytics->track(QStringLiteral("app_updated"), {{QStringLiteral("prior_version"), previous},
                                                           {QStringLiteral("new_version"), current},
                                                           {QStringLiteral("install_channel"),
                                                            QLatin1String(PlatformConstants::installChannel)}});
    }
    if (previous != current)
        settings.setValue(SettingsKeys::lastKnownVersion, current);
}

void UpdaterService::setCanCheckForUpdates(bool canCheck)
{
    if (m_canCheckForUpdates == canCheck)
        return;
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}

void UpdaterService::setStatusMessage(const QString &message)
{
    if (m_statusMessage == message)
        return;
    m_statusMessage = message;
    Q_EMIT statusMessageChanged(message);
}
