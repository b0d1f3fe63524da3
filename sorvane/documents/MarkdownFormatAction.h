#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The formatting commands that travel from menus and toolbar to the editor.
// The order is part of the contract: it is the case index.
enum class MarkdownFormatAction {
    bold,
    italic,
    code,
    link,
    heading1,
    heading2,
    heading3,
    table,
    codeBlock,
    blockquote,
    bulletList,
    numberedList,
    taskList,
    horizontalRule,
};

namespace MarkdownFormatActions {

// Every action in case order.
const QList<MarkdownFormatAction> &all();
// The raw value, equal to the case name.
QString toString(MarkdownFormatAction action);
// Nothing for a string that is not a raw value (comparison is exact).
std::optional<MarkdownFormatAction> fromString(const QString &rawValue);

} // namespace MarkdownFormatActions
