#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class Settings;

// The two layers over the preview theme: an optional extra theme and the user's
// own CSS in "custom.css" (applied while its switch is on). The settings' Themes
// tab writes the three values; the document pane and the copy commands read
// extraCSS(). Used on the GUI thread; custom.css is written on a thread of its own,
// once typing pauses, so a keystroke never waits for the disk.
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
    // The change is published at once and saved saveDelayMs after the last one.
    void setCustomCSS(const QString &css);
    void setUseCustomCSS(bool on);

    // What the pages append after all built-in rules: the extra theme's
    // stylesheet, then the user's CSS when switched on. Empty with neither.
    QString extraCSS() const;

    // Shows custom.css in the file manager, writing it first when missing.
    void revealCustomCSSInFinder();

    // Saves a waiting text now and returns once every save so far has landed. The
    // settings window calls it when it closes; shared() also runs it at quit.
    void flushPendingSave();

    static constexpr int saveDelayMs = 300;

    // How the file is shown; tests replace it. The default asks the file manager.
    using Revealer = std::function<void(const QString &filePath)>;
    void setRevealerForTesting(Revealer revealer) { m_revealer = std::move(revealer); }

    // What writes the file, on the save thread; tests slow it down or watch it.
    // nullptr restores AtomicFile::write.
    using Writer = std::function<bool(const QString &path, const QByteArray &data, QString *error)>;
    void setWriterForTesting(Writer writer);

    ~ThemeService() override;

Q_SIGNALS:
    void selectedProThemeRawChanged();
    void customCSSChanged();
    void useCustomCSSChanged();
    // Any of the three changed: extraCSS() may differ.
    void changed();
    // What the previews follow: at once for the theme and the switch, and for the
    // text once typing pauses, so a burst of keystrokes reloads a preview once.
    void extraCSSChanged();

private:
    struct SaveQueue;

    // Hands the current text to the save thread.
    void saveCustomCSS();
    // *unreadable: a file is there but its text is not UTF-8 (or cannot be opened).
    static std::optional<QString> loadCustomCSS(bool *unreadable);

    Settings &m_settings;
    QString m_selectedProThemeRaw;
    QString m_customCSS;
    bool m_useCustomCSS = false;
    Revealer m_revealer;
    QTimer m_saveDelay;
    std::unique_ptr<SaveQueue> m_saves;
};
