#include "AccountSessionStorage.h"

#include <libsecret/secret.h>

#include <mutex>

namespace {
std::mutex &currentMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::optional<TolvernAccountSession> &currentSession()
{
    static std::optional<TolvernAccountSession> session;
    return session;
}

// Any schema name: the older release's items are found by their two attributes alone.
const SecretSchema legacySchema = {
    "dev.tolvern.sorvane.account-session",
    SECRET_SCHEMA_DONT_MATCH_NAME,
    {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
     {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
     {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
    0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
} // namespace

std::optional<TolvernAccountSession> AccountSessionStorage::current()
{
    const std::lock_guard locker(currentMutex());
    return currentSession();
}

void AccountSessionStorage::setCurrent(std::optional<TolvernAccountSession> session)
{
    const std::lock_guard locker(currentMutex());
    currentSession() = std::move(session);
}

void AccountSessionStorage::clearLegacyKeychain()
{
    GError *error = nullptr;
    secret_password_clear_sync(&legacySchema, nullptr, &error, "service", legacyService, "account", legacyAccount,
                               nullptr);
    if (error)
        g_error_free(error);
}
