#include "Analytics.h"

#include "platform/BundleInfo.h"
#include "platform/PlatformConstants.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include "AnalyticsEmitThrottle.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QSet>
#include <QSysInfo>
#include <QUrl>
#include <QUuid>

#include <cmath>
#include <limits>
#include <memory>
#include <mutex>

namespace {

const QString projectKey = QStringLiteral("phc_Qm7Ld2Rw9Xk4Tb6Nh1Vz8Pc3Jf5Gs0Ya2Ue7Wr4Io9Kb");
const QString appSlug = QStringLiteral("sorvane");
const QString anonymousPrefix = QStringLiteral("dev_");
const QString accountPrefix = QStringLiteral("ta_");
constexpr const char *builtInAnalyticsOrigin = "https://us.i.posthog.com";
constexpr const char *builtInIdentityOrigin = "https://id.tolvern.dev";
constexpr int requestTimeoutMs = 60000;

using Observer = std::function<void(const QString &, const QVariantMap &)>;

// Everything process-wide, under one lock: track, identify, reset and setup run on
// any thread. Recursive, because a settings change made under it may reach a
// listener on this thread that records an event. A standard mutex, which thread
// checkers see through.
struct State {
    std::recursive_mutex mutex;
    QString sessionDistinctId;
    bool hasSetupThisLaunch = false;
    std::shared_ptr<AnalyticsEmitThrottle> throttle;
    bool installMetricsSeeded = false;
    std::shared_ptr<const Analytics::Providers> providers = std::make_shared<Analytics::Providers>();
    Observer observer;
    std::optional<QUrl> analyticsOrigin;
    std::optional<QUrl> identityOrigin;
};

State &state()
{
    static State instance;
    return instance;
}

// One event's view of the account: the session is read once and used throughout.
struct Context {
    std::shared_ptr<const Analytics::Providers> providers;
    std::optional<Analytics::StoredSession> session;

