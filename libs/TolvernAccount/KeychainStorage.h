#pragma once

#include "Internal/SecretServiceItems.h"
#include "TolvernAccountDataStorage.h"

#include <QString>

#include <optional>

// The library's store in the desktop keyring: one Secret Service item per key,
// with the attributes "service" = "com.tolvern.account." + app slug, "account" =
// the key and, only when one is given, "access_group". Further attributes given at
// creation are put on every item (and take part in finding it).
//
// Holds no state of its own and takes no lock.
class KeychainStorage : public TolvernAccountDataStorage
{
public:
    struct Keys
    {
        static constexpr const char *session = "tolvern_session";
        static constexpr const char *dpopJwkThumbprint = "tolvern_dpop_jkt";
        static constexpr const char *oidcAuthState = "tolvern_oidc_authstate";
    };

    explicit KeychainStorage(const QString &appSlug, std::optional<QString> accessGroup = std::nullopt,
                             SecretServiceItems::Attributes extraAttributes = {});

    const QString &service() const { return m_service; }
    const std::optional<QString> &accessGroup() const { return m_accessGroup; }
    // What identifies the item of a key.
    SecretServiceItems::Attributes attributes(const QString &key) const;

    // Throws TolvernError::keychainFailure with the status of SecretServiceItems.
    void setData(const QByteArray &data, const QString &key) override;
    std::optional<QByteArray> getData(const QString &key) override;
    void deleteData(const QString &key) override;

private:
    QString m_service;
    std::optional<QString> m_accessGroup;
    SecretServiceItems::Attributes m_extraAttributes;
};
