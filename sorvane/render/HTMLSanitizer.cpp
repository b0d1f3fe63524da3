#include "HTMLSanitizer.h"

#include <QHash>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <string_view>

// One pass over the text: tags are read as positions into the input and
// written straight to the output, so a tag costs no allocation of its own.

namespace {

enum ElementFlag : quint8 {
    Allowed = 1,
    Void = 2,
    // Dropped together with everything up to their end tag (or the end of
    // the input): scripts, raw text the browser would not parse as we do,
    // plugins, frames, foreign content.
    DropWithContent = 4,
    // Dropped with its content only when an end tag follows; alone, only
    // the tag goes.
    DropWithContentWhenClosed = 8,
};

struct Element
{
    std::string_view name;
    quint8 flags;
    // Attributes allowed beyond the global ones, each followed by a space.
    std::string_view attributes;
};

constexpr quint8 A = Allowed;
constexpr quint8 AV = Allowed | Void;
constexpr quint8 D = DropWithContent;

// Sorted by name for the binary search.
constexpr std::array kElements = {
    Element{"a", A, "href name "},          Element{"abbr", A, ""},
    Element{"address", A, ""},              Element{"applet", D, ""},
    Element{"article", A, ""},              Element{"aside", A, ""},
    Element{"b", A, ""},                    Element{"bdi", A, ""},
    Element{"bdo", A, ""},                  Element{"blockquote", A, "cite "},
    Element{"br", AV, ""},                  Element{"caption", A, ""},
    Element{"center", A, ""},               Element{"cite", A, ""},
    Element{"code", A, ""},                 Element{"col", AV, "span width "},
    Element{"colgroup", A, "span width "},  Element{"dd", A, ""},
    Element{"del", A, "cite datetime "},    Element{"details", A, "open "},
    Element{"dfn", A, ""},                  Element{"div", A, ""},
    Element{"dl", A, ""},                   Element{"dt", A, ""},
    Element{"em", A, ""},                   Element{"embed", DropWithContentWhenClosed, ""},
    Element{"figcaption", A, ""},           Element{"figure", A, ""},
    Element{"footer", A, ""},               Element{"frameset", D, ""},
    Element{"h1", A, ""},                   Element{"h2", A, ""},
    Element{"h3", A, ""},                   Element{"h4", A, ""},
    Element{"h5", A, ""},                   Element{"h6", A, ""},
    Element{"head", D, ""},                 Element{"header", A, ""},
    Element{"hr", AV, ""},                  Element{"i", A, ""},
    Element{"iframe", D, ""},               Element{"img", AV, "src alt width height "},
    Element{"input", AV, "type checked disabled "}, Element{"ins", A, "cite datetime "},
    Element{"kbd", A, ""},                  Element{"li", A, "value "},
    Element{"main", A, ""},                 Element{"mark", A, ""},
    Element{"math", D, ""},                 Element{"nav", A, ""},
    Element{"noembed", D, ""},              Element{"noframes", D, ""},
    Element{"noscript", D, ""},             Element{"object", D, ""},
    Element{"ol", A, "start reversed type "}, Element{"p", A, ""},
    Element{"pre", A, ""},                  Element{"q", A, "cite "},
    Element{"rp", A, ""},                   Element{"rt", A, ""},
    Element{"ruby", A, ""},                 Element{"s", A, ""},
    Element{"samp", A, ""},                 Element{"script", D, ""},
    Element{"section", A, ""},              Element{"select", D, ""},
    Element{"small", A, ""},                Element{"span", A, ""},
    Element{"strike", A, ""},               Element{"strong", A, ""},
    Element{"style", D, ""},                Element{"sub", A, ""},
    Element{"summary", A, ""},              Element{"sup", A, ""},
    Element{"svg", D, ""},                  Element{"table", A, "width "},
    Element{"tbody", A, ""},                Element{"td", A, "colspan rowspan "},
    Element{"template", D, ""},             Element{"textarea", D, ""},
    Element{"tfoot", A, ""},                Element{"th", A, "colspan rowspan scope "},
    Element{"thead", A, ""},                Element{"time", A, "datetime "},
    Element{"title", D, ""},                Element{"tr", A, ""},
    Element{"tt", A, ""},                   Element{"u", A, ""},
    Element{"ul", A, "type "},              Element{"var", A, ""},
    Element{"wbr", AV, ""},                 Element{"xmp", D, ""},
};

constexpr std::string_view kGlobalAttributes = "id class title lang dir align valign style ";

// Long enough for every name we know; longer names are unknown.
constexpr qsizetype kNameCapacity = 16;

struct Name
{
    std::array<char, kNameCapacity> text{};
    qsizetype size = 0;
    bool known = false; // ASCII, short enough to compare

