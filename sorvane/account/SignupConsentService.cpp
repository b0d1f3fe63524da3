#include "SignupConsentService.h"

#include "TolvernAccountBridge.h"
#include "diagnostics/DiagnosticLogBuffer.h"

#include <QCoroNetworkReply>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <memory>

namespace {

constexpr int kRequestTimeoutMs = 8000;
const QString kCategory = QStringLiteral("consent");

SignupConsentService::RegionSource &regionSource()
{
    static SignupConsentService::RegionSource source;
    return source;
}

void log(DiagnosticLogBuffer::Level level, const QString &message)
{
    DiagnosticLogBuffer::shared().add(level, kCategory, message);
}

QUrl appendingPath(QUrl base, const QString &path)
{
    QString basePath = base.path();
    while (basePath.endsWith(QLatin1Char('/')))
        basePath.chop(1);
    base.setPath(basePath + path);
    return base;
}

QNetworkRequest jsonPost(const QUrl &url)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(kRequestTimeoutMs);
    request.setRawHeader("Content-Type", "application/json");
    // A redirect would carry the bearer token to wherever it points; it counts as a
    // refusal instead.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    return request;
}

struct DeleteLater {
    void operator()(QNetworkReply *reply) const { reply->deleteLater(); }
};
using ReplyHandle = std::unique_ptr<QNetworkReply, DeleteLater>;

// The HTTP status, or nothing when the request never got an answer.
std::optional<int> httpStatus(QNetworkReply *reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return std::nullopt;
    return status.toInt();
}

QNetworkAccessManager *networkOf(const TolvernAccountBridge &bridge)
{
    if (QNetworkAccessManager *network = bridge.manager().config().urlSession())
        return network;
    static QNetworkAccessManager fallback;
    return &fallback;
}

} // namespace

QCoro::Task<bool> SignupConsentService::submit(TolvernAccountBridge &bridge, bool marketingChecked, bool touched)
{
    auto sessionTask = bridge.freshSession();
    const std::optional<TolvernAccountBridge::Session> session = co_await std::move(sessionTask);
    // A token the service would refuse as expired is not sent at all.
    const std::optional<StoredSession> stored = bridge.manager().currentStoredSession();
    const bool expired = session && stored && stored->tvs == session->tvs && stored->isExpired();
    if (!session || !session->tvs.startsWith(QLatin1String("tvs_")) || expired) {
        log(DiagnosticLogBuffer::Level::Info, QStringLiteral("Missing TVS; consent capture not available."));
        co_return false;
    }

    bool allAccepted = true;
    for (const char *kind : {"terms", "privacy"}) {
        auto post = postConsent(QString::fromLatin1(kind), session->tvs, bridge);
        const bool accepted = co_await std::move(post);
        allAccepted = allAccepted && accepted;
    }
    if (!allAccepted)
        co_return false;

    if (marketingChecked) {
        const QString email = session->email.trimmed();
        if (!email.isEmpty()) {
            std::optional<QString> accountID;
            if (session->accountID.startsWith(QLatin1String("ta_")))
                accountID = session->accountID;
            auto capture = postMarketingCapture(networkOf(bridge), email, accountID,
                                                consentMethod(marketingChecked, touched));
            co_await std::move(capture);
        }
    }
    co_return true;
}

