#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// Writes one compact JSON object with its members in the order they are added
// (QJsonDocument would sort them). Strings are escaped as the library's encoder
// always has: "/" as "\/", control characters escaped, everything else as UTF-8.
class TolvernJSONWriter
{
public:
    void add(const QString &key, const QString &value);
    void add(const QString &key, const char *value) { add(key, QString::fromUtf8(value)); }
    void add(const QString &key, bool value);
    void add(const QString &key, qint64 value);
    void add(const QString &key, const QDateTime &date);
    void add(const QString &key, const QStringList &strings);
    void add(const QString &key, const TolvernJSONWriter &object);

    // Optional members are left out when they hold no value.
    template<class T>
    void add(const QString &key, const std::optional<T> &value)
    {
        if (value)
            add(key, *value);
    }

    QByteArray data() const { return '{' + m_body + '}'; }

    static QByteArray quoted(const QString &text);

private:
    void addRaw(const QString &key, const QByteArray &json);

    QByteArray m_body;
};
