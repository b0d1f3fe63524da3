#include "HTMLSanitizer.h"

#include <QHash>
#include <QList>
#include <QSet>

namespace {

struct Attribute
{
    QString name;
    QString value;
    bool hasValue = false;
};

using Names = QSet<QString>;

const Names &allowedElements()
{
    static const Names names = {
        QStringLiteral("a"), QStringLiteral("abbr"), QStringLiteral("address"), QStringLiteral("article"),
        QStringLiteral("aside"), QStringLiteral("b"), QStringLiteral("bdi"), QStringLiteral("bdo"),
        QStringLiteral("blockquote"), QStringLiteral("br"), QStringLiteral("caption"), QStringLiteral("center"),
        QStringLiteral("cite"), QStringLiteral("code"), QStringLiteral("col"), QStringLiteral("colgroup"),
        QStringLiteral("dd"), QStringLiteral("del"), QStringLiteral("details"), QStringLiteral("dfn"),
        QStringLiteral("div"), QStringLiteral("dl"), QStringLiteral("dt"), QStringLiteral("em"),
        QStringLiteral("figcaption"), QStringLiteral("figure"), QStringLiteral("footer"), QStringLiteral("h1"),
        QStringLiteral("h2"), QStringLiteral("h3"), QStringLiteral("h4"), QStringLiteral("h5"),
        QStringLiteral("h6"), QStringLiteral("header"), QStringLiteral("hr"), QStringLiteral("i"),
        QStringLiteral("img"), QStringLiteral("input"), QStringLiteral("ins"), QStringLiteral("kbd"),
        QStringLiteral("li"), QStringLiteral("main"), QStringLiteral("mark"), QStringLiteral("nav"),
        QStringLiteral("ol"), QStringLiteral("p"), QStringLiteral("pre"), QStringLiteral("q"),
        QStringLiteral("rp"), QStringLiteral("rt"), QStringLiteral("ruby"), QStringLiteral("s"),
        QStringLiteral("samp"), QStringLiteral("section"), QStringLiteral("small"), QStringLiteral("span"),
        QStringLiteral("strike"), QStringLiteral("strong"), QStringLiteral("sub"), QStringLiteral("summary"),
        QStringLiteral("sup"), QStringLiteral("table"), QStringLiteral("tbody"), QStringLiteral("td"),
        QStringLiteral("tfoot"), QStringLiteral("th"), QStringLiteral("thead"), QStringLiteral("time"),
        QStringLiteral("tr"), QStringLiteral("tt"), QStringLiteral("u"), QStringLiteral("ul"),
        QStringLiteral("var"), QStringLiteral("wbr"),
    };
    return names;
}

// Dropped together with everything up to their end tag: scripts, raw text
// the browser would not parse as we do, plugins, frames, foreign content.
const Names &droppedWithContent()
{
    static const Names names = {
        QStringLiteral("script"), QStringLiteral("style"), QStringLiteral("iframe"), QStringLiteral("object"),
        QStringLiteral("applet"), QStringLiteral("noscript"), QStringLiteral("noembed"), QStringLiteral("noframes"),
        QStringLiteral("template"), QStringLiteral("textarea"), QStringLiteral("title"), QStringLiteral("xmp"),
        QStringLiteral("svg"), QStringLiteral("math"), QStringLiteral("select"), QStringLiteral("frameset"),
        QStringLiteral("head"),
    };
    return names;
}

const Names &voidElements()
{
    static const Names names = {
        QStringLiteral("br"), QStringLiteral("hr"), QStringLiteral("img"), QStringLiteral("input"),
        QStringLiteral("wbr"), QStringLiteral("col"),
    };
    return names;
}

const Names &globalAttributes()
{
    static const Names names = {
        QStringLiteral("id"), QStringLiteral("class"), QStringLiteral("title"), QStringLiteral("lang"),
        QStringLiteral("dir"), QStringLiteral("align"), QStringLiteral("valign"), QStringLiteral("style"),
    };
    return names;
}

const QHash<QString, Names> &elementAttributes()
{
    static const QHash<QString, Names> table = {
        {QStringLiteral("a"), {QStringLiteral("href"), QStringLiteral("name")}},
        {QStringLiteral("img"), {QStringLiteral("src"), QStringLiteral("alt"), QStringLiteral("width"),
                                 QStringLiteral("height")}},
        {QStringLiteral("input"), {QStringLiteral("type"), QStringLiteral("checked"), QStringLiteral("disabled")}},
        {QStringLiteral("ol"), {QStringLiteral("start"), QStringLiteral("reversed"), QStringLiteral("type")}},
        {QStringLiteral("ul"), {QStringLiteral("type")}},
        {QStringLiteral("li"), {QStringLiteral("value")}},
        {QStringLiteral("td"), {QStringLiteral("colspan"), QStringLiteral("rowspan")}},
        {QStringLiteral("th"), {QStringLiteral("colspan"), QStringLiteral("rowspan"), QStringLiteral("scope")}},
        {QStringLiteral("col"), {QStringLiteral("span"), QStringLiteral("width")}},
        {QStringLiteral("colgroup"), {QStringLiteral("span"), QStringLiteral("width")}},
        {QStringLiteral("table"), {QStringLiteral("width")}},
        {QStringLiteral("details"), {QStringLiteral("open")}},
        {QStringLiteral("blockquote"), {QStringLiteral("cite")}},
        {QStringLiteral("q"), {QStringLiteral("cite")}},
        {QStringLiteral("del"), {QStringLiteral("cite"), QStringLiteral("datetime")}},
        {QStringLiteral("ins"), {QStringLiteral("cite"), QStringLiteral("datetime")}},
        {QStringLiteral("time"), {QStringLiteral("datetime")}},
    };
    return table;
}

bool isURLAttribute(const QString &name)
{
    return name == QLatin1String("href") || name == QLatin1String("src") || name == QLatin1String("cite");
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

// Reads a tag name and its attributes from `at` (just past "<" or "</") the
// way the browser's tokenizer does. Returns the index past ">" or -1 when the
// input ends inside the tag.
qsizetype readTag(const QString &html, qsizetype at, QString &name, QList<Attribute> &attributes)
{
    const qsizetype n = html.size();
    qsizetype i = at;
    while (i < n && !isTagSpace(html.at(i)) && html.at(i) != QLatin1Char('/') && html.at(i) != QLatin1Char('>'))
        ++i;
    name = html.mid(at, i - at).toLower();
    for (;;) {
        while (i < n && (isTagSpace(html.at(i)) || html.at(i) == QLatin1Char('/')))
            ++i;
        if (i >= n)
            return -1;
        if (html.at(i) == QLatin1Char('>'))
            return i + 1;
        Attribute attribute;
        const qsizetype nameStart = i++;
        while (i < n && !isTagSpace(html.at(i)) && html.at(i) != QLatin1Char('/') && html.at(i) != QLatin1Char('>')
               && html.at(i) != QLatin1Char('='))
            ++i;
        attribute.name = html.mid(nameStart, i - nameStart).toLower();
        while (i < n && isTagSpace(html.at(i)))
            ++i;
        if (i < n && html.at(i) == QLatin1Char('=')) {
            ++i;
            while (i < n && isTagSpace(html.at(i)))
                ++i;
            if (i >= n)
                return -1;
            const QChar quote = html.at(i);
            if (quote == QLatin1Char('"') || quote == QLatin1Char('\'')) {
                const qsizetype close = html.indexOf(quote, i + 1);
                if (close < 0)
                    return -1;
                attribute.value = html.mid(i + 1, close - i - 1);
                i = close + 1;
            } else {
                const qsizetype valueStart = i;
                while (i < n && !isTagSpace(html.at(i)) && html.at(i) != QLatin1Char('>'))
                    ++i;
                attribute.value = html.mid(valueStart, i - valueStart);
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

QString sanitizedTag(const QString &name, const QList<Attribute> &attributes)
{
    const Names *extra = nullptr;
    const auto found = elementAttributes().constFind(name);
    if (found != elementAttributes().constEnd())
        extra = &*found;

    QString out = QLatin1Char('<') + name;
    Names seen;
    for (const Attribute &attribute : attributes) {
        // The browser keeps the first of repeated attributes.
        if (seen.contains(attribute.name))
            continue;
        seen.insert(attribute.name);
        if (!globalAttributes().contains(attribute.name) && !(extra && extra->contains(attribute.name)))
            continue;
        QString value = attribute.value;
        if (isURLAttribute(attribute.name)
            && !HTMLSanitizer::isSafeURL(value, name == QLatin1String("img") && attribute.name == QLatin1String("src")))
            value = QStringLiteral("#");
        out += QLatin1Char(' ') + attribute.name;
        if (attribute.hasValue)
            out += QStringLiteral("=\"") + QString(value).replace(QLatin1Char('"'), QLatin1String("&quot;"))
                + QLatin1Char('"');
    }
    out += QLatin1Char('>');
    return out;
}

bool allowedInput(const QList<Attribute> &attributes)
{
    for (const Attribute &attribute : attributes) {
        if (attribute.name == QLatin1String("type"))
            return attribute.value.compare(QLatin1String("checkbox"), Qt::CaseInsensitive) == 0;
    }
    return false;
}

// Index past the end tag of `name` that closes a dropped element, or the
// end of the input when there is none.
qsizetype skipElement(const QString &html, qsizetype from, const QString &name)
{
    const QString closing = QStringLiteral("</") + name;
    qsizetype at = from;
    for (;;) {
        at = html.indexOf(closing, at, Qt::CaseInsensitive);
        if (at < 0)
            return html.size();
        const qsizetype after = at + closing.size();
        if (after >= html.size())
            return html.size();
        const QChar c = html.at(after);
        if (isTagSpace(c) || c == QLatin1Char('/') || c == QLatin1Char('>')) {
            const qsizetype close = html.indexOf(QLatin1Char('>'), after);
            return close < 0 ? html.size() : close + 1;
        }
        at = after;
    }
}

} // namespace

bool HTMLSanitizer::isSafeURL(const QString &attributeValue, bool forImage)
{
    QString url = decodeForScheme(attributeValue);
    // The URL parser drops tabs and line breaks anywhere and trims controls
    // and spaces at both ends.
    url.remove(QLatin1Char('\t'));
    url.remove(QLatin1Char('\n'));
    url.remove(QLatin1Char('\r'));
    qsizetype start = 0;
    while (start < url.size() && url.at(start).unicode() <= 0x20)
        ++start;
    url = url.mid(start);

    qsizetype i = 0;
    while (i < url.size() && url.at(i) != QLatin1Char(':')) {
        const QChar c = url.at(i);
        const bool schemeChar = isAsciiLetter(c) || (i > 0 && ((c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                                                              || c == QLatin1Char('+') || c == QLatin1Char('-')
                                                              || c == QLatin1Char('.')));
        if (!schemeChar)
            return true; // no scheme: a relative address
        ++i;
    }
    if (i >= url.size() || i == 0)
        return true;
    const QString scheme = url.left(i).toLower();
    static const Names links = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("mailto"),
                                QStringLiteral("file"), QStringLiteral("tel"), QStringLiteral("ftp")};
    if (links.contains(scheme))
        return true;
    return forImage && scheme == QLatin1String("data")
        && url.mid(i + 1).trimmed().startsWith(QLatin1String("image/"), Qt::CaseInsensitive);
}

QString HTMLSanitizer::clean(const QString &html)
{
    QString out;
    out.reserve(html.size() + html.size() / 16);
    const qsizetype n = html.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype lt = html.indexOf(QLatin1Char('<'), i);
        if (lt < 0) {
            out.append(QStringView(html).mid(i));
            break;
        }
        out.append(QStringView(html).mid(i, lt - i));
        i = lt;
        const QChar next = lt + 1 < n ? html.at(lt + 1) : QChar();

        if (next == QLatin1Char('!')) {
            if (html.mid(lt, 4) == QLatin1String("<!--")) {
                // Comments, including the abrupt "<!-->" and "<!--->", go.
                if (html.mid(lt + 4, 1) == QLatin1String(">")) { i = lt + 5; continue; }
                if (html.mid(lt + 4, 2) == QLatin1String("->")) { i = lt + 6; continue; }
                const qsizetype end = html.indexOf(QLatin1String("-->"), lt + 4);
                const qsizetype bang = html.indexOf(QLatin1String("--!>"), lt + 4);
                if (end < 0 && bang < 0) { i = n; continue; }
                if (bang >= 0 && (end < 0 || bang < end)) { i = bang + 4; continue; }
                i = end + 3;
                continue;
            }
            const qsizetype close = html.indexOf(QLatin1Char('>'), lt);
            i = close < 0 ? n : close + 1;
            continue;
        }
        if (next == QLatin1Char('?')) {
            const qsizetype close = html.indexOf(QLatin1Char('>'), lt);
            i = close < 0 ? n : close + 1;
            continue;
        }
        if (next == QLatin1Char('/')) {
            const QChar first = lt + 2 < n ? html.at(lt + 2) : QChar();
            if (isAsciiLetter(first)) {
                QString name;
                QList<Attribute> ignored;
                const qsizetype end = readTag(html, lt + 2, name, ignored);
                if (end < 0) {
                    out.append(QLatin1String("&lt;"));
                    i = lt + 1;
                    continue;
                }
                if (allowedElements().contains(name) && !voidElements().contains(name))
                    out.append(QStringLiteral("</") + name + QLatin1Char('>'));
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

        QString name;
        QList<Attribute> attributes;
        const qsizetype end = readTag(html, lt + 1, name, attributes);
        if (end < 0) {
            // The browser would drop a tag cut off by the end of input; as
            // text it shows what was written.
            out.append(QLatin1String("&lt;"));
            i = lt + 1;
            continue;
        }
        i = end;
        if (name == QLatin1String("plaintext")) {
            i = n;
            continue;
        }
        if (droppedWithContent().contains(name)) {
            i = skipElement(html, end, name);
            continue;
        }
        if (!allowedElements().contains(name))
            continue;
        if (name == QLatin1String("input") && !allowedInput(attributes))
            continue;
        out.append(sanitizedTag(name, attributes));
    }
    return out;
}
