#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

// Deterministic Markdown documents of a given size for the benchmarks and the
// equality tests: ordinary prose with every construct the preview meets, and
// stress shapes that make regex-driven lexers slow.
namespace corpus {

class Random
{
public:
    explicit Random(uint64_t seed) : m_state(seed * 6364136223846793005ULL + 1442695040888963407ULL) {}
    uint32_t next()
    {
        m_state = m_state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(m_state >> 33);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }

private:
    uint64_t m_state;
};

inline QString words(Random &r, int count)
{
    static const char *const vocabulary[] = {
        "render", "preview", "markdown", "table", "value", "lexer", "paragraph", "quote", "online", "count",
        "one", "emphasis", "list", "item", "café", "naïve", "日本語", "über", "link", "the", "a", "of", "and",
        "document", "window", "theme", "speed", "line", "text", "code", "note", "<tag>", "a&b", "x*y", "snake_case",
    };
    QString out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += QLatin1Char(' ');
        out += QString::fromUtf8(vocabulary[r.below(int(std::size(vocabulary)))]);
    }
    return out;
}

inline QString inlineText(Random &r, int count)
{
    QString out;
    for (int i = 0; i < count; i += 6) {
        if (i)
            out += QLatin1Char(' ');
        switch (r.below(12)) {
        case 0: out += QStringLiteral("**") + words(r, 2) + QStringLiteral("**"); break;
        case 1: out += QLatin1Char('*') + words(r, 2) + QLatin1Char('*'); break;
        case 2: out += QLatin1Char('`') + words(r, 2) + QLatin1Char('`'); break;
        case 3: out += QLatin1Char('[') + words(r, 2) + QStringLiteral("](https://example.org/") + QString::number(r.below(999)) + QLatin1Char(')'); break;
        case 4: out += QStringLiteral("~~") + words(r, 1) + QStringLiteral("~~"); break;
        case 5: out += QStringLiteral("https://example.com/path?q=") + QString::number(r.below(99)); break;
        case 6: out += QStringLiteral("$x_") + QString::number(r.below(9)) + QStringLiteral("^2$"); break;
        case 7: out += QStringLiteral("[^n") + QString::number(r.below(5)) + QLatin1Char(']'); break;
        default: out += words(r, 6); break;
        }
    }
    return out;
}

inline QString section(Random &r, int index)
{
    QString s;
    s += QString(QLatin1Char('#')).repeated(1 + r.below(3)) + QLatin1Char(' ') + words(r, 3) + QStringLiteral("\n\n");
    s += inlineText(r, 40) + QLatin1Char('\n') + inlineText(r, 30) + QStringLiteral("\n\n");
    switch (index % 9) {
    case 0:
        for (int i = 0; i < 4; ++i)
            s += QStringLiteral("- ") + inlineText(r, 8) + QLatin1Char('\n');
        s += QStringLiteral("  - nested ") + words(r, 3) + QStringLiteral("\n    1. deeper ") + words(r, 2) + QLatin1Char('\n');
        break;
    case 1:
        s += QStringLiteral("- [ ] ") + words(r, 4) + QStringLiteral("\n- [x] ") + words(r, 4) + QLatin1Char('\n');
        break;
    case 2:
        s += QStringLiteral("| Name | Value | Note |\n|:-----|------:|:----:|\n");
        for (int i = 0; i < 5; ++i)
            s += QStringLiteral("| ") + words(r, 1) + QStringLiteral(" | ") + QString::number(r.below(1000))
                + QStringLiteral(" | ") + inlineText(r, 3) + QStringLiteral(" |\n");
        break;
    case 3:
        s += QStringLiteral("```cpp\nint main() {\n    if (a) onload = init;\n    return x < y && y > z;\n}\n```\n");
        break;
    case 4:
        s += QStringLiteral("> ") + inlineText(r, 20) + QStringLiteral("\n> > ") + words(r, 6) + QLatin1Char('\n');
        break;
    case 5:
        s += QStringLiteral("$$\n\\int_0^1 x^2 \\, dx = \\frac{1}{3}\n$$\n");
        break;
    case 6:
        s += words(r, 4) + QStringLiteral("\n--------\n\n") + QStringLiteral("1. ") + words(r, 3)
            + QStringLiteral("\n2. ") + words(r, 3) + QLatin1Char('\n');
        break;
    case 7:
        s += QStringLiteral("[^n") + QString::number(r.below(5)) + QStringLiteral("]: a note about ") + words(r, 4)
            + QStringLiteral("\n\n***\n");
        break;
    default:
        s += QStringLiteral("    indented code ") + words(r, 3) + QStringLiteral("\n\n<div align=\"center\">") + words(r, 3)
            + QStringLiteral("</div>\n");
        break;
    }
    return s + QLatin1Char('\n');
}

// Ordinary documents of about `bytes` UTF-8 bytes.
inline QString document(qsizetype bytes, uint64_t seed = 1)
{
    Random r(seed);
    QString out;
    qsizetype size = 0;
    for (int i = 0; size < bytes; ++i) {
        const QString s = section(r, i);
        size += s.toUtf8().size();
        out += s;
    }
    return out;
}

enum class Stress { LongParagraph, DeepLists, BigTable, ManyQuotes, SetextHeadings, References };

inline QString stress(Stress kind, qsizetype bytes)
{
    Random r(7);
    QString out;
    switch (kind) {
    case Stress::LongParagraph:
        while (out.size() < bytes)
            out += inlineText(r, 12) + QLatin1Char('\n');
        break;
    case Stress::DeepLists:
        while (out.size() < bytes) {
            for (int depth = 0; depth < 12; ++depth)
                out += QString(depth * 2, QLatin1Char(' ')) + QStringLiteral("- ") + words(r, 4) + QLatin1Char('\n');
        }
        break;
    case Stress::BigTable:
        out += QStringLiteral("| a | b | c | d |\n|---|---|---|---|\n");
        while (out.size() < bytes)
            out += QStringLiteral("| ") + words(r, 2) + QStringLiteral(" | *") + words(r, 1) + QStringLiteral("* | `")
                + words(r, 1) + QStringLiteral("` | ") + QString::number(r.below(1000)) + QStringLiteral(" |\n");
        break;
    case Stress::ManyQuotes:
        while (out.size() < bytes)
            out += QStringLiteral("> ") + words(r, 8) + QStringLiteral("\n>\n> > ") + words(r, 5) + QStringLiteral("\n\n");
        break;
    case Stress::SetextHeadings:
        while (out.size() < bytes)
            out += words(r, 6) + QLatin1Char('\n') + words(r, 6) + QStringLiteral("\n=====\n\n") + words(r, 10)
                + QStringLiteral("\n-----\n\n");
        break;
    case Stress::References:
        // Reference definitions up front, then one paragraph full of
        // reference links, escapes and code spans for the masking passes.
        for (int i = 0; i < 200; ++i)
            out += QStringLiteral("[ref") + QString::number(i) + QStringLiteral("]: https://example.org/") + QString::number(i)
                + QStringLiteral(" \"title ") + QString::number(i) + QStringLiteral("\"\n");
        out += QLatin1Char('\n');
        while (out.size() < bytes)
            out += words(r, 3) + QStringLiteral(" [ref") + QString::number(r.below(250)) + QStringLiteral("] \\*not\\* [") + words(r, 1)
                + QStringLiteral("][ref") + QString::number(r.below(200)) + QStringLiteral("] `a]b` ") + inlineText(r, 6) + QLatin1Char('\n');
        break;
    }
    return out;
}

} // namespace corpus