    std::optional<QString> signedInAccountID() const
    {
        if (session && session->accountID.startsWith(accountPrefix))
            return session->accountID;
        return std::nullopt;
    }
};

Context currentContext()
{
    Context context;
    {
        const std::lock_guard locker(state().mutex);
        context.providers = state().providers;
    }
    if (context.providers->storedSession)
        context.session = context.providers->storedSession();
    return context;
}

QString isoTimestamp(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QString newUpperCaseUuid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

QString bundleString(const char *key)
{
    const std::optional<QString> value = BundleInfo::string(QString::fromLatin1(key));
    return value && !value->isEmpty() ? *value : QStringLiteral("0");
}

QString appVersion()
{
    return bundleString("CFBundleShortVersionString");
}

QString buildNumber()
{
    return bundleString("CFBundleVersion");
}

QString osVersion()
{
    static const QString version = QSysInfo::prettyProductName();
    return version;
}

bool isEnabled()
{
    return !projectKey.isEmpty()
           && !Settings::shared().boolValue(SettingsKeys::analyticsOptOut, SettingsDefaults::analyticsOptOut);
}

// A malformed override gives an invalid URL, which drops the events instead of
// sending them to the built-in service.
QUrl originFromEnvironment(const char *variable, const char *builtIn)
{
    const QString override = qEnvironmentVariable(variable).trimmed();
    const QUrl origin(override.isEmpty() ? QString::fromLatin1(builtIn) : override, QUrl::StrictMode);
    if (!origin.isValid() || origin.isRelative() || origin.host().isEmpty())
        return {};
    return origin;
}

QUrl endpoint(std::optional<QUrl> State::*origin, const char *variable, const char *builtIn, const QString &path)
{
    QUrl url;
    {
        const std::lock_guard locker(state().mutex);
        std::optional<QUrl> &cached = state().*origin;
        if (!cached)
            cached = originFromEnvironment(variable, builtIn);
        url = *cached;
    }
    if (url.isEmpty())
        return {};
    QString base = url.path();
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    url.setPath(base + path);
    return url;
}

std::shared_ptr<AnalyticsEmitThrottle> emitThrottle()
{
    const std::lock_guard locker(state().mutex);
    if (!state().throttle)
        state().throttle = std::make_shared<AnalyticsEmitThrottle>(AnalyticsEmitThrottleOptions::production());
    return state().throttle;
}

QString anonymousDistinctId()
{
    const std::lock_guard locker(state().mutex);
    Settings &settings = Settings::shared();
    const QString stored = settings.stringValue(SettingsKeys::analyticsAnonymousId);
    if (stored.startsWith(anonymousPrefix))
        return stored;
    const QString id = anonymousPrefix + (stored.isEmpty() ? newUpperCaseUuid() : stored);
    settings.setValue(SettingsKeys::analyticsAnonymousId, id);
    return id;
}

QString distinctId(const Context &context)
{
    {
        const std::lock_guard locker(state().mutex);
        if (!state().sessionDistinctId.isEmpty())
            return state().sessionDistinctId;
    }
    if (const auto account = context.signedInAccountID())
        return *account;
    return anonymousDistinctId();
}

// The install metrics are first used only after the anonymous id has been offered
// as the install id, so that both name the install alike.
const Analytics::Providers &installMetrics(const Context &context)
{
    const std::lock_guard locker(state().mutex);
    if (!state().installMetricsSeeded) {
        state().installMetricsSeeded = true;
        const QString anonymous = Settings::shared().stringValue(SettingsKeys::analyticsAnonymousId);
        if (anonymous.startsWith(anonymousPrefix) && context.providers->seedInstallID)
            context.providers->seedInstallID(anonymous);
    }
    return *context.providers;
}

std::optional<QString> installID(const Context &context)
{
    const Analytics::Providers &metrics = installMetrics(context);
    return metrics.installID ? metrics.installID() : std::nullopt;
}

QVariantMap mergeBaseProperties(const Context &context, const QVariantMap &properties)
{
    const QString version = appVersion();
    const std::optional<QString> account = context.signedInAccountID();
    QVariantMap merged{
        {QStringLiteral("app"), appSlug},
        {QStringLiteral("app_slug"), appSlug},
        {QStringLiteral("platform"), QString::fromLatin1(PlatformConstants::platform)},
        {QStringLiteral("version"), version},
        {QStringLiteral("app_version"), version},
        {QStringLiteral("install_channel"), QString::fromLatin1(PlatformConstants::installChannel)},
        {QStringLiteral("auth_state"), account ? QStringLiteral("signed_in") : QStringLiteral("pre_auth")},
        {QStringLiteral("$lib"), QString::fromLatin1(PlatformConstants::clientName)},
        {QStringLiteral("$lib_version"), QStringLiteral("1.0")},
        {QStringLiteral("$app_version"), version},
        {QStringLiteral("$app_build"), buildNumber()},
        {QStringLiteral("$os"), QString::fromLatin1(PlatformConstants::osName)},
        {QStringLiteral("$os_version"), osVersion()},
    };
    if (const auto id = installID(context))
        merged.insert(QStringLiteral("install_id"), *id);
    if (account)
        merged.insert(QStringLiteral("tolvern_account_id"), *account);
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        merged.insert(it.key(), it.value());
    return merged;
}

// JSON-safe values; nullopt for what JSON cannot hold (a number that is not finite),
// which drops the event.
std::optional<QJsonValue> sanitizeValue(const QVariant &value);

std::optional<QJsonObject> sanitizeDictionary(const QVariantMap &map)
{
    QJsonObject object;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const std::optional<QJsonValue> sanitized = sanitizeValue(it.value());
        if (!sanitized)
            return std::nullopt;
        object.insert(it.key(), *sanitized);
    }
    return object;
}

std::optional<QJsonArray> sanitizeArray(const QVariantList &list)
{
    QJsonArray array;
    for (const QVariant &element : list) {
        const std::optional<QJsonValue> sanitized = sanitizeValue(element);
        if (!sanitized)
            return std::nullopt;
        array.append(*sanitized);
    }
    return array;
}

std::optional<QJsonValue> sanitizeValue(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        return QJsonValue(QJsonValue::Null);
    case QMetaType::Bool:
        return QJsonValue(value.toBool());
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::SChar:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return QJsonValue(value.toLongLong());
    case QMetaType::ULongLong: {
        const qulonglong number = value.toULongLong();
        if (number <= qulonglong(std::numeric_limits<qint64>::max()))
            return QJsonValue(qint64(number));
        return QJsonValue(double(number));
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        if (!std::isfinite(number))
            return std::nullopt;
        return QJsonValue(number);
    }
    case QMetaType::QString:
        return QJsonValue(value.toString());
    case QMetaType::QDateTime:
        return QJsonValue(isoTimestamp(value.toDateTime()));
    case QMetaType::QUrl:
        return QJsonValue(value.toUrl().toString(QUrl::FullyEncoded));
    case QMetaType::QVariantMap:
        if (const auto object = sanitizeDictionary(value.toMap()))
            return QJsonValue(*object);
        return std::nullopt;
    case QMetaType::QVariantHash: {
        const QVariantHash hash = value.toHash();
        QVariantMap map;
        for (auto it = hash.cbegin(); it != hash.cend(); ++it)
            map.insert(it.key(), it.value());
        if (const auto object = sanitizeDictionary(map))
            return QJsonValue(*object);
        return std::nullopt;
    }
    case QMetaType::QVariantList:
    case QMetaType::QStringList:
        if (const auto array = sanitizeArray(value.toList()))
            return QJsonValue(*array);
        return std::nullopt;
    case QMetaType::QJsonValue:
        return sanitizeValue(value.toJsonValue().toVariant());
    case QMetaType::QJsonObject:
        return sanitizeValue(value.toJsonObject().toVariantMap());
    case QMetaType::QJsonArray:
        return sanitizeValue(value.toJsonArray().toVariantList());
    default:
        // Its textual description, as the throttle's keys write it.
        return QJsonValue(AnalyticsEmitThrottle::keyText(value));
    }
}

