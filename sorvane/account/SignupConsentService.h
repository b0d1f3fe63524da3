#pragma once

#include <QCoro/QCoroTask>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class TolvernAccountBridge;

// Records a new account's sign-up decision with the maker's services: one consent
// record per policy ("terms", then "privacy") at the identity service, sent with
// the session token and a DPoP proof, and a contact capture at the marketing
// service only when the user opted in. Nothing is kept locally and nothing is
// retried here; the consent screen offers the retry. GUI thread only.
class SignupConsentService
{
public:
    SignupConsentService() = delete;

    // The fixed wording the records carry.
    static constexpr const char *consentVersion = "v1-2026-06";
    static constexpr const char *surface = "sorvane_mac_siwa_confirm";
    static constexpr const char *verbatimText =
        "By creating an account you agree to the Terms of Service and Privacy Policy";
    static constexpr const char *marketingConsentText = "Send me app updates & offers from Tolvern Studios";
    static constexpr const char *consentPath = "/api/account/consents";
    static constexpr const char *capturePath = "/api/v1/contacts/capture";
    static constexpr const char *marketingURLVariable = "SORVANE_MARKETING_URL";
    static constexpr const char *builtInMarketingOrigin = "https://marketing.tolvern.dev";

    // True only when both consent records were accepted (2xx or 409). Never throws.
    static QCoro::Task<bool> submit(TolvernAccountBridge &bridge, bool marketingChecked, bool touched);

    // "default_checked" for a box the user never touched that started checked
    // because the region is the US; "explicit_checkbox" otherwise.
    static QString consentMethod(bool marketingChecked, bool touched);

    // The region code of the user's locale ("US"), empty when it has none. Tests
    // replace the source; an empty function restores the system locale.
    using RegionSource = std::function<QString()>;
    static QString currentRegion();
    static void setRegionSource(RegionSource source);
    // Whether the marketing box starts checked.
    static bool regionDefaultsToOptIn();

    // The identity service's consent endpoint for the bridge's configuration.
    static QUrl consentURL(const TolvernAccountBridge &bridge);
    // SORVANE_MARKETING_URL when it is https, or http to this computer; else the
    // built-in origin (a refused override is warned about).
    static QUrl captureURL();

private:
    static QCoro::Task<bool> postConsent(QString kind, QString tvs, TolvernAccountBridge &bridge);
    static QCoro::Task<void> postMarketingCapture(QNetworkAccessManager *network, QString email,
                                                  std::optional<QString> tolvernAccountID, QString consentMethod);
};
