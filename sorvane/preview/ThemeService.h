#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class Settings;

// The two layers over the preview theme: an optional extra theme and the user's
// own CSS in "custom.css" (applied while its switch is on). The settings' Themes
// tab writes the three values; the document pane and the copy commands read
// extraCSS(). Used on the GUI thread.
class ThemeService : public QObject
{
    Q_OBJECT
public:
    enum class ProTheme { SerifPro, Mono, Minimal };

    static QString proThemeRawValue(ProTheme theme);
    // Exact match of "Serif Pro", "Mono" or "Minimal"; none for anything else.
    static std::optional<ProTheme> proThemeFromRawValue(const QString &rawValue);
    static QList<ProTheme> allProThemes();
    static QString proThemeStylesheet(ProTheme theme);

    // The text used while no custom.css can be read.
    static QString startingTemplate();

    // custom.css in the application's support folder; empty when there is none.
    static QString customCSSPath();

    // Reads the stored values from the given settings; the first values are not written back.
    explicit ThemeService(Settings &settings, QObject *parent = nullptr);

    // The process-wide instance over Settings::shared(), created on first use.
    static ThemeService &shared();

    QString selectedProThemeRaw() const { return m_selectedProThemeRaw; }
    QString customCSS() const { return m_customCSS; }
    bool useCustomCSS() const { return m_useCustomCSS; }

    void setSelectedProThemeRaw(const QString &raw);
    // Every change is saved to custom.css at once.
    void setCustomCSS(const QString &css);
    void setUseCustomCSS(bool on);

    // What the pages append after all built-in rules: the extra theme's
    // stylesheet, then the user's CSS when switched on. Empty with neither.
    QString extraCSS() const;

    // Shows custom.css in the file manager, writing it first when missing.
    void revealCustomCSSInFinder();

    // How the file is shown; tests replace it. The default opens its folder.
    using Revealer = std::function<void(const QString &filePath)>;
    void setRevealerForTesting(Revealer revealer) { m_revealer = std::move(revealer); }

Q_SIGNALS:
    void selectedProThemeRawChanged();
    void customCSSChanged();
    void useCustomCSSChanged();
    // Any of the three changed: extraCSS() may differ.
    void changed();

private:
    void saveCustomCSS();
    static std::optional<QString> loadCustomCSS();

    Settings &m_settings;
    QString m_selectedProThemeRaw;
    QString m_customCSS;
    bool m_useCustomCSS = false;
    Revealer m_revealer;
};
