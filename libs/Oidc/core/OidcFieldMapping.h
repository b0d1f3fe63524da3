#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <functional>
#include <optional>

// One entry of a response's field map: which field a wire parameter fills, the value
// type the field takes, and an optional conversion of the raw value. Response records
// keep their typed fields in a QVariantMap keyed by field name; their accessors read it.
class OidcFieldMapping
{
public:
    enum class Type { String, URL, Date, Number, Array, Map };
    using Conversion = std::function<QVariant(const QVariant &)>;
    // Wire parameter name → mapping.
    using Map = QMap<QString, OidcFieldMapping>;

    OidcFieldMapping() = default;
    OidcFieldMapping(const QString &name, Type type, Conversion conversion = {});

    QString name() const { return m_name; }
    Type expectedType() const { return m_type; }

    // Fills `instance` from `parameters` through `map`; returns what no field took
    // (unmapped names, and mapped ones whose value had another type).
    static QVariantMap remainingParameters(const Map &map, const QVariantMap &parameters, QVariantMap &instance);
    // The instance's mapped fields as a keyed archive under their parameter names.
    static void encode(QJsonObject &archive, const Map &map, const QVariantMap &instance);
    // Reads each mapped parameter back when it has the expected type.
    static void decode(const QJsonObject &archive, const Map &map, QVariantMap &instance);
    // A value a decoded additionalParameters map may hold: map, list, string, number.
    static bool isJSONType(const QVariant &value);
    static bool hasType(const QVariant &value, Type type);

    // A response record's archive: its request's, the mapped fields under their
    // parameter names, and the extras that are JSON values.
    static QJsonObject archiveResponse(const QJsonObject &requestArchive, const Map &map, const QVariantMap &fields,
                                       const QVariantMap &additionalParameters);
    // Reads back what archiveResponse wrote (the request aside).
    static void restoreResponse(const QJsonObject &archive, const Map &map, QVariantMap &fields,
                                QVariantMap &additionalParameters);
    // A field of a response record: present, or none.
    static std::optional<QString> stringField(const QVariantMap &fields, const QString &name);
    static std::optional<QDateTime> dateField(const QVariantMap &fields, const QString &name);
    // The extras as a description prints them.
    static QString describe(const QVariantMap &additionalParameters);

    static QVariant URLConversion(const QVariant &value);
    // A number n becomes now + n seconds (n taken whole).
    static QVariant dateSinceNowConversion(const QVariant &value);
    // A number n becomes 1970-01-01 00:00 UTC + n seconds (n taken whole).
    static QVariant dateEpochConversion(const QVariant &value);

private:
    QString m_name;
    Type m_type = Type::String;
    Conversion m_conversion;
};
