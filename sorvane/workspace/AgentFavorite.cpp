#include "AgentFavorite.h"

#include <QJsonArray>
#include <QJsonDocument>

QJsonObject AgentFavorite::toJson() const
{
    return {
        {QStringLiteral("path"), path},
        {QStringLiteral("name"), name},
        {QStringLiteral("isAgentDoc"), isAgentDoc},
    };
}

std::optional<AgentFavorite> AgentFavorite::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue path = object.value(QStringLiteral("path"));
    const QJsonValue name = object.value(QStringLiteral("name"));
    const QJsonValue agent = object.value(QStringLiteral("isAgentDoc"));
    if (!path.isString() || !name.isString() || !agent.isBool())
        return std::nullopt;
    return AgentFavorite{path.toString(), name.toString(), agent.toBool()};
}

QByteArray AgentFavorite::encodeList(const QList<AgentFavorite> &favorites)
{
    QJsonArray array;
    for (const AgentFavorite &favorite : favorites)
        array.append(favorite.toJson());
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}
