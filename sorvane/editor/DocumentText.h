#pragma once

#include <QString>

class QTextDocument;

// Reading text back out of a QTextDocument the way the rest of the application
// sees it: line breaks as "\n", every other character (NBSP, U+2028) as stored.
namespace DocumentText {

// The characters in [from, to); empty when the range is empty or reversed.
QString between(const QTextDocument *document, int from, int to);
// The whole text.
QString whole(const QTextDocument *document);
// The number of characters, without the block break QTextDocument keeps at the end.
int length(const QTextDocument *document);

} // namespace DocumentText
