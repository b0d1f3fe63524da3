#pragma once

#include <QHash>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <optional>

// The parameters of a URL query: each name with the ordered list of its values. Its
// own coding, because QUrlQuery leaves "+" and "=" as they are in values.
class OidcURLQueryComponent
{
public:
    OidcURLQueryComponent() = default;
    // The query parameters of `url`; "+" reads as a space, items without "=" are
    // skipped, and a malformed percent-escape stays as written.
    explicit OidcURLQueryComponent(const QUrl &url);

    // The names, in the order they were first added.
    QStringList parameters() const { return m_names; }
    std::optional<QStringList> valuesForParameter(const QString &name) const;
    void addParameter(const QString &name, const QString &value);
    void addParameters(const QMap<QString, QString> &parameters);
    // Each name to its single value, or to the list of its values when it has several.
    QVariantMap dictionaryValue() const;
    QList<QPair<QString, QString>> queryItems() const;
    // name=value pairs joined by "&", percent-encoded so "+", "=", "&" and spaces
    // always reach the server escaped.
    QString URLEncodedParameters() const;
    // `url` with its query replaced by URLEncodedParameters(); the fragment is kept.
    QUrl URLByReplacingQueryInURL(const QUrl &url) const;
    QString description() const;

    // One value or name as the query writes it.
    static QString encode(const QString &text);

private:
    QStringList m_names;
    QHash<QString, QStringList> m_values;
};
