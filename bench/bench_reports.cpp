#include "diagnostics/DiagnosticLogBuffer.h"
#include "diagnostics/DiagnosticReport.h"

#include <benchmark/benchmark.h>

#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>

// Building the report of a full ring (200 entries): the archive with its JSON and the
// multipart body. Typical entries are a line of text; the worst case fills the ring
// with 30 KB entries, which takes the archive past 5 MiB and shrinks it twice.
namespace {

std::unique_ptr<DiagnosticLogBuffer> fullRing(const QTemporaryDir &folder, qsizetype entryBytes)
{
    auto ring = std::make_unique<DiagnosticLogBuffer>(200, folder.path());
    const QString text = QStringLiteral("saving the session, 3 tabs, export to PDF finished in 112 ms ")
                             .repeated(entryBytes / 62 + 1)
                             .left(entryBytes);
    for (int i = 0; i < 200; ++i)
        ring->add(DiagnosticLogBuffer::Level::Info, QStringLiteral("bench"), text + QString::number(i));
    ring->flush();
    return ring;
}

void buildReport(benchmark::State &state)
{
    QTemporaryDir folder;
    const std::unique_ptr<DiagnosticLogBuffer> ring = fullRing(folder, state.range(0));
    DiagnosticReport::Metadata metadata;
    metadata.kind = QStringLiteral("manual");
    metadata.clientVersion = QStringLiteral("1.1.18");
    metadata.osVersion = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    int entries = 0;
    qsizetype bytes = 0;
    for (auto _ : state) {
        const auto blob = DiagnosticReport::buildBlob(*ring, metadata.clientVersion);
        const auto body = DiagnosticReport::multipartBody(DiagnosticReport::newBoundary(),
                                                          DiagnosticReport::metadataRecord(metadata), blob->zip,
                                                          QStringLiteral("sorvane-linux-0.zip"));
        entries = blob->entryCount;
        bytes = body->size();
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["entries_sent"] = entries;
    state.counters["body_bytes"] = double(bytes);
}

} // namespace

BENCHMARK(buildReport)->Arg(200)->ArgName("entry_bytes")->Unit(benchmark::kMillisecond);
BENCHMARK(buildReport)->Arg(30 * 1024)->ArgName("entry_bytes")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
