#pragma once

#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QUrl>

#include <optional>

// The small reads and writes every keyed archive of the client shares: optional
// strings and URLs, and string-to-string maps.
namespace OidcArchiveCoding {

inline void putString(QJsonObject &archive, const QString &key, const std::optional<QString> &value)
{
    if (value)
        archive.insert(key, *value);
}

inline void putURL(QJsonObject &archive, const QString &key, const std::optional<QUrl> &value)
{
    if (value)
        archive.insert(key, value->toString(QUrl::FullyEncoded));
}

inline void putParameters(QJsonObject &archive, const QString &key, const std::optional<QMap<QString, QString>> &value)
{
    if (!value)
        return;
    QJsonObject object;
    for (auto it = value->constBegin(); it != value->constEnd(); ++it)
        object.insert(it.key(), it.value());
    archive.insert(key, object);
}

inline std::optional<QString> readString(const QJsonObject &archive, const QString &key)
{
    const QJsonValue value = archive.value(key);
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

inline std::optional<QUrl> readURL(const QJsonObject &archive, const QString &key)
{
    const std::optional<QString> text = readString(archive, key);
    return text ? std::optional<QUrl>(QUrl(*text, QUrl::StrictMode)) : std::nullopt;
}

// Only the members whose values are strings.
inline std::optional<QMap<QString, QString>> readParameters(const QJsonObject &archive, const QString &key)
{
    const QJsonValue value = archive.value(key);
    if (!value.isObject())
        return std::nullopt;
    QMap<QString, QString> parameters;
    const QJsonObject object = value.toObject();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (it.value().isString())
            parameters.insert(it.key(), it.value().toString());
    }
    return parameters;
}

} // namespace OidcArchiveCoding
