#include "SignInWithAppleDriver.h"

#include <QStringDecoder>

namespace {
// The platform's code for a sheet the user dismissed.
constexpr int canceledCode = 1001;

std::optional<QString> strictUtf8(const std::optional<QByteArray> &bytes)
{
    if (!bytes)
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(*bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}
} // namespace

SignInWithAppleDriver::SignInWithAppleDriver(TolvernConfig config)
    : m_config(std::move(config))
{
}

bool SignInWithAppleDriver::isAvailable()
{
    return false;
}

QCoro::Task<SignInWithAppleDriver::AppleAuthorization> SignInWithAppleDriver::authorize(QObject *window)
{
    Q_UNUSED(window);
    throw TolvernError::authorizationFailed(QStringLiteral("siwa_unavailable"));
    co_return AppleAuthorization{};
}

SignInWithAppleDriver::AppleAuthorization SignInWithAppleDriver::authorizationFromCredential(const Credential &credential)
{
    if (!credential.isAppleIDCredential)
        throw TolvernError::authorizationFailed(QStringLiteral("siwa_missing_credential"));
    const std::optional<QString> code = strictUtf8(credential.authorizationCode);
    if (!code)
        throw TolvernError::authorizationFailed(QStringLiteral("siwa_missing_authcode"));
    return AppleAuthorization{*code,
                              strictUtf8(credential.identityToken),
                              credential.user,
                              credential.givenName,
                              credential.familyName,
                              credential.email};
}

TolvernError SignInWithAppleDriver::errorFromPlatformError(int code, const QString &localizedDescription)
{
    if (code == canceledCode)
        return TolvernError::authorizationCancelled();
    return TolvernError::authorizationFailed(localizedDescription);
}
