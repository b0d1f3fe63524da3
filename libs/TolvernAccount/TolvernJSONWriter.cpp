#include "TolvernJSONWriter.h"

#include "TolvernJSON.h"

QByteArray TolvernJSONWriter::quoted(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    QByteArray out;
    out.reserve(utf8.size() + 2);
    out.append('"');
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '/': out.append("\\/"); break;
        case '\b': out.append("\\b"); break;
        case '\f': out.append("\\f"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (byte < 0x20) {
                static const char hex[] = "0123456789abcdef";
                out.append("\\u00");
                out.append(hex[byte >> 4]);
                out.append(hex[byte & 0xf]);
            } else {
                out.append(c);
            }
        }
    }
    out.append('"');
    return out;
}

void TolvernJSONWriter::addRaw(const QString &key, const QByteArray &json)
{
    if (!m_body.isEmpty())
        m_body.append(',');
    m_body.append(quoted(key));
    m_body.append(':');
    m_body.append(json);
}

void TolvernJSONWriter::add(const QString &key, const QString &value)
{
    addRaw(key, quoted(value));
}

void TolvernJSONWriter::add(const QString &key, bool value)
{
    addRaw(key, value ? QByteArrayLiteral("true") : QByteArrayLiteral("false"));
}

void TolvernJSONWriter::add(const QString &key, qint64 value)
{
    addRaw(key, QByteArray::number(value));
}

void TolvernJSONWriter::add(const QString &key, const QDateTime &date)
{
    addRaw(key, quoted(TolvernJSON::formatDate(date)));
}

void TolvernJSONWriter::add(const QString &key, const QStringList &strings)
{
    QByteArray array("[");
    for (qsizetype i = 0; i < strings.size(); ++i) {
        if (i)
            array.append(',');
        array.append(quoted(strings.at(i)));
    }
    array.append(']');
    addRaw(key, array);
}

void TolvernJSONWriter::add(const QString &key, const TolvernJSONWriter &object)
{
    addRaw(key, object.data());
}
