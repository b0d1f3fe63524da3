#pragma once

#include "documents/MarkdownFormatAction.h"

#include <QString>

class QTextBlock;
class QTextCursor;

// The Markdown formatting actions as edits through a text cursor, with no view
// behind them: the editor applies them at its caret, and modal editing or snippet
// expansion can apply them to any cursor. Every function makes exactly one edit
// block, so each action is one undo step that never merges with the typing before
// it, and leaves `cursor` where the caret (or the selection) belongs afterwards.
namespace MarkdownFormatter {

inline const QString tableTemplate = QStringLiteral("| Column 1 | Column 2 | Column 3 |\n"
                                                    "|----------|----------|----------|\n"
                                                    "| Cell     | Cell     | Cell     |\n"
                                                    "| Cell     | Cell     | Cell     |");
inline const QString codeBlockTemplate = QStringLiteral("```language\ncode\n```");

// Applies one of the fourteen actions around the cursor's selection. False, and
// nothing touched, for a null cursor or a value that is not an action.
bool apply(MarkdownFormatAction action, QTextCursor &cursor);

// Wraps the selection in `prefix` and `suffix`, or removes them when they already
// surround it; with no selection inserts the placeholder wrapped and selects it.
void toggleInline(QTextCursor &cursor, const QString &prefix, const QString &suffix, const QString &placeholder);
// Makes the line at the selection start a heading with `prefix` ("## "), or plain
// text when it already starts with that prefix; other heading marks are replaced.
void toggleHeading(QTextCursor &cursor, const QString &prefix);
// Adds `prefix` ("> ", "- ") to the line at the selection start, or removes it.
void toggleLinePrefix(QTextCursor &cursor, const QString &prefix);
// Inserts `blockTemplate` and a line break at the selection start, after a blank
// line unless the line there is empty or the text starts there.
void insertBlockTemplate(QTextCursor &cursor, const QString &blockTemplate);
// Replaces the text of `block` by `newLine`, editing only the part that differs,
// and puts the caret at the end of the new line.
void replaceLine(QTextCursor &cursor, const QTextBlock &block, const QString &newLine);

} // namespace MarkdownFormatter
