#pragma once

#include <QString>

#include <array>
#include <optional>

// The formatting commands a toolbar button or menu item sends to an editor. The
// raw values travel in the "sorvane.formatting" notification and equal the case names.
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

namespace MarkdownFormatActionDetail {
inline constexpr std::array<const char *, 14> rawValues = {
    "bold",     "italic", "code",       "link",       "heading1",     "heading2", "heading3",
    "table",    "codeBlock", "blockquote", "bulletList", "numberedList", "taskList", "horizontalRule",
};
} // namespace MarkdownFormatActionDetail

inline QString markdownFormatActionRawValue(MarkdownFormatAction action)
{
    return QString::fromLatin1(MarkdownFormatActionDetail::rawValues.at(static_cast<std::size_t>(action)));
}

// No value for a string that is not exactly one of the raw values (case matters).
inline std::optional<MarkdownFormatAction> markdownFormatActionFromRawValue(const QString &rawValue)
{
    const auto &values = MarkdownFormatActionDetail::rawValues;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (rawValue == QLatin1String(values[i]))
            return static_cast<MarkdownFormatAction>(i);
    }
    return std::nullopt;
}
