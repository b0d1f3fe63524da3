#include "Snippet.h"

#include "SnippetDateFormat.h"

#include <QJsonValue>

Snippet::Expansion Snippet::expand(const QDateTime &at) const
{
    QString text = body;
    text.replace(QStringLiteral("{{date}}"), SnippetDateFormat::date(at));
    text.replace(QStringLiteral("{{time}}"), SnippetDateFormat::time(at));
    text.replace(QStringLiteral("{{datetime}}"), SnippetDateFormat::datetime(at));

    static const QString cursorToken = QStringLiteral("{{cursor}}");
    // Only the first marker places the caret; any later one is kept as typed.
    const qsizetype marker = text.indexOf(cursorToken);
    if (marker < 0)
        return {text, int(text.size())};
    text.remove(marker, cursorToken.size());
    return {text, int(marker)};
}

QJsonObject Snippet::jsonObject() const
{
    return {
        {QStringLiteral("id"), id.toString(QUuid::WithoutBraces)},
        {QStringLiteral("name"), name},
        {QStringLiteral("trigger"), trigger},
        {QStringLiteral("body"), body},
    };
}

std::optional<Snippet> Snippet::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue name = object.value(QStringLiteral("name"));
    const QJsonValue trigger = object.value(QStringLiteral("trigger"));
    const QJsonValue body = object.value(QStringLiteral("body"));
    if (!id.isString() || !name.isString() || !trigger.isString() || !body.isString())
        return std::nullopt;
    const QString idText = id.toString();
    // Only the plain 36-character form; QUuid would also take braces.
    const QUuid uuid = QUuid::fromString(idText);
    if (idText.size() != 36 || uuid.isNull())
        return std::nullopt;
    Snippet snippet;
    snippet.id = uuid;
    snippet.name = name.toString();
    snippet.trigger = trigger.toString();
    snippet.body = body.toString();
    return snippet;
}
