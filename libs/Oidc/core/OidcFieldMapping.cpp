#include "OidcFieldMapping.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QUrl>

#include <cmath>

namespace {
bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::ULongLong:
    case QMetaType::Double: case QMetaType::Float: case QMetaType::Long: case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}
} // namespace

OidcFieldMapping::OidcFieldMapping(const QString &name, Type type, Conversion conversion)
    : m_name(name)
    , m_type(type)
    , m_conversion(std::move(conversion))
{
}

bool OidcFieldMapping::hasType(const QVariant &value, Type type)
{
    switch (type) {
    case Type::String: return value.typeId() == QMetaType::QString;
    case Type::URL: return value.typeId() == QMetaType::QUrl;
    case Type::Date: return value.typeId() == QMetaType::QDateTime;
    case Type::Number: return isNumber(value);
    case Type::Array: return value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList;
    case Type::Map: return value.typeId() == QMetaType::QVariantMap;
    }
    return false;
}

bool OidcFieldMapping::isJSONType(const QVariant &value)
{
    return hasType(value, Type::Map) || hasType(value, Type::Array) || hasType(value, Type::String) || isNumber(value);
}

QVariantMap OidcFieldMapping::remainingParameters(const Map &map, const QVariantMap &parameters, QVariantMap &instance)
{
    QVariantMap remaining;
    for (auto it = parameters.constBegin(); it != parameters.constEnd(); ++it) {
        QVariant value = it.value();
        const auto entry = map.constFind(it.key());
        if (entry != map.constEnd()) {
            if (entry->m_conversion)
                value = entry->m_conversion(value);
            if (hasType(value, entry->m_type)) {
                instance.insert(entry->m_name, value);
                continue;
            }
        }
        remaining.insert(it.key(), value);
    }
    return remaining;
}

void OidcFieldMapping::encode(QJsonObject &archive, const Map &map, const QVariantMap &instance)
{
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QVariant value = instance.value(it->m_name);
        if (!value.isValid())
            continue;
        switch (it->m_type) {
        case Type::URL: archive.insert(it.key(), value.toUrl().toString(QUrl::FullyEncoded)); break;
        case Type::Date: archive.insert(it.key(), value.toDateTime().toMSecsSinceEpoch()); break;
        default: archive.insert(it.key(), QJsonValue::fromVariant(value)); break;
        }
    }
}

void OidcFieldMapping::decode(const QJsonObject &archive, const Map &map, QVariantMap &instance)
{
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QJsonValue value = archive.value(it.key());
        switch (it->m_type) {
        case Type::String:
            if (value.isString())
                instance.insert(it->m_name, value.toString());
            break;
        case Type::URL:
            if (value.isString())
                instance.insert(it->m_name, QUrl(value.toString(), QUrl::StrictMode));
            break;
        case Type::Date:
            if (value.isDouble())
                instance.insert(it->m_name, QDateTime::fromMSecsSinceEpoch(qint64(value.toDouble()), Qt::UTC));
            break;
        case Type::Number:
            if (value.isDouble())
                instance.insert(it->m_name, value.toDouble());
            break;
        case Type::Array:
            if (value.isArray())
                instance.insert(it->m_name, value.toArray().toVariantList());
            break;
        case Type::Map:
            if (value.isObject())
                instance.insert(it->m_name, value.toObject().toVariantMap());
            break;
        }
    }
}

QVariant OidcFieldMapping::URLConversion(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return QUrl(value.toString());
    return value;
}

QVariant OidcFieldMapping::dateSinceNowConversion(const QVariant &value)
{
    if (!isNumber(value))
        return value;
    const double seconds = std::trunc(value.toDouble());
    return QDateTime::currentDateTimeUtc().addSecs(qint64(seconds));
}

QVariant OidcFieldMapping::dateEpochConversion(const QVariant &value)
{
    if (!isNumber(value))
        return value;
    const double seconds = std::trunc(value.toDouble());
    return QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC);
}

QJsonObject OidcFieldMapping::archiveResponse(const QJsonObject &requestArchive, const Map &map,
                                              const QVariantMap &fields, const QVariantMap &additionalParameters)
{
    QJsonObject archive{{QStringLiteral("request"), requestArchive}};
    encode(archive, map, fields);
    QVariantMap extras;
    for (auto it = additionalParameters.constBegin(); it != additionalParameters.constEnd(); ++it) {
        if (isJSONType(it.value()))
            extras.insert(it.key(), it.value());
    }
    archive.insert(QStringLiteral("additionalParameters"), QJsonObject::fromVariantMap(extras));
    return archive;
}

void OidcFieldMapping::restoreResponse(const QJsonObject &archive, const Map &map, QVariantMap &fields,
                                       QVariantMap &additionalParameters)
{
    decode(archive, map, fields);
    additionalParameters = archive.value(QStringLiteral("additionalParameters")).toObject().toVariantMap();
}

std::optional<QString> OidcFieldMapping::stringField(const QVariantMap &fields, const QString &name)
{
    const QVariant value = fields.value(name);
    return value.isValid() ? std::optional<QString>(value.toString()) : std::nullopt;
}

std::optional<QDateTime> OidcFieldMapping::dateField(const QVariantMap &fields, const QString &name)
{
    const QVariant value = fields.value(name);
    return value.isValid() ? std::optional<QDateTime>(value.toDateTime()) : std::nullopt;
}

QString OidcFieldMapping::describe(const QVariantMap &additionalParameters)
{
    return QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(additionalParameters)).toJson(QJsonDocument::Compact));
}