    std::string_view view() const { return {text.data(), size_t(size)}; }
};

// The name at [from, to) in lower case, when it can be one we know.
Name lowerName(const QChar *data, qsizetype from, qsizetype to)
{
    Name name;
    name.size = to - from;
    if (name.size <= 0 || name.size >= kNameCapacity)
        return name;
    for (qsizetype i = 0; i < name.size; ++i) {
        const char16_t c = data[from + i].unicode();
        if (c >= 0x80)
            return name;
        name.text[i] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    name.known = true;
    return name;
}

const Element *findElement(const Name &name)
{
    if (!name.known)
        return nullptr;
    const auto it = std::lower_bound(kElements.begin(), kElements.end(), name.view(),
                                     [](const Element &e, std::string_view n) { return e.name < n; });
    return it != kElements.end() && it->name == name.view() ? &*it : nullptr;
}

// Whether `list` (names each followed by a space) holds `name`.
bool listHolds(std::string_view list, std::string_view name)
{
    for (size_t at = list.find(name); at != std::string_view::npos; at = list.find(name, at + 1)) {
        if ((at == 0 || list[at - 1] == ' ') && at + name.size() < list.size() && list[at + name.size()] == ' ')
            return true;
    }
    return false;
}

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool isTagSpace(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r')
        || c == QLatin1Char('\f');
}

struct AttributeSpan
{
    qsizetype nameStart = 0;
    qsizetype nameEnd = 0;
    qsizetype valueStart = 0;
    qsizetype valueEnd = 0;
    bool hasValue = false;
};

using Attributes = QVarLengthArray<AttributeSpan, 16>;

// Reads a tag name and its attributes from `at` (just past "<" or "</") the
// way the browser's tokenizer does. Returns the index past ">" or -1 when the
// input ends inside the tag.
qsizetype readTag(QStringView html, qsizetype at, qsizetype &nameEnd, Attributes &attributes)
{
    const QChar *d = html.data();
    const qsizetype n = html.size();
    qsizetype i = at;
    while (i < n && !isTagSpace(d[i]) && d[i] != QLatin1Char('/') && d[i] != QLatin1Char('>'))
        ++i;
    nameEnd = i;
    attributes.clear();
    for (;;) {
        while (i < n && (isTagSpace(d[i]) || d[i] == QLatin1Char('/')))
            ++i;
        if (i >= n)
            return -1;
        if (d[i] == QLatin1Char('>'))
            return i + 1;
        AttributeSpan attribute;
        attribute.nameStart = i++;
        while (i < n && !isTagSpace(d[i]) && d[i] != QLatin1Char('/') && d[i] != QLatin1Char('>')
               && d[i] != QLatin1Char('='))
            ++i;
        attribute.nameEnd = i;
        while (i < n && isTagSpace(d[i]))
            ++i;
        if (i < n && d[i] == QLatin1Char('=')) {
            ++i;
            while (i < n && isTagSpace(d[i]))
                ++i;
            if (i >= n)
                return -1;
            const QChar quote = d[i];
            if (quote == QLatin1Char('"') || quote == QLatin1Char('\'')) {
                const qsizetype close = html.indexOf(quote, i + 1);
                if (close < 0)
                    return -1;
                attribute.valueStart = i + 1;
                attribute.valueEnd = close;
                i = close + 1;
            } else {
                attribute.valueStart = i;
                while (i < n && !isTagSpace(d[i]) && d[i] != QLatin1Char('>'))
                    ++i;
                attribute.valueEnd = i;
            }
            attribute.hasValue = true;
        }
        attributes.append(attribute);
    }
}

// Decodes the character references that can spell a scheme or hide
// separators; enough to read the scheme the browser would see.
QString decodeForScheme(const QString &value)
{
    static const QHash<QString, QChar> named = {
        {QStringLiteral("colon"), QLatin1Char(':')}, {QStringLiteral("Tab"), QLatin1Char('\t')},
        {QStringLiteral("NewLine"), QLatin1Char('\n')}, {QStringLiteral("amp"), QLatin1Char('&')},
        {QStringLiteral("sol"), QLatin1Char('/')}, {QStringLiteral("quest"), QLatin1Char('?')},
        {QStringLiteral("num"), QLatin1Char('#')}, {QStringLiteral("period"), QLatin1Char('.')},
        {QStringLiteral("plus"), QLatin1Char('+')}, {QStringLiteral("hyphen"), QLatin1Char('-')},
        {QStringLiteral("dash"), QLatin1Char('-')}, {QStringLiteral("lpar"), QLatin1Char('(')},
        {QStringLiteral("rpar"), QLatin1Char(')')},
    };
    QString out;
    out.reserve(value.size());
    const qsizetype n = value.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('&')) {
            out.append(c);
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        if (j < n && value.at(j) == QLatin1Char('#')) {
            ++j;
            const bool hex = j < n && (value.at(j) == QLatin1Char('x') || value.at(j) == QLatin1Char('X'));
            if (hex)
                ++j;
            const qsizetype digitsStart = j;
            while (j < n && (hex ? isxdigit(value.at(j).unicode()) : value.at(j).isDigit()) && value.at(j).unicode() < 128)
                ++j;
            if (j > digitsStart) {
                bool ok = false;
                const uint code = value.mid(digitsStart, j - digitsStart).right(8).toUInt(&ok, hex ? 16 : 10);
                out.append(ok && code > 0 && code < 0x110000 ? QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1)
                                                               : QString(QChar(0xFFFD)));
                if (j < n && value.at(j) == QLatin1Char(';'))
                    ++j;
                i = j;
                continue;
            }
        } else {
            while (j < n && value.at(j).isLetterOrNumber() && value.at(j).unicode() < 128)
                ++j;
            if (j < n && value.at(j) == QLatin1Char(';')) {
                const auto it = named.constFind(value.mid(i + 1, j - i - 1));
                if (it != named.constEnd()) {
                    out.append(*it);
                    i = j + 1;
                    continue;
                }
            }
        }
        out.append(c);
        ++i;
    }
    return out;
}


