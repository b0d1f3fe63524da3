#include "OidcError.h"

QString OidcError::description() const
{
    if (localizedDescription)
        return *localizedDescription;
    return QStringLiteral("The operation couldn\u2019t be completed. (%1 error %2.)").arg(domain).arg(code);
}

bool OidcError::operator==(const OidcError &other) const
{
    const bool sameUnderlying = (!underlyingError && !other.underlyingError)
        || (underlyingError && other.underlyingError && *underlyingError == *other.underlyingError);
    return domain == other.domain && code == other.code && localizedDescription == other.localizedDescription
        && oauthErrorResponse == other.oauthErrorResponse && sameUnderlying;
}

OidcException::OidcException(const QString &name, const QString &reason)
    : std::logic_error((name + QStringLiteral(": ") + reason).toStdString())
    , m_name(name)
    , m_reason(reason)
{
}
