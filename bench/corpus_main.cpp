#include "CorpusGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

// sorvane_corpus DIR: writes the benchmark documents into DIR.
int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(dir);
    const struct { const char *name; qsizetype bytes; } sizes[] = {
        {"doc-10k.md", 10 * 1024}, {"doc-100k.md", 100 * 1024}, {"doc-1m.md", 1024 * 1024}, {"doc-5m.md", 5 * 1024 * 1024}};
    for (const auto &s : sizes) {
        QFile file(dir + QLatin1Char('/') + QLatin1String(s.name));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(corpus::document(s.bytes).toUtf8());
    }
    return 0;
}
