#pragma once

#include <QList>
#include <QTextBlock>
#include <QTextLayout>

class QTextDocument;

using FormatRanges = QList<QTextLayout::FormatRange>;

// Highlight and spelling formats of one block. They live beside the block rather
// than in the document, so drawing them never counts as an edit. The editor's
// highlighting pass fills `highlight`, the spelling decorator fills `spelling`; the
// layout draws both, and an edit moves both together.
class BlockDecorations : public QTextBlockUserData
{
public:
    FormatRanges highlight;
    FormatRanges spelling;

    // The block's decorations, or null when it has none yet.
    static BlockDecorations *of(const QTextBlock &block);
    static BlockDecorations *ensure(QTextBlock &block);
    // Hands the decorations to the block's layout (clears it when there are none).
    static void lay(const QTextBlock &block);

    // Follows one edit reported by QTextDocument::contentsChange. Within one line
    // the formats move with their text (a highlight grows or shrinks with an edit
    // inside it, a misspelling being typed loses its underline); lines split or
    // joined lose theirs until the next pass. `oldBlockCount` is the block count
    // before the edit.
    static void shift(QTextDocument *document, int oldBlockCount, int position, int charsRemoved, int charsAdded);
};

// Keeps the parts of `ranges` that lie outside [from, to).
FormatRanges rangesOutside(const FormatRanges &ranges, int from, int to);
