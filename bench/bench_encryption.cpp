#include "documents/encryption/EncryptionService.h"

#include <benchmark/benchmark.h>

#include <QString>

// PBKDF2's 210000 rounds are part of every call by design; at 10 MB the cipher
// itself starts to show.
namespace {
QString document(qsizetype bytes)
{
    const QString line = QStringLiteral("- [ ] A task with **emphasis**, a [link](https://example.org) and ünïcödé.\n");
    QString text;
    text.reserve(bytes);
    while (text.size() < bytes)
        text += line;
    text.truncate(bytes);
    return text;
}

void encrypt10MB(benchmark::State &state)
{
    const QString text = document(10 * 1024 * 1024);
    for (auto _ : state)
        benchmark::DoNotOptimize(EncryptionService::encrypt(text, QStringLiteral("bench passphrase")));
    state.SetBytesProcessed(state.iterations() * text.toUtf8().size());
}

void decrypt10MB(benchmark::State &state)
{
    const QString text = document(10 * 1024 * 1024);
    const QByteArray data = *EncryptionService::encrypt(text, QStringLiteral("bench passphrase"));
    for (auto _ : state)
        benchmark::DoNotOptimize(EncryptionService::decrypt(data, QStringLiteral("bench passphrase")));
    state.SetBytesProcessed(state.iterations() * data.size());
}
} // namespace

BENCHMARK(encrypt10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(decrypt10MB)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
