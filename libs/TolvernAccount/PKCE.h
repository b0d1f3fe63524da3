#pragma once

#include <QString>

// A Proof Key for Code Exchange pair (S256) for callers that run their own
// authorization requests.
struct PKCE
{
    QString codeVerifier;
    QString codeChallenge;
    QString codeChallengeMethod;

    // The pair for a given verifier, used unchanged (its length and characters are
    // the caller's business).
    explicit PKCE(const QString &verifier);
    // A fresh pair from 32 random bytes; throws when the random source fails.
    static PKCE generate();

    bool operator==(const PKCE &other) const = default;
};
