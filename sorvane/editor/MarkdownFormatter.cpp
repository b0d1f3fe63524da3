#include "MarkdownFormatter.h"

#include "DocumentText.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace MarkdownFormatter {

namespace {

struct InlineFormat
{
    QString prefix;
    QString suffix;
    QString placeholder;
};

InlineFormat inlineFormat(MarkdownFormatAction action)
{
    switch (action) {
    case MarkdownFormatAction::italic:
        return {QStringLiteral("*"), QStringLiteral("*"), QStringLiteral("italic text")};
    case MarkdownFormatAction::code:
        return {QStringLiteral("`"), QStringLiteral("`"), QStringLiteral("code")};
    case MarkdownFormatAction::link:
        return {QStringLiteral("["), QStringLiteral("](url)"), QStringLiteral("link text")};
    default:
        return {QStringLiteral("**"), QStringLiteral("**"), QStringLiteral("bold text")};
    }
}

} // namespace

bool apply(MarkdownFormatAction action, QTextCursor &cursor)
{
    if (cursor.isNull())
        return false;
    switch (action) {
    case MarkdownFormatAction::heading1:
        toggleHeading(cursor, QStringLiteral("# "));
        return true;
    case MarkdownFormatAction::heading2:
        toggleHeading(cursor, QStringLiteral("## "));
        return true;
    case MarkdownFormatAction::heading3:
        toggleHeading(cursor, QStringLiteral("### "));
        return true;
    case MarkdownFormatAction::table:
        insertBlockTemplate(cursor, tableTemplate);
        return true;
    case MarkdownFormatAction::codeBlock:
        insertBlockTemplate(cursor, codeBlockTemplate);
        return true;
    case MarkdownFormatAction::blockquote:
        toggleLinePrefix(cursor, QStringLiteral("> "));
        return true;
    case MarkdownFormatAction::bulletList:
        toggleLinePrefix(cursor, QStringLiteral("- "));
        return true;
    case MarkdownFormatAction::numberedList:
        toggleLinePrefix(cursor, QStringLiteral("1. "));
        return true;
    case MarkdownFormatAction::taskList:
        toggleLinePrefix(cursor, QStringLiteral("- [ ] "));
        return true;
    case MarkdownFormatAction::horizontalRule:
        insertBlockTemplate(cursor, QStringLiteral("---"));
        return true;
    case MarkdownFormatAction::bold:
    case MarkdownFormatAction::italic:
    case MarkdownFormatAction::code:
    case MarkdownFormatAction::link: {
        const InlineFormat format = inlineFormat(action);
        toggleInline(cursor, format.prefix, format.suffix, format.placeholder);
        return true;
    }
    }
    return false;
}

void toggleInline(QTextCursor &cursor, const QString &prefix, const QString &suffix, const QString &placeholder)
{
    QTextDocument *document = cursor.document();
    const int prefixLength = int(prefix.size());
    const int suffixLength = int(suffix.size());
    const int location = cursor.selectionStart();
    const int end = cursor.selectionEnd();
    QTextCursor edit(document);
    edit.beginEditBlock();
    if (location == end) {
        edit.setPosition(location);
        edit.insertText(prefix + placeholder + suffix);
        edit.endEditBlock();
        cursor.setPosition(location + prefixLength);
        cursor.setPosition(location + prefixLength + int(placeholder.size()), QTextCursor::KeepAnchor);
        return;
    }
    const QString before = DocumentText::between(document, std::max(location - prefixLength, 0), location);
    const QString after = DocumentText::between(document, end, std::min(end + suffixLength, DocumentText::length(document)));
    int caret;
    if (before.endsWith(prefix) && after.startsWith(suffix)) {
        edit.setPosition(end);
        edit.setPosition(end + suffixLength, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
        edit.setPosition(location - prefixLength);
        edit.setPosition(location, QTextCursor::KeepAnchor);
        edit.removeSelectedText();
        caret = end - prefixLength;
    } else {
        // Only the marks are inserted; the selected characters themselves stay untouched.
        edit.setPosition(end);
        edit.insertText(suffix);
        edit.setPosition(location);
        edit.insertText(prefix);
        caret = end + prefixLength + suffixLength;
    }
    edit.endEditBlock();
    cursor.setPosition(caret);
}

void replaceLine(QTextCursor &cursor, const QTextBlock &block, const QString &newLine)
{
    // Only the part that differs is replaced, so the edit covers the marks alone.
    const QString oldLine = block.text();
    int head = 0;
    const int shorter = int(std::min(oldLine.size(), newLine.size()));
    while (head < shorter && oldLine.at(head) == newLine.at(head))
        ++head;
    int tail = 0;
    while (tail < shorter - head && oldLine.at(oldLine.size() - 1 - tail) == newLine.at(newLine.size() - 1 - tail))
        ++tail;
    const int start = block.position();
    QTextCursor edit(cursor.document());
    edit.beginEditBlock();
    edit.setPosition(start + head);
    edit.setPosition(start + int(oldLine.size()) - tail, QTextCursor::KeepAnchor);
    edit.insertText(newLine.mid(head, newLine.size() - head - tail));
    edit.endEditBlock();
    cursor.setPosition(start + int(newLine.size()));
}

void toggleHeading(QTextCursor &cursor, const QString &prefix)
{
    // The line without its break: stripping blanks after the marks must never eat it.
    const QTextBlock block = cursor.document()->findBlock(cursor.selectionStart());
    static const QRegularExpression marks(QStringLiteral("^#{1,6}\\s*"));
    const QString line = block.text();
    QString stripped = line;
    stripped.remove(marks);
    replaceLine(cursor, block, line.startsWith(prefix) ? stripped : prefix + stripped);
}

void toggleLinePrefix(QTextCursor &cursor, const QString &prefix)
{
    const QTextBlock block = cursor.document()->findBlock(cursor.selectionStart());
    const QString line = block.text();
    replaceLine(cursor, block, line.startsWith(prefix) ? line.mid(prefix.size()) : prefix + line);
}

void insertBlockTemplate(QTextCursor &cursor, const QString &blockTemplate)
{
    const int start = cursor.selectionStart();
    const QTextBlock block = cursor.document()->findBlock(start);
    const bool bare = start == 0 || block.text().isEmpty();
    const QString inserted = (bare ? QString() : QStringLiteral("\n\n")) + blockTemplate + QLatin1Char('\n');
    QTextCursor edit(cursor.document());
    edit.beginEditBlock();
    edit.setPosition(start);
    edit.insertText(inserted);
    edit.endEditBlock();
    cursor.setPosition(start + int(inserted.size()));
}

} // namespace MarkdownFormatter
