#include "Base64URL.h"

namespace Base64URL {

QString encode(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

namespace {
int sextet(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
} // namespace

std::optional<QByteArray> decode(const QString &text)
{
    // Qt's own decoder quietly accepts 4n+1 characters and stray padding, so the
    // text is checked here in full before a byte is produced.
    QByteArray standard;
    standard.reserve(text.size() + 3);
    for (const QChar c : text) {
        if (c.unicode() > 0x7f)
            return std::nullopt;
        char ascii = char(c.unicode());
        if (ascii == '-')
            ascii = '+';
        else if (ascii == '_')
            ascii = '/';
        standard.append(ascii);
    }
    while (standard.size() % 4 != 0)
        standard.append('=');

    QByteArray out;
    out.reserve(standard.size() / 4 * 3);
    for (qsizetype block = 0; block < standard.size(); block += 4) {
        const bool last = block + 4 == standard.size();
        int values[4];
        int padding = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = standard.at(block + i);
            if (c == '=') {
                // Padding only at the end of the last block, one or two of them.
                if (!last || i < 2)
                    return std::nullopt;
                ++padding;
                values[i] = 0;
                continue;
            }
            if (padding > 0)
                return std::nullopt;
            values[i] = sextet(c);
            if (values[i] < 0)
                return std::nullopt;
        }
        const quint32 bits = quint32(values[0]) << 18 | quint32(values[1]) << 12 | quint32(values[2]) << 6
            | quint32(values[3]);
        out.append(char(bits >> 16));
        if (padding < 2)
            out.append(char(bits >> 8 & 0xff));
        if (padding < 1)
            out.append(char(bits & 0xff));
    }
    return out;
}

} // namespace Base64URL
