#pragma once

#include <QList>
#include <QString>

#include <optional>

class QPalette;
class Settings;

// The user's colour-scheme choice; the raw values are stored under "appearanceMode".
enum class AppearanceMode { Auto, Light, Dark };

QString appearanceModeRawValue(AppearanceMode mode);
// Exact, case-sensitive match of "Auto", "Light" or "Dark".
std::optional<AppearanceMode> appearanceModeFromRawValue(const QString &rawValue);
QList<AppearanceMode> allAppearanceModes();

// The stored "appearanceMode"; anything unknown reads as the default, Auto.
AppearanceMode storedAppearanceMode(const Settings &settings);

// The scheme the preview page is given: always "light" or "dark". The web
// engine's own prefers-color-scheme does not follow the desktop, so Auto is
// settled here from the palette's window colour.
QString resolvedColorScheme(AppearanceMode mode, const QPalette &desktopPalette);
// Resolved against the application's current palette.
QString resolvedColorScheme(AppearanceMode mode);
