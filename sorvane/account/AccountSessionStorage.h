#pragma once

#include "TolvernAccountSession.h"

#include <optional>

// The process-wide copy of the adopted account record, which analytics reads from any
// thread (the account id as a base property, the token as the mirror's bearer), and
// the removal of the record an older release kept in the keyring.
class AccountSessionStorage
{
public:
    AccountSessionStorage() = delete;

    static std::optional<TolvernAccountSession> current();
    // Only AccountSessionManager::adoptSession writes it.
    static void setCurrent(std::optional<TolvernAccountSession> session);

    // Deletes the keyring item of service "dev.tolvern.sorvane.account-session" and
    // account "tvs-session"; a missing item and a failure look the same.
    static void clearLegacyKeychain();

    static constexpr const char *legacyService = "dev.tolvern.sorvane.account-session";
    static constexpr const char *legacyAccount = "tvs-session";
};
