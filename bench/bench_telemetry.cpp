#include "ErrorFirehoseClient.h"
#include "ErrorTelemetryConsent.h"
#include "ErrorTelemetryDefaults.h"

#include <benchmark/benchmark.h>

#include <QMap>

#include <memory>

// observeFromFacade runs on whichever thread logs, often the GUI thread: the
// scrubbing and hashing it does before the lock is what a log call pays.
namespace {
class ConsentOn : public ErrorTelemetryDefaults
{
public:
    bool contains(const QString &key) const override { return key == ErrorTelemetryConsent::Keys::enabled; }
    QVariant value(const QString &key) const override
    {
        return key == ErrorTelemetryConsent::Keys::enabled ? QVariant(true) : QVariant();
    }
    void setValue(const QString &, const QVariant &) override {}
};

struct LogLine {
    QString event;
    TolvernLogFields fields;
};

const QList<LogLine> &typicalLines()
{
    static const QList<LogLine> lines = {
        {QStringLiteral("request_server_failed"),
         {{"class", "server"}, {"status", "500"}, {"endpoint", "/api/app-sessions/refresh"}}},
        {QStringLiteral("Export to PDF failed for /home/jo/Documents/Quarterly notes.md: the file could not be written"),
         {{"category", "export"}}},
        {QStringLiteral("Session refresh for jo.doe@example.com at 2026-05-06T07:08:09.010Z gave 401 "
                        "(request 0190abcd-ef12-4a3b-9c8d-0123456789ab, account ta_0190abcdef12)"),
         {{"category", "auth"}}},
        {QStringLiteral("Autosave took 12345 ms"), {{"category", "documents"}}},
    };
    return lines;
}

void observeFromFacade(benchmark::State &state)
{
    ErrorTelemetryConsent::setDefaults(std::make_shared<ConsentOn>());
    ErrorFirehoseClient client([] { return QDateTime::currentDateTimeUtc(); }, 1.0);
    client.configure("sorvane", QStringLiteral("linux"), "1.1.18", QStringLiteral("6.1.0"), "install-1",
                     QUrl(QStringLiteral("http://127.0.0.1:9/")), nullptr);
    const QList<LogLine> &lines = typicalLines();
    qsizetype next = 0;
    for (auto _ : state) {
        const LogLine &line = lines.at(next);
        next = (next + 1) % lines.size();
        client.observeFromFacade(TolvernLogLevel::warning, line.event, line.fields);
    }
    state.SetItemsProcessed(state.iterations());
}
} // namespace

BENCHMARK(observeFromFacade)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
