#pragma once

#include "ScriptedAlertPresenter.h"
#include "documents/DocumentManager.h"
#include "platform/Settings.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QWidget>

// A document manager over a temp folder with scripted alerts, and the settings
// the window reads put back to their defaults.
struct WindowFixture
{
    WindowFixture()
    {
        for (const char *key : {"preferredViewMode", "showOutline", "fontSize", "appearanceMode", "distractionFree",
                                "showWorkspace", "previewTheme", "spellCheck"})
            Settings::shared().remove(QString::fromLatin1(key));
        // Spelling underlines are not what these tests look at.
        Settings::shared().setValue(QStringLiteral("spellCheck"), false);
    }

    QString writeFile(const QString &name, const QByteArray &content)
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(content);
        return path;
    }

    QTemporaryDir dir;
    ScriptedAlertPresenter alerts;
    DocumentManager manager;
};

// Saves a grab for a person to look at when SORVANE_SCREENSHOT_DIR names a folder.
inline QImage grabAndKeep(QWidget &widget, const QString &name)
{
    const QImage image = widget.grab().toImage();
    const QString folder = qEnvironmentVariable("SORVANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        image.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    }
    return image;
}

inline const QString sampleMarkdown = QStringLiteral(
    "# Project notes\n\n"
    "Some *emphasis*, some **strong** text and `inline code`.\n\n"
    "## Tasks\n\n"
    "- [x] Write the outline\n"
    "- [ ] Review the draft\n\n"
    "## Details\n\n"
    "| Name | Value |\n|------|-------|\n| one  | 1     |\n\n"
    "### Code\n\n"
    "```cpp\nint main() { return 0; }\n```\n\n"
    "> A quoted line.\n");
