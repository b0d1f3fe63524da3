// Opens PATH, replaces its text with SIZE characters and saves, as the editor does
// after start-up; prints "saved yes|no" and each alert's text. The parent runs it
// under a file-size limit.
#include "ScriptedAlertPresenter.h"
#include "documents/DocumentManager.h"
#include "documents/TabDocument.h"
#include "shell/SorvaneApp.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char **argv)
{
    SorvaneApp::prepareProcess();
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    ScriptedAlertPresenter alerts;
    DocumentManager manager;
    manager.openFile(QString::fromLocal8Bit(argv[1]));
    TabDocument *document = manager.selectedDocument();
    if (!document)
        return 3;
    document->userEditedText(QString(QByteArray(argv[2]).toInt(), QLatin1Char('x')));
    const bool saved = manager.save(document);
    std::printf("saved %s\n", saved ? "yes" : "no");
    for (const AlertRequest &alert : std::as_const(alerts.alerts))
        std::printf("alert %s\n", qPrintable(alert.informativeText));
    std::fflush(stdout);
    return 0;
}
