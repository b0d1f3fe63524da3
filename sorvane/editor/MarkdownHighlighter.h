#pragma once

#include <QColor>
#include <QList>
#include <QPalette>
#include <QRegularExpression>
#include <QString>
#include <QTextFormat>
#include <QTextLayout>

// The Markdown colouring of the editor: which patterns mark which style, and the
// formats each style draws. It only computes format ranges over a piece of text;
// EditorView lays them over the visible blocks as layout formats, which never touch
// the text, the undo stack or the modified state.
class MarkdownHighlighter
{
public:
    enum class Style { codeBlock, inlineCode, heading, bold, italic, link, image, blockquote, hr, list };

    // The colours of one pass, taken from the widget's palette (light or dark).
    struct Colors
    {
        QColor tertiaryLabel;
        QColor quaternaryLabel;
        QColor secondaryLabel;
        QColor orange;
        QColor purple;
        QColor blue;
        QColor green;
        QColor teal;

        static Colors forPalette(const QPalette &palette);
        static bool isDark(const QPalette &palette);
    };

    struct Pattern
    {
        QRegularExpression expression;
        Style style;
    };

    // Marks every range with the style whose pattern produced it (tests and the
    // spell checker read it back).
    static constexpr int styleProperty = QTextFormat::UserProperty + 1;

    // Compiled once per process; a pattern that does not compile is left out.
    static const QList<Pattern> &highlightPatterns();

    // The format ranges for `text`, positions relative to it, in pattern order:
    // a later range overrides what an earlier one set where they overlap.
    static QList<QTextLayout::FormatRange> formatRanges(const QString &text, const Colors &colors);

private:
    static void appendStyle(QList<QTextLayout::FormatRange> &out, Style style, int start, int length,
                            const Colors &colors);
};
