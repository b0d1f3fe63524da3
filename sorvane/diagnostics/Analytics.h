#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>

// Usage events. Nothing is sent yet: the analytics service arrives later; until then
// events go only to an installed observer, which tests use to see what was recorded.
class Analytics
{
public:
    Analytics() = delete;

    // An event name (lower-case snake case) and its properties. Never fails, never waits.
    static void track(const QString &name, const QVariantMap &properties = {});

    // Receives every tracked event; nullptr removes it.
    static void setObserver(std::function<void(const QString &name, const QVariantMap &properties)> observer);
};
