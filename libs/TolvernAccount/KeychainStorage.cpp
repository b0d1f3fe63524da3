#include "KeychainStorage.h"

#include "TolvernError.h"

KeychainStorage::KeychainStorage(const QString &appSlug, std::optional<QString> accessGroup,
                                 SecretServiceItems::Attributes extraAttributes)
    : m_service(QStringLiteral("com.tolvern.account.") + appSlug)
    , m_accessGroup(std::move(accessGroup))
    , m_extraAttributes(std::move(extraAttributes))
{
}

SecretServiceItems::Attributes KeychainStorage::attributes(const QString &key) const
{
    SecretServiceItems::Attributes result = m_extraAttributes;
    result.insert(QStringLiteral("service"), m_service);
    result.insert(QStringLiteral("account"), key);
    if (m_accessGroup)
        result.insert(QStringLiteral("access_group"), *m_accessGroup);
    return result;
}

void KeychainStorage::setData(const QByteArray &data, const QString &key)
{
    const std::int32_t status = SecretServiceItems::store(attributes(key), m_service + QLatin1Char('/') + key, data);
    if (status != SecretServiceItems::success)
        throw TolvernError::keychainFailure(status);
}

std::optional<QByteArray> KeychainStorage::getData(const QString &key)
{
    const SecretServiceItems::Lookup found = SecretServiceItems::lookup(attributes(key));
    if (found.status != SecretServiceItems::success)
        return std::nullopt;
    return found.secret;
}

void KeychainStorage::deleteData(const QString &key)
{
    SecretServiceItems::clear(attributes(key));
}