bool isSafeScheme(QStringView scheme)
{
    for (const char *safe : {"http", "https", "mailto", "file", "tel", "ftp"}) {
        if (scheme.compare(QLatin1String(safe), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isSchemeChar(QChar c, qsizetype at)
{
    return isAsciiLetter(c)
        || (at > 0 && ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+')
                       || c == QLatin1Char('-') || c == QLatin1Char('.')));
}

// The scheme test on an address the browser reads as written: no character
// references, no spaces or controls to drop.
bool isSafePlainURL(QStringView url, bool forImage)
{
    qsizetype i = 0;
    while (i < url.size() && url[i] != QLatin1Char(':')) {
        if (!isSchemeChar(url[i], i))
            return true; // no scheme: a relative address
        ++i;
    }
    if (i >= url.size() || i == 0)
        return true;
    if (isSafeScheme(url.left(i)))
        return true;
    return forImage && url.left(i).compare(QLatin1String("data"), Qt::CaseInsensitive) == 0
        && url.mid(i + 1).trimmed().startsWith(QLatin1String("image/"), Qt::CaseInsensitive);
}

bool needsDecoding(QStringView url)
{
    for (QChar c : url) {
        if (c.unicode() <= 0x20 || c == QLatin1Char('&'))
            return true;
    }
    return false;
}

bool isSafeURLView(QStringView value, bool forImage)
{
    if (!needsDecoding(value))
        return isSafePlainURL(value, forImage);
    QString url = decodeForScheme(value.toString());
    // The URL parser drops tabs and line breaks anywhere and trims controls
    // and spaces at both ends.
    url.remove(QLatin1Char('\t'));
    url.remove(QLatin1Char('\n'));
    url.remove(QLatin1Char('\r'));
    qsizetype start = 0;
    while (start < url.size() && url.at(start).unicode() <= 0x20)
        ++start;
    return isSafePlainURL(QStringView(url).mid(start), forImage);
}

bool isURLAttribute(std::string_view name)
{
    return name == "href" || name == "src" || name == "cite";
}

void appendEscapedValue(QString &out, QStringView value)
{
    qsizetype last = 0;
    for (qsizetype i = value.indexOf(QLatin1Char('"')); i >= 0; i = value.indexOf(QLatin1Char('"'), i + 1)) {
        out.append(value.mid(last, i - last));
        out.append(QLatin1String("&quot;"));
        last = i + 1;
    }
    out.append(value.mid(last));
}

// Writes the tag with only its allowed attributes; link targets outside the
// safe schemes become "#".
void writeTag(QString &out, QStringView html, const Element &element, const Attributes &attributes)
{
    out.append(QLatin1Char('<'));
    out.append(QLatin1String(element.name.data(), qsizetype(element.name.size())));
    // The browser keeps the first of repeated attributes. Only allowed names
    // are remembered, so the list stays as short as the allow-list.
    std::array<std::string_view, 16> seen;
    qsizetype seenCount = 0;
    for (const AttributeSpan &attribute : attributes) {
        const Name name = lowerName(html.data(), attribute.nameStart, attribute.nameEnd);
        if (!name.known)
            continue;
        const std::string_view lower = name.view();
        std::string_view canonical;
        const size_t global = kGlobalAttributes.find(lower);
        if (listHolds(kGlobalAttributes, lower))
            canonical = kGlobalAttributes.substr(global, lower.size());
        else if (listHolds(element.attributes, lower))
            canonical = element.attributes.substr(element.attributes.find(lower), lower.size());
        else
            continue;
        if (std::find(seen.begin(), seen.begin() + seenCount, canonical) != seen.begin() + seenCount)
            continue;
        if (seenCount < qsizetype(seen.size()))
            seen[seenCount++] = canonical;
        out.append(QLatin1Char(' '));
        out.append(QLatin1String(canonical.data(), qsizetype(canonical.size())));
        if (!attribute.hasValue)
            continue;
        const QStringView value = html.mid(attribute.valueStart, attribute.valueEnd - attribute.valueStart);
        out.append(QLatin1String("=\""));
        if (isURLAttribute(canonical) && !isSafeURLView(value, element.name == "img" && canonical == "src"))
            out.append(QLatin1Char('#'));
        else
            appendEscapedValue(out, value);
        out.append(QLatin1Char('"'));
    }
    out.append(QLatin1Char('>'));
}

bool allowedInput(QStringView html, const Attributes &attributes)
{
    for (const AttributeSpan &attribute : attributes) {
        if (html.mid(attribute.nameStart, attribute.nameEnd - attribute.nameStart)
                .compare(QLatin1String("type"), Qt::CaseInsensitive) == 0)
            return html.mid(attribute.valueStart, attribute.valueEnd - attribute.valueStart)
                       .compare(QLatin1String("checkbox"), Qt::CaseInsensitive) == 0;
    }
    return false;
}

// Index past the end tag of `name` that closes a dropped element, or -1 when
// there is none.
qsizetype endOfElement(QStringView html, qsizetype from, std::string_view name)
{
    const QLatin1String bare(name.data(), qsizetype(name.size()));
    for (qsizetype at = html.indexOf(QLatin1String("</"), from); at >= 0; at = html.indexOf(QLatin1String("</"), at + 2)) {
        const qsizetype after = at + 2 + bare.size();
        if (after >= html.size())
            return -1;
        if (html.mid(at + 2, bare.size()).compare(bare, Qt::CaseInsensitive) != 0)
            continue;
        const QChar c = html[after];
        if (isTagSpace(c) || c == QLatin1Char('/') || c == QLatin1Char('>')) {
            const qsizetype close = html.indexOf(QLatin1Char('>'), after);
            return close < 0 ? html.size() : close + 1;
        }
    }
    return -1;
}

// Where a comment, declaration or processing instruction at `lt` ends.
qsizetype skipMarkupDeclaration(QStringView html, qsizetype lt)
{
    const qsizetype n = html.size();
    if (html.mid(lt).startsWith(QLatin1String("<!--"))) {
        // Comments, including the abrupt "<!-->" and "<!--->", go.
        if (html.mid(lt + 4).startsWith(QLatin1Char('>')))
            return lt + 5;
        if (html.mid(lt + 4).startsWith(QLatin1String("->")))
            return lt + 6;
        const qsizetype end = html.indexOf(QLatin1String("-->"), lt + 4);
        const qsizetype bang = html.indexOf(QLatin1String("--!>"), lt + 4);
        if (end < 0 && bang < 0)
            return n;
        if (bang >= 0 && (end < 0 || bang < end))
            return bang + 4;
        return end + 3;
    }
    const qsizetype close = html.indexOf(QLatin1Char('>'), lt);
    return close < 0 ? n : close + 1;
}

} // namespace

bool HTMLSanitizer::isSafeURL(const QString &attributeValue, bool forImage)
{
    return isSafeURLView(attributeValue, forImage);
}

QString HTMLSanitizer::clean(const QString &input)
{
    const QStringView html(input);
    QString out;
    out.reserve(html.size() + html.size() / 16);
    const qsizetype n = html.size();
    Attributes attributes;
    qsizetype i = 0;
    while (i < n) {
        const qsizetype lt = html.indexOf(QLatin1Char('<'), i);
        if (lt < 0) {
            out.append(html.mid(i));
            break;
        }
        out.append(html.mid(i, lt - i));
        i = lt;
        const QChar next = lt + 1 < n ? html[lt + 1] : QChar();

        if (next == QLatin1Char('!') || next == QLatin1Char('?')) {
            i = skipMarkupDeclaration(html, lt);
            continue;
        }
        if (next == QLatin1Char('/')) {
            const QChar first = lt + 2 < n ? html[lt + 2] : QChar();
            if (isAsciiLetter(first)) {
                qsizetype nameEnd = 0;
                const qsizetype end = readTag(html, lt + 2, nameEnd, attributes);
                if (end < 0) {
                    out.append(QLatin1String("&lt;"));
                    i = lt + 1;
                    continue;
                }
                const Element *element = findElement(lowerName(html.data(), lt + 2, nameEnd));
                if (element && (element->flags & Allowed) && !(element->flags & Void)) {
                    out.append(QLatin1String("</"));
                    out.append(QLatin1String(element->name.data(), qsizetype(element->name.size())));
                    out.append(QLatin1Char('>'));
                }
                i = end;
                continue;
            }
            if (first == QLatin1Char('>')) { i = lt + 3; continue; }
            if (first.isNull()) { out.append(QLatin1String("&lt;/")); i = n; continue; }
            const qsizetype close = html.indexOf(QLatin1Char('>'), lt);
            i = close < 0 ? n : close + 1;
            continue;
        }
        if (!isAsciiLetter(next)) {
            out.append(QLatin1String("&lt;"));
            i = lt + 1;
            continue;
        }

        qsizetype nameEnd = 0;
        const qsizetype end = readTag(html, lt + 1, nameEnd, attributes);
        if (end < 0) {
            // The browser would drop a tag cut off by the end of input; as
            // text it shows what was written.
            out.append(QLatin1String("&lt;"));
            i = lt + 1;
            continue;
        }
        i = end;
        const Name name = lowerName(html.data(), lt + 1, nameEnd);
        if (name.known && name.view() == "plaintext") {
            i = n;
            continue;
        }
        const Element *element = findElement(name);
        if (!element)
            continue;
        if (element->flags & (DropWithContent | DropWithContentWhenClosed)) {
            const qsizetype after = endOfElement(html, end, element->name);
            if (after >= 0)
                i = after;
            else if (element->flags & DropWithContent)
                i = n;
            continue;
        }
        if (!(element->flags & Allowed))
            continue;
        if (element->name == "input" && !allowedInput(html, attributes))
            continue;
        writeTag(out, html, *element, attributes);
    }
    return out;
}
