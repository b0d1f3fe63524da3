#include "DocumentText.h"

#include <QTextCursor>
#include <QTextDocument>

namespace DocumentText {

QString between(const QTextDocument *document, int from, int to)
{
    if (to <= from)
        return {};
    QTextCursor cursor(const_cast<QTextDocument *>(document));
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    // Block breaks come back as U+2029; everything else (NBSP, U+2028) is as stored.
    QString text = cursor.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

QString whole(const QTextDocument *document)
{
    QString text = document->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

int length(const QTextDocument *document)
{
    return document->characterCount() - 1;
}

} // namespace DocumentText
