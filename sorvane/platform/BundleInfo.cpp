#include "BundleInfo.h"

namespace {

std::optional<QVariantMap> &replaced()
{
    static std::optional<QVariantMap> map;
    return map;
}

void insertIfSet(QVariantMap &map, const char *key, const char *value)
{
    const QString text = QString::fromUtf8(value);
    if (!text.isEmpty())
        map.insert(QString::fromLatin1(key), text);
}

} // namespace

QVariantMap BundleInfo::info()
{
    if (replaced())
        return *replaced();
    QVariantMap map;
    insertIfSet(map, "CFBundleShortVersionString", SORVANE_VERSION);
    insertIfSet(map, "CFBundleVersion", SORVANE_BUILD_NUMBER);
    insertIfSet(map, "SUFeedURL", SORVANE_UPDATE_FEED_URL);
    insertIfSet(map, "SUPublicEDKey", SORVANE_UPDATE_PUBLIC_KEY);
    return map;
}

void BundleInfo::setInfoForTesting(std::optional<QVariantMap> info)
{
    replaced() = std::move(info);
}

std::optional<QString> BundleInfo::string(const QString &key)
{
    const QVariant value = info().value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}
