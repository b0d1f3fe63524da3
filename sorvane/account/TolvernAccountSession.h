#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// The application's record of the signed-in account; never written to disk.
struct TolvernAccountSession {
    QString sessionToken;
    QString tolvernAccountID;
    std::optional<QString> email;
    std::optional<QString> expiresAt;

    bool operator==(const TolvernAccountSession &other) const = default;
    QJsonObject toJSON() const;
    // Nullopt when a required key is missing or not a string.
    static std::optional<TolvernAccountSession> fromJSON(const QJsonObject &json);
};