QNetworkAccessManager *networkManager()
{
    // Only ever touched on the GUI thread.
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return manager;
}

// Fire and forget from the GUI thread; the reply is never read.
void post(const QUrl &url, const QJsonObject &body, const std::optional<QString> &bearer)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || url.isEmpty())
        return;
    const QByteArray bytes = QJsonDocument(body).toJson(QJsonDocument::Compact);
    if (bytes.isEmpty())
        return;
    QNetworkRequest request(url);
    request.setTransferTimeout(requestTimeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader(QByteArrayLiteral("Accept"), QByteArrayLiteral("application/json"));
    if (bearer)
        request.setRawHeader(QByteArrayLiteral("Authorization"), "Bearer " + bearer->toUtf8());
    QMetaObject::invokeMethod(
        app,
        [request, bytes] {
            QNetworkReply *reply = networkManager()->post(request, bytes);
            QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
        },
        Qt::QueuedConnection);
}

const QSet<QString> &mirroredAppEvents()
{
    static const QSet<QString> names{
        QStringLiteral("app_first_opened"),    QStringLiteral("app_updated"),
        QStringLiteral("app_relaunched"),      QStringLiteral("onboarding_started"),
        QStringLiteral("onboarding_completed"), QStringLiteral("login_screen_shown"),
        QStringLiteral("auth_started"),        QStringLiteral("auth_completed"),
        QStringLiteral("auth_failed"),         QStringLiteral("sign_in_completed"),
        QStringLiteral("account_linked"),      QStringLiteral("update_installed"),
        QStringLiteral("settings_viewed"),     QStringLiteral("sync_enabled"),
        QStringLiteral("sync_disabled"),
    };
    return names;
}

void sendAppEventMirror(const Context &context, const QString &event, const QString &distinctId,
                        const QJsonObject &properties)
{
    if (event.startsWith(QLatin1Char('$')) || !mirroredAppEvents().contains(event))
        return;
    const QString version = appVersion();
    QJsonObject body{
        {QStringLiteral("event"), event},
        {QStringLiteral("app_slug"), appSlug},
        {QStringLiteral("platform"), QString::fromLatin1(PlatformConstants::platform)},
        {QStringLiteral("version"), version},
        {QStringLiteral("app_version"), version},
        {QStringLiteral("install_channel"), QString::fromLatin1(PlatformConstants::installChannel)},
        {QStringLiteral("distinct_id"), distinctId},
        {QStringLiteral("properties"), properties},
    };
    if (const auto id = installID(context))
        body.insert(QStringLiteral("install_id"), *id);
    if (const auto account = context.signedInAccountID())
        body.insert(QStringLiteral("tolvern_account_id"), *account);
    std::optional<QString> bearer;
    if (context.session)
        bearer = context.session->sessionToken;
    post(endpoint(&State::identityOrigin, "SORVANE_IDENTITY_URL", builtInIdentityOrigin,
                  QStringLiteral("api/app-events")),
         body, bearer);
}

void send(const Context &context, const QString &event, const QString &distinctId, const QJsonObject &properties)
{
    sendAppEventMirror(context, event, distinctId, properties);
    const QString capture = event.startsWith(QLatin1Char('$')) ? event : QStringLiteral("sorvane_") + event;
    const QJsonObject item{
        {QStringLiteral("event"), capture},
        {QStringLiteral("distinct_id"), distinctId},
        {QStringLiteral("properties"), properties},
        {QStringLiteral("timestamp"), isoTimestamp(QDateTime::currentDateTimeUtc())},
        {QStringLiteral("uuid"), newUpperCaseUuid()},
    };
    const QJsonObject body{
        {QStringLiteral("api_key"), projectKey},
        {QStringLiteral("batch"), QJsonArray{item}},
        {QStringLiteral("sent_at"), isoTimestamp(QDateTime::currentDateTimeUtc())},
    };
    post(endpoint(&State::analyticsOrigin, "SORVANE_ANALYTICS_URL", builtInAnalyticsOrigin, QStringLiteral("batch")),
         body, std::nullopt);
}

void notifyObserver(const QString &name, const QVariantMap &properties)
{
    Observer observer;
    {
        const std::lock_guard locker(state().mutex);
        observer = state().observer;
    }
    if (observer)
        observer(name, properties);
}

