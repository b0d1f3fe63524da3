#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QStringList>
#include <QUrl>

#include <optional>

// A parsed ID token: header, claims and the fields the client checks. Its signature
// is not checked.
class OidcIDToken
{
public:
    // None unless both sections are JSON objects and issuer, audience, subject, expiry
    // and issue time are present.
    static std::optional<OidcIDToken> parse(const QString &idToken);
    static std::optional<QJsonObject> parseJWTSection(const QString &section);
    static QByteArray base64urlNoPaddingDecode(const QString &text);

    QJsonObject header() const { return m_header; }
    QJsonObject claims() const { return m_claims; }
    QUrl issuer() const { return m_issuer; }
    QString subject() const { return m_subject; }
    QStringList audience() const { return m_audience; }
    QDateTime expiresAt() const { return m_expiresAt; }
    QDateTime issuedAt() const { return m_issuedAt; }
    std::optional<QString> nonce() const { return m_nonce; }

private:
    OidcIDToken() = default;

    QJsonObject m_header;
    QJsonObject m_claims;
    QUrl m_issuer;
    QString m_subject;
    QStringList m_audience;
    QDateTime m_expiresAt;
    QDateTime m_issuedAt;
    std::optional<QString> m_nonce;
};
