#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

// One pin of the AI workspace: a file shown above the tree. Stored as a JSON object
// {"path", "name", "isAgentDoc"}; the pins as a JSON array of those.
struct AgentFavorite {
    QString path;
    QString name;
    // Agent instruction files (AGENTS.md, CLAUDE.md) sort first and get their own icon.
    bool isAgentDoc = false;

    QJsonObject toJson() const;
    // Needs all three keys with their types; anything else is not a pin.
    static std::optional<AgentFavorite> fromJson(const QJsonValue &value);

    // The stored form of a list of pins: a compact JSON array.
    static QByteArray encodeList(const QList<AgentFavorite> &favorites);

    friend bool operator==(const AgentFavorite &, const AgentFavorite &) = default;
};