// Keeps the library's first-open marker in step with ours and reports the install's
// first opening once.
void emitAppFirstOpenedIfNeeded()
{
    const Context context = currentContext();
    const Analytics::Providers &metrics = installMetrics(context);
    Settings &settings = Settings::shared();
    if (!settings.stringValue(SettingsKeys::analyticsInstallFirstOpenedAt).isEmpty()) {
        if (metrics.markFirstOpenFired)
            metrics.markFirstOpenFired();
        return;
    }
    if (!metrics.shouldFireFirstOpen || !metrics.shouldFireFirstOpen())
        return;
    if (!metrics.markFirstOpenFired || !metrics.markFirstOpenFired())
        return;
    const QString openedAt = isoTimestamp(QDateTime::currentDateTimeUtc());
    settings.setValue(SettingsKeys::analyticsInstallFirstOpenedAt, openedAt);
    Analytics::track(QStringLiteral("app_first_opened"), {{QStringLiteral("first_opened_at"), openedAt}});
}

} // namespace

void Analytics::setProviders(Providers providers)
{
    const std::lock_guard locker(state().mutex);
    state().providers = std::make_shared<const Providers>(std::move(providers));
}

std::optional<QString> Analytics::installID()
{
    return ::installID(currentContext());
}

void Analytics::setup()
{
    if (!isEnabled())
        return;
    anonymousDistinctId();
    {
        const std::lock_guard locker(state().mutex);
        if (state().hasSetupThisLaunch)
            return;
        state().hasSetupThisLaunch = true;
    }
    const QString version = appVersion();
    Settings &settings = Settings::shared();
    const QString previous = settings.stringValue(SettingsKeys::analyticsLastLaunchedVersion);
    // The one report of an update; the updater reports only "app_updated".
    if (!previous.isEmpty() && previous != version) {
        track(QStringLiteral("update_installed"), {{QStringLiteral("$app_version"), version},
                                                   {QStringLiteral("$previous_app_version"), previous},
                                                   {QStringLiteral("from_version"), previous},
                                                   {QStringLiteral("to_version"), version}});
    }
    settings.setValue(SettingsKeys::analyticsLastLaunchedVersion, version);
    track(QStringLiteral("app_relaunched"),
          {{QStringLiteral("$app_version"), version}, {QStringLiteral("auth_transport"), QStringLiteral("aswas")}});
    emitAppFirstOpenedIfNeeded();
}

bool Analytics::hasSetupThisLaunch()
{
    const std::lock_guard locker(state().mutex);
    return state().hasSetupThisLaunch;
}

void Analytics::track(const QString &name, const QVariantMap &properties)
{
    notifyObserver(name, properties);
    if (!isEnabled() || !emitThrottle()->allowEmit(name, properties))
        return;
    const Context context = currentContext();
    const QString distinct = distinctId(context);
    const std::optional<QJsonObject> sanitized = sanitizeDictionary(mergeBaseProperties(context, properties));
    if (!sanitized)
        return;
    send(context, name, distinct, *sanitized);
}

void Analytics::identify(const QString &accountID)
{
    const QString id = accountID.trimmed();
    if (!isEnabled() || !id.startsWith(accountPrefix))
        return;
    const Context context = currentContext();
    QVariantMap properties{{QStringLiteral("distinct_id"), id}, {QStringLiteral("tolvern_account_id"), id}};
    {
        // Taking over from the anonymous id links the two in the service.
        const std::lock_guard locker(state().mutex);
        const QString previous = distinctId(context);
        const QString anonymous = anonymousDistinctId();
        state().sessionDistinctId = id;
        if (previous == anonymous)
            properties.insert(QStringLiteral("$anon_distinct_id"), anonymous);
    }
    const std::optional<QJsonObject> sanitized = sanitizeDictionary(mergeBaseProperties(context, properties));
    if (sanitized)
        send(context, QStringLiteral("$identify"), id, *sanitized);
}

void Analytics::reset()
{
    const std::lock_guard locker(state().mutex);
    state().sessionDistinctId.clear();
    // Stored bare; its next use adds the prefix.
    Settings::shared().setValue(SettingsKeys::analyticsAnonymousId, newUpperCaseUuid());
}

void Analytics::setObserver(std::function<void(const QString &, const QVariantMap &)> observer)
{
    const std::lock_guard locker(state().mutex);
    state().observer = std::move(observer);
}

void Analytics::resetForTesting()
{
    const std::lock_guard locker(state().mutex);
    state().sessionDistinctId.clear();
    state().hasSetupThisLaunch = false;
    state().throttle.reset();
    state().installMetricsSeeded = false;
    state().analyticsOrigin.reset();
    state().identityOrigin.reset();
}
