#include "documents/DocumentManager.h"
#include "documents/QuitGate.h"
#include "shell/PlainDocumentWindow.h"

#include <QApplication>
#include <QDir>
#include <QUrl>

int main(int argc, char **argv)
{
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
    const QStringList arguments = QApplication::arguments().mid(1);
    for (const QString &argument : arguments) {
        const QUrl url = QUrl::fromUserInput(argument, QDir::currentPath(), QUrl::AssumeLocalFile);
        if (url.isLocalFile())
            manager.openFile(url);
    }
    window.show();
    manager.restoreSessionIfNeeded();
    return QApplication::exec();
}
