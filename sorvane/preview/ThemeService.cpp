#include "ThemeService.h"

#include "diagnostics/DiagnosticLogBuffer.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/Settings.h"
#include "platform/SettingsKeys.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

QString ThemeService::proThemeRawValue(ProTheme theme)
{
    switch (theme) {
    case ProTheme::SerifPro:
        return QStringLiteral("Serif Pro");
    case ProTheme::Mono:
        return QStringLiteral("Mono");
    case ProTheme::Minimal:
        break;
    }
    return QStringLiteral("Minimal");
}

std::optional<ThemeService::ProTheme> ThemeService::proThemeFromRawValue(const QString &rawValue)
{
    for (ProTheme theme : allProThemes()) {
        if (proThemeRawValue(theme) == rawValue)
            return theme;
    }
    return std::nullopt;
}

QList<ThemeService::ProTheme> ThemeService::allProThemes()
{
    return {ProTheme::SerifPro, ProTheme::Mono, ProTheme::Minimal};
}

QString ThemeService::proThemeStylesheet(ProTheme theme)
{
    switch (theme) {
    case ProTheme::SerifPro:
        return QStringLiteral(
            "body { font-family: \"Iowan Old Style\", \"Palatino Linotype\", Palatino, Georgia, serif; "
            "max-width: 720px; padding: 48px 40px; }\n"
            "h1, h2, h3, h4, h5, h6 { font-family: \"Iowan Old Style\", \"Palatino Linotype\", Palatino, Georgia, "
            "serif; font-weight: 600; letter-spacing: -0.01em; }\n"
            "h1 { font-size: 2.25em; }\n"
            "p { line-height: 1.75; }\n"
            "blockquote { font-style: italic; border-left-width: 4px; padding-left: 20px; }\n");
    case ProTheme::Mono:
        return QStringLiteral(
            "body { font-family: \"JetBrains Mono\", \"SF Mono\", \"Fira Code\", Menlo, monospace; "
            "font-size: 13px; line-height: 1.7; max-width: 800px; }\n"
            "h1, h2, h3, h4, h5, h6 { font-family: \"JetBrains Mono\", \"SF Mono\", Menlo, monospace; "
            "font-weight: 700; }\n"
            "code, pre code { font-size: 0.95em; }\n"
            "a { text-decoration: underline; }\n");
    case ProTheme::Minimal:
        break;
    }
    return QStringLiteral(
        "body { max-width: 620px; padding: 64px 32px; font-size: 17px; line-height: 1.7; }\n"
        "h1 { font-size: 1.9em; border-bottom: none; margin-bottom: 0.6em; }\n"
        "h2 { font-size: 1.4em; border-bottom: none; }\n"
        "h3 { font-size: 1.15em; }\n"
        "p { margin-bottom: 1.25em; }\n"
        "hr { margin: 3em auto; width: 40%; }\n");
}

QString ThemeService::startingTemplate()
{
    return QStringLiteral("/* Custom CSS for sorv.ane preview\n"
                          "   Paste anything. Selectors match the rendered HTML inside `#content`.\n"
                          "   Examples:\n"
                          "\n"
                          "   body { max-width: 720px; }\n"
                          "   h1 { color: #c0392b; }\n"
                          "   pre { background: #0b1020; color: #e3e9ff; }\n"
                          "*/");
}

QString ThemeService::customCSSPath()
{
    const QString folder = AppPaths::supportFolder();
    if (folder.isEmpty())
        return QString();
    return folder + QStringLiteral("/custom.css");
}

ThemeService::ThemeService(Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_selectedProThemeRaw(settings.stringValue(SettingsKeys::proTheme))
    , m_customCSS(loadCustomCSS().value_or(startingTemplate()))
    , m_useCustomCSS(settings.useCustomCSS())
{
}

ThemeService &ThemeService::shared()
{
    static ThemeService *service = new ThemeService(Settings::shared());
    return *service;
}

void ThemeService::setSelectedProThemeRaw(const QString &raw)
{
    m_selectedProThemeRaw = raw;
    Q_EMIT selectedProThemeRawChanged();
    Q_EMIT changed();
    // The empty string is stored as such: "no extra theme" is a choice.
    m_settings.setValue(SettingsKeys::proTheme, raw);
}

void ThemeService::setCustomCSS(const QString &css)
{
    m_customCSS = css;
    Q_EMIT customCSSChanged();
    Q_EMIT changed();
    saveCustomCSS();
}

void ThemeService::setUseCustomCSS(bool on)
{
    m_useCustomCSS = on;
    Q_EMIT useCustomCSSChanged();
    Q_EMIT changed();
    m_settings.setUseCustomCSS(on);
}

QString ThemeService::extraCSS() const
{
    QString css;
    if (const auto theme = proThemeFromRawValue(m_selectedProThemeRaw))
        css += proThemeStylesheet(*theme);
    if (m_useCustomCSS)
        css += QStringLiteral("\n/* user custom.css */\n") + m_customCSS;
    return css;
}

void ThemeService::saveCustomCSS()
{
    const QString path = customCSSPath();
    if (path.isEmpty())
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QString error;
    if (!AtomicFile::write(path, m_customCSS.toUtf8(), &error)) {
        // The text in memory keeps applying; only the next launch loses it.
        DiagnosticLogBuffer::shared().add(DiagnosticLogBuffer::Level::Warn, QStringLiteral("persist"),
                                          QStringLiteral("custom CSS save failed; in-memory theme intact but "
                                                         "will not survive relaunch"),
                                          LoggedError{QStringLiteral("FileWriteError"), error});
    }
}

std::optional<QString> ThemeService::loadCustomCSS()
{
    const QString path = customCSSPath();
    if (path.isEmpty())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

void ThemeService::revealCustomCSSInFinder()
{
    const QString path = customCSSPath();
    if (path.isEmpty())
        return;
    if (!QFileInfo::exists(path))
        saveCustomCSS();
    if (m_revealer) {
        m_revealer(path);
        return;
    }
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
}
