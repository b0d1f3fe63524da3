#include "MarkdownHighlighter.h"

#include <QFont>

namespace {

QColor blended(const QColor &color, double alpha)
{
    QColor result = color;
    result.setAlphaF(float(alpha));
    return result;
}

QTextLayout::FormatRange range(int start, int length, const QTextCharFormat &format)
{
    QTextLayout::FormatRange r;
    r.start = start;
    r.length = length;
    r.format = format;
    return r;
}

} // namespace

bool MarkdownHighlighter::Colors::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Base).lightness() < 128;
}

MarkdownHighlighter::Colors MarkdownHighlighter::Colors::forPalette(const QPalette &palette)
{
    // The label greys are the text colour at reduced strength, as the desktop's own
    // secondary text is; the hues are fixed, brighter on a dark background.
    const QColor text = palette.color(QPalette::Text);
    const bool dark = isDark(palette);
    Colors c;
    c.secondaryLabel = blended(text, dark ? 0.55 : 0.5);
    c.tertiaryLabel = blended(text, dark ? 0.3 : 0.3);
    c.quaternaryLabel = blended(text, dark ? 0.12 : 0.08);
    c.orange = dark ? QColor(0xff, 0x9f, 0x0a) : QColor(0xd9, 0x73, 0x00);
    c.purple = dark ? QColor(0xbf, 0x5a, 0xf2) : QColor(0x9a, 0x3d, 0xc8);
    c.blue = dark ? QColor(0x0a, 0x84, 0xff) : QColor(0x00, 0x6a, 0xd6);
    c.green = dark ? QColor(0x30, 0xd1, 0x58) : QColor(0x1f, 0x9d, 0x42);
    c.teal = dark ? QColor(0x40, 0xc8, 0xe0) : QColor(0x1f, 0x8f, 0xa6);
    return c;
}

const QList<MarkdownHighlighter::Pattern> &MarkdownHighlighter::highlightPatterns()
{
    static const QList<Pattern> patterns = [] {
        const std::pair<const char *, Style> table[] = {
            {R"(^```.*$\n[\s\S]*?^```)", Style::codeBlock},
            {R"(`[^`\n]+`)", Style::inlineCode},
            {R"(^#{1,6}\s+.+$)", Style::heading},
            {R"(\*\*(?!\s).+?(?<!\s)\*\*)", Style::bold},
            {R"((?<!\*)\*(?!\*)(?!\s).+?(?<!\s)(?<!\*)\*(?!\*))", Style::italic},
            {R"(\[.+?\]\(.+?\))", Style::link},
            {R"(!\[.*?\]\(.+?\))", Style::image},
            {R"(^>\s+.*$)", Style::blockquote},
            {R"(^(---+|\*\*\*+|___+)$)", Style::hr},
            {R"(^(\s*)([-*+]|\d+\.)\s)", Style::list},
        };
        QList<Pattern> list;
        for (const auto &[source, style] : table) {
            QRegularExpression expression(QString::fromLatin1(source), QRegularExpression::MultilineOption);
            if (!expression.isValid())
                continue;
            expression.optimize();
            list.append({expression, style});
        }
        return list;
    }();
    return patterns;
}

void MarkdownHighlighter::appendStyle(QList<QTextLayout::FormatRange> &out, Style style, int start, int length,
                                      const Colors &colors)
{
    QTextCharFormat format;
    format.setProperty(styleProperty, int(style));
    switch (style) {
    case Style::codeBlock:
    case Style::inlineCode:
        format.setForeground(colors.purple);
        format.setBackground(colors.quaternaryLabel);
        break;
    case Style::heading:
        format.setForeground(colors.orange);
        format.setFontWeight(QFont::Bold);
        format.setFontItalic(false);
        break;
    case Style::bold:
        format.setFontWeight(QFont::Bold);
        format.setFontItalic(false);
        break;
    case Style::italic:
    case Style::blockquote:
        format.setFontWeight(QFont::Normal);
        format.setFontItalic(true);
        if (style == Style::blockquote)
            format.setForeground(colors.secondaryLabel);
        break;
    case Style::link:
        format.setForeground(colors.blue);
        format.setFontUnderline(true);
        break;
    case Style::image:
        format.setForeground(colors.green);
        break;
    case Style::hr:
        format.setForeground(colors.tertiaryLabel);
        break;
    case Style::list:
        format.setForeground(colors.teal);
        break;
    }
    out.append(range(start, length, format));

    // Emphasis markers fade so the emphasised words stand out.
    const int marker = style == Style::bold ? 2 : style == Style::italic ? 1 : 0;
    if (marker > 0 && length >= 2 * marker) {
        QTextCharFormat faded;
        faded.setForeground(colors.tertiaryLabel);
        out.append(range(start, marker, faded));
        out.append(range(start + length - marker, marker, faded));
    }
}

QList<QTextLayout::FormatRange> MarkdownHighlighter::formatRanges(const QString &text, const Colors &colors)
{
    QList<QTextLayout::FormatRange> out;
    if (text.isEmpty())
        return out;
    for (const Pattern &pattern : highlightPatterns()) {
        auto it = pattern.expression.globalMatch(text);
        while (it.hasNext()) {
            const QRegularExpressionMatch match = it.next();
            if (match.capturedLength() > 0)
                appendStyle(out, pattern.style, int(match.capturedStart()), int(match.capturedLength()), colors);
        }
    }
    return out;
}
