// Preview update for a one-word edit in a 1 MB document: from the
// updateContent call to the next frame after layout, in a real web page;
// the same through the preview's own push (only the changed stretch crosses
// over), timed from the push after its debounce; and the same document into
// an empty page, shown from the top (the rest follows while the page is idle).
#include "CorpusGenerator.h"

#include "preview/MarkdownPreview.h"
#include "render/MarkdownToHTML.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWebEnginePage>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

MarkdownPreview *g_preview = nullptr;
QString g_body;

// Pushes a fragment and waits for the next frame after layout; the seconds taken.
double push(const QString &body, int round)
{
    QWebEnginePage *page = g_preview->page();
    const QString marker = QStringLiteral("done-%1").arg(round);
    const QString script = QStringLiteral("updateContent('") + QString::fromLatin1(body.toUtf8().toBase64())
        + QStringLiteral("'); document.body.offsetHeight; requestAnimationFrame(function () { document.title = '")
        + marker + QStringLiteral("'; });");
    QElapsedTimer timer;
    timer.start();
    page->runJavaScript(script);
    if (!QTest::qWaitFor([&] { return page->title() == marker; }, 60000))
        return -1;
    return double(timer.nsecsElapsed()) / 1e9;
}

int g_round = 0;

// Waits until the page has finished what a fill leaves for idle time, as it
// has long before a user's first edit.
bool settled()
{
    QWebEnginePage *page = g_preview->page();
    auto idle = std::make_shared<bool>(false);
    auto asking = std::make_shared<bool>(false);
    return QTest::qWaitFor(
        [&] {
            if (!*asking) {
                *asking = true;
                page->runJavaScript(QStringLiteral("__sorvaneUpdater.idle()"), [idle, asking](const QVariant &answer) {
                    *idle = answer.toBool();
                    *asking = false;
                });
            }
            return *idle;
        },
        60000);
}

// Hands a fragment to the preview and waits for the next frame after layout;
// the seconds from the push (after the preview's debounce) to that frame.
double pushThroughPreview(const QString &body, int round)
{
    QWebEnginePage *page = g_preview->page();
    const QString marker = QStringLiteral("done-%1").arg(round);
    QElapsedTimer timer;
    const auto connection = QObject::connect(g_preview, &MarkdownPreview::contentPushed, g_preview, [&] {
        timer.start();
        page->runJavaScript(QStringLiteral("document.body.offsetHeight; requestAnimationFrame(function () { "
                                           "document.title = '")
                            + marker + QStringLiteral("'; });"));
    });
    g_preview->setBodyHTML(body);
    const bool answered = QTest::qWaitFor([&] { return page->title() == marker; }, 60000);
    QObject::disconnect(connection);
    return answered ? double(timer.nsecsElapsed()) / 1e9 : -1;
}

// state.range(0): 0 edits the first paragraph, 1 the last.
void BM_PreviewPushOneWordEdit(benchmark::State &state)
{
    if (pushThroughPreview(g_body, ++g_round) < 0 || !settled()) {
        state.SkipWithError("the page did not answer");
        return;
    }
    for (auto _ : state) {
        QString body = g_body;
        const qsizetype at = state.range(0) ? body.lastIndexOf(QStringLiteral("<p>")) : body.indexOf(QStringLiteral("<p>"));
        body.replace(at + 3, 0, QStringLiteral("edit%1 ").arg(++g_round));
        const double seconds = pushThroughPreview(body, g_round);
        if (seconds < 0) {
            state.SkipWithError("the page did not answer");
            return;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_PreviewPushOneWordEdit)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_PreviewOneWordEdit(benchmark::State &state)
{
    // The document is on show before the first edit, as in the app.
    if (push(g_body, ++g_round) < 0 || !settled()) {
        state.SkipWithError("the page did not answer");
        return;
    }
    for (auto _ : state) {
        // A different word each round, so the page really changes.
        QString body = g_body;
        body.replace(body.indexOf(QStringLiteral("<p>")) + 3, 0, QStringLiteral("edit%1 ").arg(++g_round));
        const double seconds = push(body, g_round);
        if (seconds < 0) {
            state.SkipWithError("the page did not answer");
            return;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["bytes"] = double(g_body.toUtf8().size());
}
BENCHMARK(BM_PreviewOneWordEdit)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The same edit near the end of the document.
void BM_PreviewOneWordEditAtEnd(benchmark::State &state)
{
    if (push(g_body, ++g_round) < 0 || !settled()) {
        state.SkipWithError("the page did not answer");
        return;
    }
    for (auto _ : state) {
        QString body = g_body;
        body.replace(body.lastIndexOf(QStringLiteral("<p>")) + 3, 0, QStringLiteral("edit%1 ").arg(++g_round));
        const double seconds = push(body, g_round);
        if (seconds < 0) {
            state.SkipWithError("the page did not answer");
            return;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_PreviewOneWordEditAtEnd)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// The whole document into an empty page: what a new shell or a pasted
// document costs.
void BM_PreviewFullLoad(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        const bool cleared = push(QString(), ++g_round) >= 0;
        state.ResumeTiming();
        QElapsedTimer sinceFill;
        sinceFill.start();
        const double seconds = cleared ? push(g_body, ++g_round) : -1;
        if (seconds < 0) {
            state.SkipWithError("the page did not answer");
            return;
        }
        state.SetIterationTime(seconds);
        // The blocks below the first screens go in while the page is idle:
        // how long until the whole document is in and cut.
        state.PauseTiming();
        if (!settled()) {
            state.SkipWithError("the page did not settle");
            return;
        }
        state.counters["all_in_ms"] = double(sinceFill.elapsed());
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PreviewFullLoad)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

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
