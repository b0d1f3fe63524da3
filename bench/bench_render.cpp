#include "CorpusGenerator.h"
#include "render/MarkdownToHTML.h"

#include <benchmark/benchmark.h>
#include <md4c-html.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <map>

namespace {

QString &cachedDocument(int kind, qsizetype bytes)
{
    static std::map<std::pair<int, qsizetype>, QString> cache;
    auto &slot = cache[{kind, bytes}];
    if (slot.isEmpty())
        slot = kind < 0 ? corpus::document(bytes) : corpus::stress(corpus::Stress(kind), bytes);
    return slot;
}

// The whole text in one piece, nothing kept from an earlier render: what a
// first render costs.
void renderedBody(benchmark::State &state, int kind)
{
    const QString &text = cachedDocument(kind, state.range(0));
    // One warm render first, as node's timing does: the context's set-up and
    // the first compilation of marked are no part of a render.
    benchmark::DoNotOptimize(MarkdownToHTML::wholeBodyHTML(text));
    for (auto _ : state)
        benchmark::DoNotOptimize(MarkdownToHTML::wholeBodyHTML(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * text.toUtf8().size());
}

void libraryOnly(benchmark::State &state)
{
    const QString &text = cachedDocument(-1, state.range(0));
    benchmark::DoNotOptimize(MarkdownToHTML::libraryHTML(text));
    for (auto _ : state)
        benchmark::DoNotOptimize(MarkdownToHTML::libraryHTML(text));
    state.SetBytesProcessed(int64_t(state.iterations()) * text.toUtf8().size());
}

// The sanitiser alone on marked's output: the part of renderedBodyHTML that
// runs outside JavaScript.
void sanitizeOnly(benchmark::State &state)
{
    const QString html = MarkdownToHTML::libraryHTML(cachedDocument(-1, state.range(0))).value_or(QString());
    for (auto _ : state)
        benchmark::DoNotOptimize(MarkdownToHTML::sanitizeHTML(html));
    state.SetBytesProcessed(int64_t(state.iterations()) * html.toUtf8().size());
}

// A one-word edit in the middle of a text rendered before: what the preview's
// render costs while the user types (the blocks the edit did not touch are kept).
// Footnote references number the notes across the whole text, so a text with
// them renders whole; `plain` takes them out of the generated document.
void editRender(benchmark::State &state, bool plain)
{
    QString text = cachedDocument(-1, state.range(0));
    if (plain)
        text.replace(QStringLiteral("[^n"), QStringLiteral("(n"));
    MarkdownToHTML::renderedBodyHTML(text);
    const qsizetype middle = text.indexOf(QLatin1Char(' '), text.size() / 2);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        text.insert(middle, QStringLiteral(" w%1").arg(round++));
        state.ResumeTiming();
        benchmark::DoNotOptimize(MarkdownToHTML::renderedBodyHTML(text));
    }
}

// A text never rendered before, block by block as the preview renders it (every
// block goes through marked; nothing is kept from before).
void firstRenderInBlocks(benchmark::State &state)
{
    uint64_t seed = 100;
    for (auto _ : state) {
        state.PauseTiming();
        const QString text = corpus::document(state.range(0), ++seed).replace(QStringLiteral("[^n"), QStringLiteral("(n"));
        state.ResumeTiming();
        benchmark::DoNotOptimize(MarkdownToHTML::renderedBodyHTML(text));
    }
}

void md4cFloor(benchmark::State &state)
{
    const QByteArray text = cachedDocument(-1, state.range(0)).toUtf8();
    for (auto _ : state) {
        std::string out;
        md_html(text.constData(), MD_SIZE(text.size()),
                [](const MD_CHAR *data, MD_SIZE size, void *user) { static_cast<std::string *>(user)->append(data, size); },
                &out, MD_DIALECT_GITHUB, 0);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * text.size());
}

// marked under node on the same file; node reports the median of its own
// warm runs, which stands as the iteration time.
void nodeMarked(benchmark::State &state, int kind)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.md"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        state.SkipWithError("cannot write the document");
        return;
    }
    file.write(cachedDocument(kind, state.range(0)).toUtf8());
    file.close();
    const int runs = state.range(0) >= 1024 * 1024 ? 3 : 15;
    for (auto _ : state) {
        QProcess node;
        node.start(QStringLiteral("node"), {QStringLiteral(SORVANE_NODE_REFERENCE), QStringLiteral(SORVANE_MARKED_PATH),
                                            QStringLiteral(SORVANE_FOOTNOTES_PATH), QStringLiteral(SORVANE_MATH_PATH),
                                            QStringLiteral("--time"), path,
                                            QString::number(runs)});
        if (!node.waitForFinished(600000) || node.exitCode() != 0) {
            state.SkipWithError("node failed");
            return;
        }
        state.SetIterationTime(node.readAllStandardOutput().trimmed().toDouble() / 1000.0);
    }
}

