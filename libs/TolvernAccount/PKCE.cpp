#include "PKCE.h"

#include "Base64URL.h"
#include "SecureRandom.h"

#include <QCryptographicHash>

PKCE::PKCE(const QString &verifier)
    : codeVerifier(verifier)
    , codeChallenge(Base64URL::encode(QCryptographicHash::hash(verifier.toUtf8(), QCryptographicHash::Sha256)))
    , codeChallengeMethod(QStringLiteral("S256"))
{
}

PKCE PKCE::generate()
{
    return PKCE(SecureRandom::urlSafeString(32));
}
