// Preview update for a one-word edit in a 1 MB document: from the
// updateContent call to the next frame after layout, in a real web page.
#include "CorpusGenerator.h"

#include "window/MarkdownPreview.h"
#include "window/MarkdownToHTML.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWebEnginePage>

#include <benchmark/benchmark.h>

namespace {

MarkdownPreview *g_preview = nullptr;
QString g_body;

void BM_PreviewOneWordEdit(benchmark::State &state)
{
    QWebEnginePage *page = g_preview->page();
    int round = 0;
    for (auto _ : state) {
        ++round;
        // A different word each round, so the page really changes.
        QString body = g_body;
        body.replace(body.indexOf(QStringLiteral("<p>")) + 3, 0, QStringLiteral("edit%1 ").arg(round));
        const QString marker = QStringLiteral("done-%1").arg(round);
        const QString script = QStringLiteral("updateContent('") + QString::fromLatin1(body.toUtf8().toBase64())
            + QStringLiteral("'); document.body.offsetHeight; requestAnimationFrame(function () { document.title = '")
            + marker + QStringLiteral("'; });");
        QElapsedTimer timer;
        timer.start();
        page->runJavaScript(script);
        if (!QTest::qWaitFor([&] { return page->title() == marker; }, 60000)) {
            state.SkipWithError("the page did not answer");
            return;
        }
        state.SetIterationTime(double(timer.nsecsElapsed()) / 1e9);
    }
    state.counters["bytes"] = double(g_body.toUtf8().size());
}
BENCHMARK(BM_PreviewOneWordEdit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    MarkdownPreview::registerSchemes();
    QApplication app(argc, argv);
    MarkdownPreview preview;
    preview.resize(1000, 800);
    preview.show();
    g_preview = &preview;
    g_body = MarkdownToHTML::renderedBodyHTML(corpus::document(1024 * 1024));
    if (!QTest::qWaitFor([&] { return preview.isPageLoaded(); }, 60000))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
