#pragma once

#include "TolvernAccountDataStorage.h"

#include <QString>

#include <memory>

// Two facts about one installation of a host, kept in the library's keyring store:
// a random install identifier (made on first use, then stable once stored) and a
// marker that the host's first-open event was recorded. Every operation runs under
// one lock shared by all instances in the process, so two callers never make two
// identifiers. Nothing guards against another process.
class TolvernInstallMetrics
{
public:
    struct Keys
    {
        static constexpr const char *installID = "tolvern_install_id";
        static constexpr const char *firstOpenFired = "tolvern_first_open_fired";
    };

    // The keyring store of "com.tolvern.account." + appSlug, without access group.
    explicit TolvernInstallMetrics(const QString &appSlug);
    // Any store (tests, hosts without a keyring).
    explicit TolvernInstallMetrics(std::shared_ptr<TolvernAccountDataStorage> storage);

    // The stored identifier as a lower-case 36-character UUID, or a new one. A UUID
    // stored in another spelling (upper case, a "dev_" prefix) is answered in that
    // form and the item rewritten once; any other content is replaced. Never fails:
    // when storing fails the fresh identifier is still answered.
    QString installID() const;
    // True while no marker is stored (an unreadable one counts as none).
    bool shouldFireFirstOpen() const;
    // Stores the marker unless present; false only when storing it failed.
    bool markFirstOpenFired() const;

private:
    std::shared_ptr<TolvernAccountDataStorage> m_storage;
};
