#pragma once

#include <QChar>
#include <QString>

// Test texts mark a selection with ‹ and › ("ab ‹cd› ef"); "‹›" is a bare caret.
inline const QChar selectionStart(0x2039); // ‹
inline const QChar selectionEnd(0x203A);   // ›

struct Marked
{
    QString text;
    int start = 0;
    int end = 0;
};

// The text without marks and the marked selection.
inline Marked unmark(QString text)
{
    Marked marked;
    marked.start = int(text.indexOf(selectionStart));
    text.remove(marked.start, 1);
    marked.end = int(text.indexOf(selectionEnd));
    text.remove(marked.end, 1);
    marked.text = text;
    return marked;
}
