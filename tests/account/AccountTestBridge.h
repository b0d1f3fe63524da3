#pragma once

#include "IdentityPeer.h"
#include "InMemoryStorage.h"
#include "KeychainStorage.h"
#include "OidcPeer.h"
#include "StoredSession.h"
#include "TolvernAccountLibrary.h"
#include "account/TolvernAccountBridge.h"
#include "diagnostics/Analytics.h"

#include <QNetworkAccessManager>

#include <memory>

// A bridge as the application makes it, but over the identity stand-in (and, for
// sign-ins, the real OpenID provider), with the test's store and device key.
namespace AccountTest {

inline const QString accountID = QStringLiteral("ta_0190a1b2-c3d4-7e5f-8a6b-7c8d9e0f1a2b");
inline const QString email = QStringLiteral("tester@example.com");

inline TolvernConfig config(QNetworkAccessManager *network, const QUrl &identity,
                            const QUrl &authority = QUrl(QStringLiteral("http://127.0.0.1:9")))
{
    // The provider wants "openid" for its id token; the app asks for its own scope only.
    return TolvernConfig(authority, identity, QStringLiteral("sorvane"), OidcPeer::clientId(), QStringLiteral("1.1.18"),
                         QString::fromLatin1(TolvernAccountLibrary::libVersion),
                         QUrl(QStringLiteral("sorvane://auth/callback")), AuthScheme::systemBrowser, std::nullopt,
                         {QStringLiteral("openid"), QStringLiteral("tolvern.account")}, network, TolvernLogger(),
                         QStringLiteral("0f8e3a52-5d1c-4a8e-9c7b-2e6f1a3b4c5d"));
}

inline TolvernAccountManager::Dependencies dependencies(std::shared_ptr<TolvernAccountDataStorage> storage)
{
    TolvernAccountManager::Dependencies made;
    made.storage = std::move(storage);
    made.dpopKeySource = DPoPSigner::KeySource::memoryOnly;
    return made;
}

// The library's record of a session the stand-in opened, expiring at `expiresAt`.
inline StoredSession stored(const IdentityPeer::Session &session, const QDateTime &expiresAt)
{
    StoredSession made;
    made.tvs = session.tvs;
    made.refreshToken = session.refreshToken;
    made.expiresAt = expiresAt;
    made.account = TolvernAccount{TolvernAccountID{accountID}, email, std::nullopt};
    made.appSlug = QStringLiteral("sorvane");
    made.issuedAt = QDateTime::currentDateTimeUtc().addSecs(-60);
    return made;
}

inline void store(TolvernAccountDataStorage &storage, const StoredSession &session)
{
    storage.setJSON(session, QLatin1String(KeychainStorage::Keys::session));
}

inline std::optional<StoredSession> storedSession(TolvernAccountDataStorage &storage)
{
    return storage.getJSON<StoredSession>(QLatin1String(KeychainStorage::Keys::session));
}

// The usage events recorded while it lives, as their callers passed them. The
// account's events all come from the GUI thread.
class TrackedEvents
{
public:
    QList<std::pair<QString, QVariantMap>> events;

    TrackedEvents()
    {
        Analytics::setObserver(
            [this](const QString &name, const QVariantMap &properties) { events.append({name, properties}); });
    }
    ~TrackedEvents() { Analytics::setObserver(nullptr); }
    TrackedEvents(const TrackedEvents &) = delete;
    TrackedEvents &operator=(const TrackedEvents &) = delete;

    QStringList names() const
    {
        QStringList made;
        for (const auto &event : events)
            made << event.first;
        return made;
    }
    int count(const QString &name) const { return int(names().count(name)); }
};

} // namespace AccountTest
