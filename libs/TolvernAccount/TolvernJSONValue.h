#pragma once

#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One value of a JSON document being decoded, with the path that led to it. Records
// read their members one after another in declaration order, so the first missing
// or malformed member is the one reported. Every failure is a TolvernDecodingError.
class TolvernJSONValue
{
public:
    TolvernJSONValue(QJsonValue value, QStringList codingPath);

    const QStringList &codingPath() const { return m_path; }
    bool isNull() const { return m_value.isNull() || m_value.isUndefined(); }

    QString toString() const;
    bool toBool() const;
    qint64 toInteger() const;
    // ISO 8601 internet date-time, with or without fractional seconds.
    QDateTime toDate() const;
    QList<TolvernJSONValue> elements() const;

    // Members of an object. A required member must be present; an optional one may
    // be absent or null.
    TolvernJSONValue member(const QString &key) const;
    std::optional<TolvernJSONValue> optionalMember(const QString &key) const;

    QString string(const QString &key) const { return member(key).toString(); }
    bool boolean(const QString &key) const { return member(key).toBool(); }
    QDateTime date(const QString &key) const { return member(key).toDate(); }
    std::optional<QString> optionalString(const QString &key) const;
    std::optional<bool> optionalBoolean(const QString &key) const;
    std::optional<qint64> optionalInteger(const QString &key) const;
    std::optional<QDateTime> optionalDate(const QString &key) const;

    // Raises a data-corrupted error at this value.
    [[noreturn]] void corrupted(const QString &description) const;

private:
    [[noreturn]] void mismatch(const QString &expected) const;
    void requireObject() const;
    template<class T>
    std::optional<T> optionalOf(const QString &key, T (TolvernJSONValue::*read)() const) const
    {
        if (auto value = optionalMember(key))
            return ((*value).*read)();
        return std::nullopt;
    }

    QJsonValue m_value;
    QStringList m_path;
};
