#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// The desktop's ways of passing a document on: e-mail it, show it in the file
// manager, copy its path. The programs and the D-Bus call go through a launcher
// that tests replace, so they can see the command lines without starting anything.
class DesktopShare
{
public:
    class Launcher
    {
    public:
        virtual ~Launcher();
        virtual bool startDetached(const QString &program, const QStringList &arguments) = 0;
        virtual bool openUrl(const QUrl &url) = 0;
        // org.freedesktop.FileManager1.ShowItems; false when no file manager answered.
        virtual bool showItemsInFileManager(const QStringList &fileUris) = 0;
    };

    DesktopShare() = delete;

    // A new message in the user's mail program with the file attached (xdg-email).
    static bool emailFile(const QString &path);
    // A new message holding the text, through a mailto: address.
    static bool emailText(const QString &subject, const QString &body);
    static QUrl mailtoURL(const QString &subject, const QString &body);
    // Selects the file in the file manager; without one answering on D-Bus, opens
    // the file's folder instead.
    static bool showInFileManager(const QString &path);
    static void copyPath(const QString &path);

    static Launcher &launcher();
    // Installs a launcher (not owned); nullptr restores the real one.
    static void setLauncher(Launcher *launcher);
};
