#include "TolvernError.h"

#include <cstring>

TolvernError::TolvernError(Case kind)
    : m_case(kind)
{
}

TolvernError TolvernError::make(Case kind, std::int32_t status, std::optional<QString> text,
                                std::optional<QUrl> replacement)
{
    TolvernError error(kind);
    error.m_status = status;
    error.m_text = std::move(text);
    error.m_replacement = std::move(replacement);
    error.m_what = error.errorDescription().toUtf8();
    return error;
}

TolvernError TolvernError::serverError(int status, std::optional<QString> code)
{
    return make(Case::serverError, status, std::move(code));
}

TolvernError TolvernError::malformedResponse(std::optional<QString> field)
{
    return make(Case::malformedResponse, 0, std::move(field));
}

TolvernError TolvernError::authorizationFailed(const QString &reason)
{
    return make(Case::authorizationFailed, 0, reason);
}

TolvernError TolvernError::keychainFailure(std::int32_t status)
{
    return make(Case::keychainFailure, status);
}

TolvernError TolvernError::clientKilled(std::optional<QUrl> replacement)
{
    return make(Case::clientKilled, 0, std::nullopt, std::move(replacement));
}

TolvernError TolvernError::requiresUpgrade(const QString &minVersion)
{
    return make(Case::requiresUpgrade, 0, minVersion);
}

TolvernError TolvernError::dpopUnavailable(const QString &reason)
{
    return make(Case::dpopUnavailable, 0, reason);
}

TolvernError TolvernError::notSignedIn()
{
    return make(Case::notSignedIn);
}

TolvernError TolvernError::sessionExpired()
{
    return make(Case::sessionExpired);
}

TolvernError TolvernError::networkUnavailable()
{
    return make(Case::networkUnavailable);
}

TolvernError TolvernError::authorizationCancelled()
{
    return make(Case::authorizationCancelled);
}

QString TolvernError::errorDescription() const
{
    switch (m_case) {
    case Case::serverError:
        if (!m_text)
            return QStringLiteral("Server error (%1).").arg(m_status);
        return QStringLiteral("Server error (%1 \u2014 %2).").arg(m_status).arg(*m_text);
    case Case::malformedResponse:
        if (!m_text)
            return QStringLiteral("Couldn't read the server response.");
        return QStringLiteral("Couldn't read the server response (%1).").arg(*m_text);
    case Case::authorizationFailed:
        return QStringLiteral("Sign-in failed: ") + reason();
    case Case::keychainFailure:
        return QStringLiteral("Couldn't read your stored sign-in (%1).").arg(m_status);
    case Case::clientKilled:
        return QStringLiteral("This version is no longer supported. Please update.");
    case Case::requiresUpgrade:
        return QStringLiteral("Please update to version ") + minVersion() + QStringLiteral(" or later.");
    case Case::dpopUnavailable:
        return QStringLiteral("Device security key unavailable: ") + reason();
    case Case::notSignedIn:
        return QStringLiteral("Sign in to continue.");
    case Case::sessionExpired:
        return QStringLiteral("Your session expired. Please sign in again.");
    case Case::networkUnavailable:
        return QStringLiteral("Can't reach the network. Try again.");
    case Case::authorizationCancelled:
        return QStringLiteral("Sign-in was cancelled.");
    }
    return QString();
}

bool TolvernError::operator==(const TolvernError &other) const
{
    return m_case == other.m_case && m_status == other.m_status && m_text == other.m_text
        && m_replacement == other.m_replacement;
}

char *toString(const TolvernError &error)
{
    const QByteArray text = QByteArray::number(int(error.kind())) + ": " + error.errorDescription().toUtf8();
    char *copy = new char[size_t(text.size()) + 1];
    std::memcpy(copy, text.constData(), size_t(text.size()) + 1);
    return copy;
}
