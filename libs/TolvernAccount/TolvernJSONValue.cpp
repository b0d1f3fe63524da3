#include "TolvernJSONValue.h"

#include "TolvernDecodingError.h"
#include "TolvernJSON.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

namespace {
QString foundName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("bool");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a string");
    case QJsonValue::Array: return QStringLiteral("an array");
    case QJsonValue::Object: return QStringLiteral("a dictionary");
    }
    return QString();
}
} // namespace

TolvernJSONValue::TolvernJSONValue(QJsonValue value, QStringList codingPath)
    : m_value(std::move(value))
    , m_path(std::move(codingPath))
{
}

void TolvernJSONValue::mismatch(const QString &expected) const
{
    throw TolvernDecodingError(TolvernDecodingError::Kind::typeMismatch, m_path,
                               QStringLiteral("Expected to decode %1 but found %2 instead.")
                                   .arg(expected, foundName(m_value)));
}

void TolvernJSONValue::corrupted(const QString &description) const
{
    throw TolvernDecodingError(TolvernDecodingError::Kind::dataCorrupted, m_path, description);
}

QString TolvernJSONValue::toString() const
{
    if (!m_value.isString())
        mismatch(QStringLiteral("String"));
    return m_value.toString();
}

bool TolvernJSONValue::toBool() const
{
    if (!m_value.isBool())
        mismatch(QStringLiteral("Bool"));
    return m_value.toBool();
}

qint64 TolvernJSONValue::toInteger() const
{
    if (!m_value.isDouble())
        mismatch(QStringLiteral("Int"));
    const double number = m_value.toDouble();
    // 2^63 itself is out of range; every double below it converts exactly.
    if (!std::isfinite(number) || std::trunc(number) != number || number < -9223372036854775808.0
        || number >= 9223372036854775808.0)
        corrupted(QStringLiteral("Parsed JSON number <%1> does not fit in Int.").arg(number));
    return static_cast<qint64>(number);
}

QDateTime TolvernJSONValue::toDate() const
{
    const QString text = toString();
    if (auto date = TolvernJSON::parseDate(text, TolvernJSON::FractionalSeconds::required))
        return *date;
    if (auto date = TolvernJSON::parseDate(text, TolvernJSON::FractionalSeconds::none))
        return *date;
    corrupted(QStringLiteral("Bad ISO 8601 date: ") + text);
}

QList<TolvernJSONValue> TolvernJSONValue::elements() const
{
    if (!m_value.isArray())
        mismatch(QStringLiteral("Array<Any>"));
    const QJsonArray array = m_value.toArray();
    QList<TolvernJSONValue> result;
    result.reserve(array.size());
    for (qsizetype index = 0; index < array.size(); ++index)
        result.append(TolvernJSONValue(array.at(index), m_path + QStringList{QStringLiteral("Index %1").arg(index)}));
    return result;
}

void TolvernJSONValue::requireObject() const
{
    if (!m_value.isObject())
        mismatch(QStringLiteral("Dictionary<String, Any>"));
}

TolvernJSONValue TolvernJSONValue::member(const QString &key) const
{
    requireObject();
    const QJsonObject object = m_value.toObject();
    const auto found = object.constFind(key);
    if (found == object.constEnd())
        throw TolvernDecodingError(TolvernDecodingError::Kind::keyNotFound, m_path + QStringList{key},
                                   QStringLiteral("No value associated with key \"%1\".").arg(key));
    return TolvernJSONValue(found.value(), m_path + QStringList{key});
}

std::optional<TolvernJSONValue> TolvernJSONValue::optionalMember(const QString &key) const
{
    requireObject();
    const QJsonObject object = m_value.toObject();
    const auto found = object.constFind(key);
    if (found == object.constEnd() || found.value().isNull())
        return std::nullopt;
    return TolvernJSONValue(found.value(), m_path + QStringList{key});
}

std::optional<QString> TolvernJSONValue::optionalString(const QString &key) const
{
    return optionalOf(key, &TolvernJSONValue::toString);
}

std::optional<bool> TolvernJSONValue::optionalBoolean(const QString &key) const
{
    return optionalOf(key, &TolvernJSONValue::toBool);
}

std::optional<qint64> TolvernJSONValue::optionalInteger(const QString &key) const
{
    return optionalOf(key, &TolvernJSONValue::toInteger);
}

std::optional<QDateTime> TolvernJSONValue::optionalDate(const QString &key) const
{
    return optionalOf(key, &TolvernJSONValue::toDate);
}
