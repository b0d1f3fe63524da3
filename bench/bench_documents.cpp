// Opening and saving big documents: the strict UTF-8 read, line-ending detection and
// the atomic write that every save goes through.
#include "CorpusGenerator.h"
#include "documents/TabDocument.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

namespace {

QString writeCorpus(const QTemporaryDir &dir, qsizetype bytes, bool crlf)
{
    QString text = corpus::document(bytes);
    if (crlf)
        text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    const QString path = dir.filePath(QStringLiteral("doc-%1-%2.md").arg(bytes).arg(crlf));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text.toUtf8());
    return path;
}

void openDocument(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = writeCorpus(dir, state.range(0), state.range(1) != 0);
    for (auto _ : state) {
        auto document = TabDocument::open(QUrl::fromLocalFile(path), {}, QUuid::createUuid());
        benchmark::DoNotOptimize((*document)->text().size());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

void saveDocument(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = writeCorpus(dir, state.range(0), state.range(1) != 0);
    auto opened = TabDocument::open(QUrl::fromLocalFile(path), {}, QUuid::createUuid());
    if (!opened) {
        state.SkipWithError("could not open the corpus file");
        return;
    }
    TabDocument &document = **opened;
    int round = 0;
    for (auto _ : state) {
        // A real edit each round, so the modified tab is written.
        document.userEditedRange(0, 0, QString::number(++round));
        if (!document.save())
            state.SkipWithError("could not save");
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

} // namespace

// The largest size is just under the biggest file a tab opens (TabDocument::maxFileBytes).
BENCHMARK(openDocument)
    ->ArgsProduct({{1 << 20, 10 << 20, 60 << 20}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(saveDocument)
    ->ArgsProduct({{1 << 20, 10 << 20, 60 << 20}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
