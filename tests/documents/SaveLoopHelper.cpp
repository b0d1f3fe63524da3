// Saves a document over and over, alternating two contents, until it is killed.
#include "SaveLoopContent.h"

#include "documents/TabDocument.h"

#include <QCoreApplication>
#include <QUrl>
#include <QUuid>

#include <cstdio>
#include <exception>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString a = QString::fromLatin1(saveLoopContent('A'));
    const QString b = QString::fromLatin1(saveLoopContent('B'));
    TabDocument::Opened opened = TabDocument::open(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])), {},
                                                   QUuid::createUuid());
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error().description()));
        return 1;
    }
    TabDocument &document = **opened;
    std::fputs("saving\n", stdout);
    std::fflush(stdout);
    for (;;) {
        document.userEditedText(document.text() == a ? b : a);
        if (const TabDocument::Access saved = document.save(); !saved) {
            std::fprintf(stderr, "%s\n", qPrintable(saved.error().description()));
            return 1;
        }
    }
}
