#pragma once

#include <QList>
#include <QString>

#include <optional>

class Settings;

// The layout of a document pane; the raw values are stored under "preferredViewMode".
enum class ViewMode { Preview, Editor, Split };

QString viewModeRawValue(ViewMode mode);
// Exact, case-sensitive match of "Preview", "Editor" or "Split".
std::optional<ViewMode> viewModeFromRawValue(const QString &rawValue);
QList<ViewMode> allViewModes();

// The stored "preferredViewMode"; anything unknown reads as the default, Split.
ViewMode storedViewMode(const Settings &settings);
void storeViewMode(Settings &settings, ViewMode mode);
