#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QUuid>

#include <optional>

// One entry of the snippet library: typing `trigger` and pressing Tab in an editor
// replaces it with `body`, whose date, time and cursor tokens are filled in then.
struct Snippet
{
    QUuid id = QUuid::createUuid();
    QString name;
    QString trigger;
    QString body;

    // The body ready to insert and where the caret goes in it (UTF-16 units).
    struct Expansion
    {
        QString text;
        int cursorOffset = 0;
    };
    Expansion expand(const QDateTime &at) const;

    // "body", "id" (hyphenated, no braces), "name", "trigger".
    QJsonObject jsonObject() const;
    // None unless all four keys are there as strings and the id is a UUID.
    static std::optional<Snippet> fromJson(const QJsonValue &value);

    friend bool operator==(const Snippet &, const Snippet &) = default;
};

Q_DECLARE_METATYPE(Snippet)
