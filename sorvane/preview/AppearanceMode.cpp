#include "AppearanceMode.h"

#include "platform/Settings.h"

#include <QGuiApplication>
#include <QPalette>

QString appearanceModeRawValue(AppearanceMode mode)
{
    switch (mode) {
    case AppearanceMode::Light:
        return QStringLiteral("Light");
    case AppearanceMode::Dark:
        return QStringLiteral("Dark");
    case AppearanceMode::Auto:
        break;
    }
    return QStringLiteral("Auto");
}

std::optional<AppearanceMode> appearanceModeFromRawValue(const QString &rawValue)
{
    for (AppearanceMode mode : allAppearanceModes()) {
        if (appearanceModeRawValue(mode) == rawValue)
            return mode;
    }
    return std::nullopt;
}

QList<AppearanceMode> allAppearanceModes()
{
    return {AppearanceMode::Auto, AppearanceMode::Light, AppearanceMode::Dark};
}

AppearanceMode storedAppearanceMode(const Settings &settings)
{
    return appearanceModeFromRawValue(settings.appearanceMode()).value_or(AppearanceMode::Auto);
}

QString resolvedColorScheme(AppearanceMode mode, const QPalette &desktopPalette)
{
    switch (mode) {
    case AppearanceMode::Light:
        return QStringLiteral("light");
    case AppearanceMode::Dark:
        return QStringLiteral("dark");
    case AppearanceMode::Auto:
        break;
    }
    // A dark desktop paints its windows darker than its text.
    const QColor window = desktopPalette.color(QPalette::Window);
    const QColor text = desktopPalette.color(QPalette::WindowText);
    return window.lightnessF() < text.lightnessF() ? QStringLiteral("dark") : QStringLiteral("light");
}

QString resolvedColorScheme(AppearanceMode mode)
{
    return resolvedColorScheme(mode, QGuiApplication::palette());
}
