#include "PassphraseStore.h"

#include "UserPresence.h"

#include <QStringDecoder>

#include <libsecret/secret.h>

#include <cstring>

namespace {
const SecretSchema *schema()
{
    // Matched by attributes alone, so the items are the plain service/account
    // pairs other keyring tools show and find.
    static const SecretSchema value = {
        "dev.tolvern.sorvane.EncryptionPassphrase",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &value;
}

void dropError(GError **error)
{
    if (*error)
        g_clear_error(error);
}

bool hasItem(const QByteArray &account)
{
    GError *error = nullptr;
    GList *items = secret_password_search_sync(schema(), SECRET_SEARCH_NONE, nullptr, &error,
                                               "service", PassphraseStore::service,
                                               "account", account.constData(), nullptr);
    dropError(&error);
    const bool found = items != nullptr;
    g_list_free_full(items, g_object_unref);
    return found;
}
} // namespace

PassphraseStore::PassphraseStore(UserPresence &presence)
    : m_presence(&presence)
{
}

PassphraseStore PassphraseStore::shared()
{
    return PassphraseStore(UserPresence::shared());
}

bool PassphraseStore::store(const QString &passphrase, const QString &account) const
{
    const QByteArray accountBytes = account.toUtf8();
    remove(account);
    QByteArray secret = passphrase.toUtf8();
    GError *error = nullptr;
    const gboolean added = secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT,
                                                      accountBytes.constData(), secret.constData(), nullptr, &error,
                                                      "service", service,
                                                      "account", accountBytes.constData(), nullptr);
    explicit_bzero(secret.data(), static_cast<size_t>(secret.size()));
    dropError(&error);
    return added;
}

std::optional<QString> PassphraseStore::read(const QString &account) const
{
    const QByteArray accountBytes = account.toUtf8();
    // Asking for the login password only makes sense when there is something to unlock.
    if (!hasItem(accountBytes))
        return std::nullopt;
    if (!m_presence->confirm(QStringLiteral("Unlock this sorv.ane document")))
        return std::nullopt;

    GError *error = nullptr;
    gchar *secret = secret_password_lookup_sync(schema(), nullptr, &error,
                                                "service", service,
                                                "account", accountBytes.constData(), nullptr);
    dropError(&error);
    if (!secret)
        return std::nullopt;
    const QByteArray bytes(secret);
    secret_password_free(secret);

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

bool PassphraseStore::remove(const QString &account) const
{
    const QByteArray accountBytes = account.toUtf8();
    GError *error = nullptr;
    const gboolean removed = secret_password_clear_sync(schema(), nullptr, &error,
                                                        "service", service,
                                                        "account", accountBytes.constData(), nullptr);
    dropError(&error);
    return removed;
}