void sizes(benchmark::internal::Benchmark *b)
{
    for (qsizetype s : {10 * 1024, 100 * 1024, 1024 * 1024, 5 * 1024 * 1024})
        b->Arg(s);
    b->Unit(benchmark::kMillisecond);
}

void stressSizes(benchmark::internal::Benchmark *b)
{
    b->Arg(500 * 1024)->Unit(benchmark::kMillisecond)->Iterations(3);
}

} // namespace

BENCHMARK_CAPTURE(renderedBody, document, -1)->Apply(sizes)->MinTime(1.0);
BENCHMARK(libraryOnly)->Apply(sizes)->MinTime(1.0);
BENCHMARK_CAPTURE(editRender, document, false)->Apply(sizes);
BENCHMARK_CAPTURE(editRender, withoutFootnoteReferences, true)->Apply(sizes);
BENCHMARK(firstRenderInBlocks)->Apply(sizes);
BENCHMARK(sanitizeOnly)->Apply(sizes);
BENCHMARK_CAPTURE(nodeMarked, document, -1)->Apply(sizes)->UseManualTime()->Iterations(1);
BENCHMARK(md4cFloor)->Apply(sizes);

BENCHMARK_CAPTURE(renderedBody, longParagraph, int(corpus::Stress::LongParagraph))->Apply(stressSizes);
BENCHMARK_CAPTURE(nodeMarked, longParagraph, int(corpus::Stress::LongParagraph))->Apply(stressSizes)->UseManualTime()->Iterations(1);
BENCHMARK_CAPTURE(renderedBody, deepLists, int(corpus::Stress::DeepLists))->Apply(stressSizes);
BENCHMARK_CAPTURE(nodeMarked, deepLists, int(corpus::Stress::DeepLists))->Apply(stressSizes)->UseManualTime()->Iterations(1);
BENCHMARK_CAPTURE(renderedBody, bigTable, int(corpus::Stress::BigTable))->Apply(stressSizes);
BENCHMARK_CAPTURE(nodeMarked, bigTable, int(corpus::Stress::BigTable))->Apply(stressSizes)->UseManualTime()->Iterations(1);
BENCHMARK_CAPTURE(renderedBody, manyQuotes, int(corpus::Stress::ManyQuotes))->Apply(stressSizes);
BENCHMARK_CAPTURE(nodeMarked, manyQuotes, int(corpus::Stress::ManyQuotes))->Apply(stressSizes)->UseManualTime()->Iterations(1);
BENCHMARK_CAPTURE(renderedBody, setextHeadings, int(corpus::Stress::SetextHeadings))->Apply(stressSizes);
BENCHMARK_CAPTURE(nodeMarked, setextHeadings, int(corpus::Stress::SetextHeadings))->Apply(stressSizes)->UseManualTime()->Iterations(1);
BENCHMARK_CAPTURE(renderedBody, references, int(corpus::Stress::References))->Apply(stressSizes);
BENCHMARK_CAPTURE(nodeMarked, references, int(corpus::Stress::References))->Apply(stressSizes)->UseManualTime()->Iterations(1);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
