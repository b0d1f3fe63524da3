#include "BlockDecorations.h"

#include <QTextDocument>

#include <algorithm>
#include <utility>

BlockDecorations *BlockDecorations::of(const QTextBlock &block)
{
    return static_cast<BlockDecorations *>(block.userData());
}

BlockDecorations *BlockDecorations::ensure(QTextBlock &block)
{
    auto *decorations = of(block);
    if (!decorations) {
        decorations = new BlockDecorations;
        block.setUserData(decorations);
    }
    return decorations;
}

void BlockDecorations::lay(const QTextBlock &block)
{
    QTextLayout *layout = block.layout();
    if (!layout)
        return;
    const auto *decorations = of(block);
    if (!decorations) {
        layout->clearFormats();
        return;
    }
    layout->setFormats(decorations->highlight + decorations->spelling);
}

void BlockDecorations::shift(QTextDocument *document, int oldBlockCount, int position, int charsRemoved,
                             int charsAdded)
{
    QTextBlock block = document->findBlock(position);
    if (!block.isValid())
        return;
    const int blockEnd = block.position() + block.length() - 1;
    const bool withinLine = document->blockCount() == oldBlockCount && position + charsAdded <= blockEnd;
    if (!withinLine) {
        // Lines were split or joined: their formats are redrawn by the next pass.
        const QTextBlock last = document->findBlock(position + charsAdded);
        for (;;) {
            if (of(block)) {
                block.setUserData(nullptr);
                lay(block);
            }
            if (block == last || !block.isValid())
                break;
            block = block.next();
        }
        return;
    }
    auto *decorations = of(block);
    if (!decorations)
        return;
    const int at = position - block.position();
    const int delta = charsAdded - charsRemoved;
    FormatRanges highlight;
    for (auto range : std::as_const(decorations->highlight)) {
        const int end = range.start + range.length;
        if (end <= at) {
        } else if (range.start >= at + charsRemoved) {
            range.start += delta;
        } else {
            // The edit falls inside the range: the range grows or shrinks with it.
            const int newStart = std::min(range.start, at);
            const int newEnd = end >= at + charsRemoved ? end + delta : at + charsAdded;
            range.start = newStart;
            range.length = newEnd - newStart;
        }
        if (range.length > 0)
            highlight.append(range);
    }
    FormatRanges spelling;
    for (auto range : std::as_const(decorations->spelling)) {
        const int end = range.start + range.length;
        if (end < at) {
            spelling.append(range);
        } else if (range.start > at + charsRemoved) {
            range.start += delta;
            spelling.append(range);
        }
        // A word being typed loses its underline until the next check.
    }
    decorations->highlight = highlight;
    decorations->spelling = spelling;
    lay(block);
}

FormatRanges rangesOutside(const FormatRanges &ranges, int from, int to)
{
    FormatRanges kept;
    for (const auto &range : ranges) {
        const int end = range.start + range.length;
        if (end <= from || range.start >= to) {
            kept.append(range);
            continue;
        }
        if (range.start < from) {
            auto head = range;
            head.length = from - range.start;
            kept.append(head);
        }
        if (end > to) {
            auto tail = range;
            tail.start = to;
            tail.length = end - to;
            kept.append(tail);
        }
    }
    return kept;
}
