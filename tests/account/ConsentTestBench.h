#pragma once

// What the consent tests share: the identity stand-in (which also answers the
// marketing capture), a bridge configured against it with an Apple test driver, and
// the consent lines of the diagnostic log.

#include "AccountTestBridge.h"
#include "AwaitTask.h"
#include "IdentityPeer.h"
#include "account/SignupConsentService.h"
#include "account/TolvernAccountBridge.h"
#include "diagnostics/DiagnosticLogBuffer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QStringList>

#include <memory>

namespace ConsentTestBench {

inline const QString newAccountID = QStringLiteral("ta_0190a1b2-c3d4-7e5f-8a6b-7c8d9e0f1a2b");
inline const QString newAccountEmail = QStringLiteral("fern@example.com");

// The next request on `path` gets `status`; 0 drops the connection unanswered, and
// drops the second try too, since Qt sends a request again once when that happens.
inline void enqueueReply(IdentityPeer &peer, const QByteArray &path, int status)
{
    if (status == 0) {
        peer.enqueue(path, IdentityPeer::dropped());
        peer.enqueue(path, IdentityPeer::dropped());
    } else {
        peer.enqueue(path, IdentityPeer::jsonReply(status, "{\"ok\":true}"));
    }
}

inline QJsonObject bodyOf(const IdentityPeer::LoggedRequest &entry)
{
    return QJsonDocument::fromJson(entry.request.body).object();
}

// The consent records and captures in the order the stand-in received them.
inline QStringList wireOrder(const IdentityPeer &peer)
{
    QStringList order;
    for (const IdentityPeer::LoggedRequest &entry : peer.log()) {
        if (entry.path == IdentityPeer::kConsents)
            order << bodyOf(entry).value(QStringLiteral("kind")).toString();
        else if (entry.path == IdentityPeer::kContactsCapture)
            order << QStringLiteral("capture");
    }
    return order;
}

// Messages of the "consent" category logged after `from` entries.
inline QStringList consentLines(qsizetype from)
{
    QStringList lines;
    const QList<DiagnosticLogEntry> entries = DiagnosticLogBuffer::shared().entries();
    for (qsizetype i = from; i < entries.size(); ++i) {
        if (entries.at(i).category == QLatin1String("consent"))
            lines << entries.at(i).level + QLatin1Char(' ') + entries.at(i).msg;
    }
    return lines;
}

inline qsizetype logMark()
{
    return DiagnosticLogBuffer::shared().entries().size();
}

class Bench
{
public:
    Bench()
    {
        qputenv(SignupConsentService::marketingURLVariable, peer.baseUrl().toEncoded());
        TolvernAccountManager::Dependencies dependencies;
        dependencies.appleAuthorize = [](QObject *) -> QCoro::Task<SignInWithAppleDriver::AppleAuthorization> {
            co_return SignInWithAppleDriver::AppleAuthorization{QStringLiteral("apple-code"),
                                                               QStringLiteral("apple-identity-token"),
                                                               QStringLiteral("001234.apple-user"),
                                                               std::nullopt, std::nullopt, std::nullopt};
        };
        bridge = std::make_unique<TolvernAccountBridge>(AccountTest::config(&network, peer.baseUrl()), dependencies);
    }
    ~Bench() { SignupConsentService::setRegionSource({}); }

    // A native Apple sign-in that the stand-in answers as a new account with a live
    // session; an absent account id or e-mail is left out of the answer.
    bool signInNewAccount(std::optional<QString> accountID = newAccountID,
                          std::optional<QString> email = newAccountEmail)
    {
        const IdentityPeer::Session session = peer.openSession(accountID.value_or(QString()), email.value_or(QString()));
        enqueueAppleSession(session.tvs, session.refreshToken, session.expiresAt, accountID, email);
        return signIn();
    }

    // The sign-in itself, answered by what was queued for the Apple exchange.
    bool signIn()
    {
        try {
            awaitTask(bridge->manager().signInWithApple(nullptr));
        } catch (const std::exception &error) {
            qWarning("Apple sign-in failed: %s", error.what());
            return false;
        }
        const bool ready = bridge->manager().lastAppleSignInIsNewUser() == std::optional<bool>(true)
                           && bridge->currentSession().has_value();
        peer.clearLog();
        return ready;
    }

    // The next Apple exchange answers a new account with this session.
    void enqueueAppleSession(const QString &tvs, const QString &refreshToken, const QDateTime &expiresAt,
                             std::optional<QString> accountID = newAccountID,
                             std::optional<QString> email = newAccountEmail)
    {
        QJsonObject body{{"ok", true},
                         {"tvs", tvs},
                         {"refresh_token", refreshToken},
                         {"expires_at", expiresAt.toString(Qt::ISODate)},
                         {"is_new_user", true}};
        if (accountID)
            body.insert("tolvern_account_id", *accountID);
        if (email)
            body.insert("email", *email);
        peer.enqueue(IdentityPeer::kAppleAuthcode,
                     IdentityPeer::jsonReply(200, QJsonDocument(body).toJson(QJsonDocument::Compact)));
    }

    static void setRegion(const QString &region)
    {
        SignupConsentService::setRegionSource([region] { return region; });
    }

    IdentityPeer peer;
    QNetworkAccessManager network;
    std::unique_ptr<TolvernAccountBridge> bridge;
};

} // namespace ConsentTestBench
