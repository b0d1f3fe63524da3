#include "ViewMode.h"

#include "platform/Settings.h"

QString viewModeRawValue(ViewMode mode)
{
    switch (mode) {
    case ViewMode::Preview:
        return QStringLiteral("Preview");
    case ViewMode::Editor:
        return QStringLiteral("Editor");
    case ViewMode::Split:
        break;
    }
    return QStringLiteral("Split");
}

std::optional<ViewMode> viewModeFromRawValue(const QString &rawValue)
{
    for (ViewMode mode : allViewModes()) {
        if (viewModeRawValue(mode) == rawValue)
            return mode;
    }
    return std::nullopt;
}

QList<ViewMode> allViewModes()
{
    return {ViewMode::Preview, ViewMode::Editor, ViewMode::Split};
}

ViewMode storedViewMode(const Settings &settings)
{
    return viewModeFromRawValue(settings.preferredViewMode()).value_or(ViewMode::Split);
}

void storeViewMode(Settings &settings, ViewMode mode)
{
    settings.setPreferredViewMode(viewModeRawValue(mode));
}
