#include "OidcURLQueryComponent.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
bool isLiteral(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '-': case '.': case '_': case '~': case '!': case '$': case '\'': case '(': case ')':
    case '*': case ',': case ';': case ':': case '@': case '/': case '?':
        return true;
    default:
        return false;
    }
}

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Percent-decodes; an escape that is not "%" and two hex digits stays as written.
QString decode(const QByteArray &text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
            bytes += char(QByteArray(text.constData() + i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            bytes += text[i];
        }
    }
    return QString::fromUtf8(bytes);
}
} // namespace

OidcURLQueryComponent::OidcURLQueryComponent(const QUrl &url)
{
    QByteArray query = url.query(QUrl::FullyEncoded).toLatin1();
    query.replace('+', "%20");
    for (const QByteArray &item : query.split('&')) {
        const qsizetype equals = item.indexOf('=');
        if (equals < 0)
            continue;
        addParameter(decode(item.left(equals)), decode(item.mid(equals + 1)));
    }
}

std::optional<QStringList> OidcURLQueryComponent::valuesForParameter(const QString &name) const
{
    const auto found = m_values.constFind(name);
    if (found == m_values.constEnd())
        return std::nullopt;
    return *found;
}

void OidcURLQueryComponent::addParameter(const QString &name, const QString &value)
{
    auto found = m_values.find(name);
    if (found == m_values.end()) {
        m_names.append(name);
        m_values.insert(name, {value});
    } else {
        found->append(value);
    }
}

void OidcURLQueryComponent::addParameters(const QMap<QString, QString> &parameters)
{
    for (auto it = parameters.constBegin(); it != parameters.constEnd(); ++it)
        addParameter(it.key(), it.value());
}

QVariantMap OidcURLQueryComponent::dictionaryValue() const
{
    QVariantMap dictionary;
    for (const QString &name : m_names) {
        const QStringList &values = m_values[name];
        dictionary.insert(name, values.size() == 1 ? QVariant(values.first()) : QVariant(values));
    }
    return dictionary;
}

QList<QPair<QString, QString>> OidcURLQueryComponent::queryItems() const
{
    QList<QPair<QString, QString>> items;
    for (const QString &name : m_names) {
        for (const QString &value : m_values[name])
            items.append({name, value});
    }
    return items;
}

QString OidcURLQueryComponent::encode(const QString &text)
{
    QString encoded;
    for (const char byte : text.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        if (isLiteral(c))
            encoded += QChar(c);
        else
            encoded += QStringLiteral("%%1").arg(c, 2, 16, QChar(u'0')).toUpper();
    }
    return encoded;
}

QString OidcURLQueryComponent::URLEncodedParameters() const
{
    QStringList pairs;
    for (const auto &[name, value] : queryItems())
        pairs.append(encode(name) + QLatin1Char('=') + encode(value));
    return pairs.join(QLatin1Char('&'));
}

QUrl OidcURLQueryComponent::URLByReplacingQueryInURL(const QUrl &url) const
{
    QUrl replaced = url;
    replaced.setQuery(URLEncodedParameters(), QUrl::StrictMode);
    return replaced;
}

QString OidcURLQueryComponent::description() const
{
    QJsonObject parameters;
    for (const QString &name : m_names)
        parameters.insert(name, QJsonArray::fromStringList(m_values[name]));
    return QStringLiteral("<OidcURLQueryComponent: %1, parameters: %2>")
        .arg(QStringLiteral("0x%1").arg(quintptr(this), 0, 16),
             QString::fromUtf8(QJsonDocument(parameters).toJson(QJsonDocument::Compact)));
}
