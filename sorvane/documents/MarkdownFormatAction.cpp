#include "MarkdownFormatAction.h"

#include <array>

namespace {
constexpr std::array<const char *, 14> rawValues{
    "bold",      "italic",    "code",       "link",       "heading1",     "heading2", "heading3",
    "table",     "codeBlock", "blockquote", "bulletList", "numberedList", "taskList", "horizontalRule",
};
} // namespace

namespace MarkdownFormatActions {

const QList<MarkdownFormatAction> &all()
{
    static const QList<MarkdownFormatAction> actions = [] {
        QList<MarkdownFormatAction> list;
        for (std::size_t i = 0; i < rawValues.size(); ++i)
            list.append(static_cast<MarkdownFormatAction>(i));
        return list;
    }();
    return actions;
}

QString toString(MarkdownFormatAction action)
{
    const auto index = static_cast<std::size_t>(action);
    return index < rawValues.size() ? QString::fromLatin1(rawValues[index]) : QString();
}

std::optional<MarkdownFormatAction> fromString(const QString &rawValue)
{
    for (std::size_t i = 0; i < rawValues.size(); ++i) {
        if (rawValue == QLatin1String(rawValues[i]))
            return static_cast<MarkdownFormatAction>(i);
    }
    return std::nullopt;
}

} // namespace MarkdownFormatActions
