#include "SecretServiceItems.h"

#include <libsecret/secret.h>

#include <cstring>

namespace SecretServiceItems {

namespace {
const SecretSchema *schema()
{
    // Matched by attributes alone, so other keyring tools can find the items by
    // service and account.
    static const SecretSchema value = {
        "com.tolvern.account.Item",
        SECRET_SCHEMA_DONT_MATCH_NAME,
        {
            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"access_group", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"application_tag", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {"key_class", SECRET_SCHEMA_ATTRIBUTE_STRING},
            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
        },
        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    };
    return &value;
}

GHashTable *table(const Attributes &attributes)
{
    GHashTable *result = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    for (auto it = attributes.constBegin(); it != attributes.constEnd(); ++it)
        g_hash_table_insert(result, g_strdup(it.key().toUtf8().constData()),
                            g_strdup(it.value().toUtf8().constData()));
    return result;
}
} // namespace

std::int32_t statusFor(const GError *error)
{
    if (!error)
        return success;
    if (error->domain == SECRET_ERROR) {
        if (error->code == SECRET_ERROR_IS_LOCKED)
            return interactionNotAllowed;
        if (error->code == SECRET_ERROR_NO_SUCH_OBJECT)
            return itemNotFound;
        return otherFailure;
    }
    // A dismissed unlock prompt.
    if (error->domain == G_IO_ERROR && error->code == G_IO_ERROR_CANCELLED)
        return interactionNotAllowed;
    if (error->domain == G_DBUS_ERROR) {
        if (g_dbus_error_is_remote_error(error)) {
            gchar *remote = g_dbus_error_get_remote_error(error);
            const bool locked = remote && std::strcmp(remote, "org.freedesktop.Secret.Error.IsLocked") == 0;
            g_free(remote);
            if (locked)
                return interactionNotAllowed;
        }
        switch (error->code) {
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_NO_SERVER:
        case G_DBUS_ERROR_DISCONNECTED:
        case G_DBUS_ERROR_FILE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
        case G_DBUS_ERROR_SPAWN_FORK_FAILED:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
        case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
        case G_DBUS_ERROR_SPAWN_FAILED:
        case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
        case G_DBUS_ERROR_SPAWN_FILE_INVALID:
        case G_DBUS_ERROR_SPAWN_NO_MEMORY:
            return notAvailable;
        default:
            return otherFailure;
        }
    }
    // No session bus to connect to (missing socket, no address, no autolaunch).
    if (error->domain == G_IO_ERROR || error->domain == G_SPAWN_ERROR)
        return notAvailable;
    return otherFailure;
}

std::int32_t store(const Attributes &attributes, const QString &label, const QByteArray &secret)
{
    GHashTable *fields = table(attributes);
    SecretValue *value = secret_value_new(secret.constData(), secret.size(), "application/octet-stream");
    GError *error = nullptr;
    const gboolean stored = secret_password_storev_binary_sync(schema(), fields, SECRET_COLLECTION_DEFAULT,
                                                               label.toUtf8().constData(), value, nullptr, &error);
    secret_value_unref(value);
    g_hash_table_unref(fields);
    std::int32_t status = stored ? success : statusFor(error);
    if (!stored && status == success)
        status = otherFailure;
    g_clear_error(&error);
    return status;
}

Lookup lookup(const Attributes &attributes)
{
    GHashTable *fields = table(attributes);
    GError *error = nullptr;
    SecretValue *value = secret_password_lookupv_binary_sync(schema(), fields, nullptr, &error);
    g_hash_table_unref(fields);
    Lookup result;
    if (error) {
        result.status = statusFor(error);
        g_clear_error(&error);
    } else if (!value) {
        result.status = itemNotFound;
    } else {
        gsize length = 0;
        const gchar *bytes = secret_value_get(value, &length);
        result.status = success;
        result.secret = QByteArray(bytes, qsizetype(length));
    }
    if (value)
        secret_value_unref(value);
    return result;
}

std::int32_t clear(const Attributes &attributes)
{
    GHashTable *fields = table(attributes);
    GError *error = nullptr;
    const gboolean removed = secret_password_clearv_sync(schema(), fields, nullptr, &error);
    g_hash_table_unref(fields);
    std::int32_t status = error ? statusFor(error) : (removed ? success : itemNotFound);
    g_clear_error(&error);
    return status;
}

} // namespace SecretServiceItems