QCoro::Task<bool> SignupConsentService::postConsent(QString kind, QString tvs, TolvernAccountBridge &bridge)
{
    const QUrl url = consentURL(bridge);
    if (!url.isValid())
        co_return false;
    QNetworkRequest request = jsonPost(url);
    request.setRawHeader("Authorization", "Bearer " + tvs.toUtf8());
    try {
        if (const std::optional<QString> proof = bridge.manager().generateDPoPProof(url, QStringLiteral("POST"), tvs))
            request.setRawHeader("DPoP", proof->toUtf8());
    } catch (...) {
        // Without a proof the record goes with the bearer token alone.
    }

    const QJsonObject payload{
        {QStringLiteral("kind"), kind},
        {QStringLiteral("version"), QString::fromLatin1(consentVersion)},
        {QStringLiteral("surface"), QString::fromLatin1(surface)},
        {QStringLiteral("verbatim_text"), QString::fromLatin1(verbatimText)},
    };
    const ReplyHandle reply(networkOf(bridge)->post(request, QJsonDocument(payload).toJson(QJsonDocument::Compact)));
    if (!reply->isFinished())
        co_await qCoro(reply.get()).waitForFinished();

    const std::optional<int> status = httpStatus(reply.get());
    if (!status) {
        log(DiagnosticLogBuffer::Level::Warn,
            QStringLiteral("Consent %1 error: %2").arg(kind, reply->errorString()));
        co_return false;
    }
    if ((*status >= 200 && *status <= 299) || *status == 409)
        co_return true;
    log(DiagnosticLogBuffer::Level::Warn, QStringLiteral("Consent %1 failed: %2").arg(kind).arg(*status));
    co_return false;
}

QCoro::Task<void> SignupConsentService::postMarketingCapture(QNetworkAccessManager *network, QString email,
                                                             std::optional<QString> tolvernAccountID,
                                                             QString consentMethod)
{
    const QUrl url = captureURL();
    if (!url.isValid())
        co_return;
    QJsonObject payload{
        {QStringLiteral("email"), email},
        {QStringLiteral("list_slug"), QStringLiteral("sorvane_marketing")},
        {QStringLiteral("app_slug"), QStringLiteral("sorvane")},
        {QStringLiteral("source_type"), QStringLiteral("signup")},
        {QStringLiteral("consent_method"), consentMethod},
        {QStringLiteral("consent_text"), QString::fromUtf8(marketingConsentText)},
        {QStringLiteral("consent_version"), QString::fromLatin1(consentVersion)},
    };
    if (tolvernAccountID)
        payload.insert(QStringLiteral("tolvern_account_id"), *tolvernAccountID);

    const ReplyHandle reply(network->post(jsonPost(url), QJsonDocument(payload).toJson(QJsonDocument::Compact)));
    if (!reply->isFinished())
        co_await qCoro(reply.get()).waitForFinished();

    const std::optional<int> status = httpStatus(reply.get());
    if (!status)
        log(DiagnosticLogBuffer::Level::Warn, QStringLiteral("Marketing capture error: ") + reply->errorString());
    else if (*status < 200 || *status > 299)
        log(DiagnosticLogBuffer::Level::Warn, QStringLiteral("Marketing capture failed: %1").arg(*status));
}

QString SignupConsentService::consentMethod(bool marketingChecked, bool touched)
{
    if (marketingChecked && !touched && regionDefaultsToOptIn())
        return QStringLiteral("default_checked");
    return QStringLiteral("explicit_checkbox");
}

QString SignupConsentService::currentRegion()
{
    if (const RegionSource &source = regionSource())
        return source();
    const QLocale::Territory territory = QLocale::system().territory();
    if (territory == QLocale::AnyTerritory)
        return {};
    return QLocale::territoryToCode(territory);
}

void SignupConsentService::setRegionSource(RegionSource source)
{
    regionSource() = std::move(source);
}

bool SignupConsentService::regionDefaultsToOptIn()
{
    return currentRegion() == QLatin1String("US");
}

QUrl SignupConsentService::consentURL(const TolvernAccountBridge &bridge)
{
    return appendingPath(bridge.manager().config().identityURL(), QString::fromLatin1(consentPath));
}

QUrl SignupConsentService::captureURL()
{
    const QUrl origin = TolvernAccountBridge::endpoint(qEnvironmentVariable(marketingURLVariable).trimmed(),
                                                       QUrl(QString::fromLatin1(builtInMarketingOrigin)),
                                                       marketingURLVariable);
    return appendingPath(origin, QString::fromLatin1(capturePath));
}
