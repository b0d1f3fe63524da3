#include "TolvernError.h"

#include <cstring>

TolvernError::TolvernError(Case kind)
    : m_case(kind)
{
}

TolvernError TolvernError::serverError(int status, std::optional<QString> code)
{
    TolvernError error(Case::serverError);
    error.m_status = status;
    error.m_text = std::move(code);
    error.m_what = error.errorDescription().toUtf8();
    return error;
}

TolvernError TolvernError::malformedResponse(std::optional<QString> field)
{
    TolvernError error(Case::malformedResponse);
    error.m_text = std::move(field);
    error.m_what = error.errorDescription().toUtf8();
    return error;
}

TolvernError TolvernError::authorizationFailed(const QString &reason)
{
    TolvernError error(Case::authorizationFailed);
    error.m_text = reason;
    error.m_what = error.errorDescription().toUtf8();
    return error;
}

TolvernError TolvernError::keychainFailure(std::int32_t status)
{
    TolvernError error(Case::keychainFailure);
    error.m_status = status;
    error.m_what = error.errorDescription().toUtf8();
    return error;
}

TolvernError TolvernError::clientKilled(std::optional<QUrl> replacement)
{
    TolvernError error(Case::clientKilled);
    error.m_replacement = std::move(replacement);
    error.m_what = error.errorDescription().toUtf8();
    return error;
}

TolvernError TolvernError::requiresUpgrade(const QString &minVersion)
{
    TolvernError error(Case::requiresUpgrade);
    error.m_text = minVersion;
    error.m_what = error.errorDescription().toUtf8();
    return error;
}

TolvernError TolvernError::dpopUnavailable(const QString &reason)
{
    TolvernError error(Case::dpopUnavailable);
    error.m_text = reason;
    error.m_what = error.errorDescription().toUtf8();
    return error;
}

#define TOLVERN_PLAIN_CASE(name)                          \
    TolvernError TolvernError::name()                     \
    {                                                     \
        TolvernError error(Case::name);                   \
        error.m_what = error.errorDescription().toUtf8(); \
        return error;                                     \
    }
TOLVERN_PLAIN_CASE(notSignedIn)
TOLVERN_PLAIN_CASE(sessionExpired)
TOLVERN_PLAIN_CASE(networkUnavailable)
TOLVERN_PLAIN_CASE(authorizationCancelled)
#undef TOLVERN_PLAIN_CASE

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
