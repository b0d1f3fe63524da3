#pragma once

#include "TolvernConfig.h"
#include "TolvernError.h"

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

#include <optional>

// Native Apple sign-in. There is no such sheet on Linux, so the driver keeps the
// records and the call but reports itself unavailable; callers take the web sign-in
// with the Apple hint instead. The rules that turn the platform's answer into a
// record or an error are kept as plain functions over a credential record.
class SignInWithAppleDriver
{
public:
    struct AppleAuthorization {
        QString authorizationCode;
        std::optional<QString> identityToken;
        QString userIdentifier;
        std::optional<QString> givenName;
        std::optional<QString> familyName;
        std::optional<QString> email;
        bool operator==(const AppleAuthorization &other) const = default;
    };

    // What the platform hands back, as bytes and texts.
    struct Credential {
        bool isAppleIDCredential = true;
        std::optional<QByteArray> authorizationCode;
        std::optional<QByteArray> identityToken;
        QString user;
        std::optional<QString> givenName;
        std::optional<QString> familyName;
        std::optional<QString> email;
    };

    explicit SignInWithAppleDriver(TolvernConfig config);

    const TolvernConfig &config() const { return m_config; }

    // Always false here.
    static bool isAvailable();
    // Fails at once with authorizationFailed("siwa_unavailable").
    QCoro::Task<AppleAuthorization> authorize(QObject *window);

    // The record for a completed sign-in; throws authorizationFailed with
    // "siwa_missing_credential" or "siwa_missing_authcode".
    static AppleAuthorization authorizationFromCredential(const Credential &credential);
    // A failed sign-in: code 1001 (any domain) is the user's cancel.
    static TolvernError errorFromPlatformError(int code, const QString &localizedDescription);

private:
    TolvernConfig m_config;
};
