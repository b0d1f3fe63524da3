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
    try {
        auto document = TabDocument::open(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[1])), {}, QUuid::createUuid());
        std::fputs("saving\n", stdout);
        std::fflush(stdout);
        for (;;) {
            document->userEditedText(document->text() == a ? b : a);
            document->save();
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
