#include "documents/DocumentManager.h"
#include "documents/QuitGate.h"
#include "shell/PlainDocumentWindow.h"
#include "window/MarkdownPreview.h"

#include <QApplication>
#include <QDir>
#include <QUrl>

int main(int argc, char **argv)
{
    // The preview's URL scheme must be known before the web engine starts.
    MarkdownPreview::registerSchemes();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("sorvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("sorv.ane"));
    QApplication::setOrganizationDomain(QStringLiteral("tolvern.dev"));
    QApplication::setDesktopFileName(QStringLiteral("sorvane"));
    // The window asks about unsaved tabs itself before it lets the app go.
    QApplication::setQuitOnLastWindowClosed(false);

    DocumentManager manager;
    // Logout and SIGTERM reach the same gate as the window's Quit and close button.
    QuitGate quitGate(manager);
    quitGate.installTerminationHandler();
    PlainDocumentWindow window(manager);
    window.show();
    // The previous session comes back before the files named on the command line are
    // opened: a file argument must not make the next session save drop unsaved tabs.
    manager.restoreSessionIfNeeded();
    const QStringList arguments = QApplication::arguments().mid(1);
    for (const QString &argument : arguments) {
        const QUrl url = QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile);
        if (url.isLocalFile())
            manager.openFile(url);
    }
    return QApplication::exec();
}
