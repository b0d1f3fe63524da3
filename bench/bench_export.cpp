#include "CorpusGenerator.h"
#include "export/DocumentExporter.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QEventLoop>
#include <QTemporaryDir>

#include <unistd.h>

// PDF export as the command runs it: the standalone page, the hidden web view
// loading it from a file, the wait for math and diagrams, printing and the write.
namespace {

void exportPDF(benchmark::State &state)
{
    const QString text = corpus::document(state.range(0));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("out.pdf"));
    DocumentExporter exporter;
    for (auto _ : state) {
        const QString page = exporter.standalonePage(text, 15.0, QUrl(), QStringLiteral("Default"), false);
        QEventLoop loop;
        bool ok = false;
        exporter.writePDF(page, path, [&](const DocumentExporter::Outcome &result) {
            ok = result.status == DocumentExporter::Outcome::Status::Succeeded;
            loop.quit();
        });
        loop.exec();
        if (!ok) {
            state.SkipWithError("export failed");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * text.toUtf8().size());
}

} // namespace

BENCHMARK(exportPDF)->Arg(100 * 1024)->Arg(1024 * 1024)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The web engine refuses its sandbox as root.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
