// Benchmarks of the folder search; see bench_workspace_main.cpp for how to run them.
// A generated tree of 2000 Markdown files (about 20 MB) in 100 folders, searched warm
// through the service with the panel shown over it. Times run from performSearch() to
// the published results; a 1 ms GUI-thread heartbeat records its worst gap meanwhile.
//   cd build-rel && QT_QPA_PLATFORM=offscreen ./bench/bench_workspace --benchmark_filter=FolderSearch
#include "CorpusGenerator.h"
#include "GuiHeartbeat.h"

#include "workspace/FolderSearchPanel.h"
#include "workspace/WorkspaceSearchService.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

constexpr int fileCount = 2000;
constexpr int folderCount = 100;

// The tree, made once for every benchmark here.
QString searchTree()
{
    static QTemporaryDir dir;
    static bool made = false;
    if (!made) {
        made = true;
        for (int i = 0; i < fileCount; ++i) {
            const QString folder = dir.path() + QStringLiteral("/topic%1").arg(i % folderCount, 3, 10, QLatin1Char('0'));
            QDir().mkpath(folder);
            QFile file(folder + QStringLiteral("/note%1.md").arg(i, 4, 10, QLatin1Char('0')));
            if (file.open(QIODevice::WriteOnly))
                file.write(corpus::document(10 * 1024, uint64_t(i) + 1).toUtf8());
        }
    }
    return dir.path();
}

// Times the longest call queued to the service: a worker's results applied on the GUI
// thread, with everything the panel does on them.
class PublishTimer : public QObject
{
public:
    double worstMs = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::MetaCall)
            return false;
        QElapsedTimer clock;
        clock.start();
        watched->event(event);
        worstMs = qMax(worstMs, double(clock.nsecsElapsed()) / 1e6);
        return true;
    }
};

struct Setup {
    WorkspaceSearchService service;
    FolderSearchPanel panel{&service};
    PublishTimer publishTimer;

    Setup()
    {
        service.updateRoot(QUrl::fromLocalFile(searchTree() + QStringLiteral("/front.md")));
        service.installEventFilter(&publishTimer);
        panel.present();
    }

    void waitForResults()
    {
        QEventLoop loop;
        QObject::connect(&service, &WorkspaceSearchService::isSearchingChanged, &loop, [&] {
            if (!service.isSearching())
                loop.quit();
        });
        if (service.isSearching())
            loop.exec();
    }

    void search(const QString &query)
    {
        service.setQuery(query);
        service.performSearch();
    }
};

void report(benchmark::State &state, const Setup &setup, double worstGapMs, double worstBusyMs)
{
    state.counters["worst_gui_busy_ms"] = worstBusyMs;
    state.counters["files"] = double(setup.service.files().size());
    state.counters["matches"] = double(setup.service.totalMatches());
    state.counters["worst_gui_gap_ms"] = worstGapMs;
    state.counters["worst_publish_ms"] = setup.publishTimer.worstMs;
}

// Runs body once per iteration under a fresh heartbeat, after clearing the results;
// the time is the clock's when body returns (body may restart it).
template <typename Body>
void measure(benchmark::State &state, Setup &setup, Body body)
{
    double worst = 0, busy = 0;
    for (auto _ : state) {
        setup.search(QString());
        GuiHeartbeat heartbeat;
        heartbeat.start();
        QElapsedTimer clock;
        clock.start();
        body(clock);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        worst = qMax(worst, heartbeat.worstMs());
        busy = qMax(busy, heartbeat.worstCpuMs());
    }
    report(state, setup, worst, busy);
}

void pause(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// One search: "the" is on nearly every line (each file stops at its 22nd matching
// line); "zebra" is in no file, so all 20 MB are read and scanned.
void BM_FolderSearch(benchmark::State &state, const char *query)
{
    Setup setup;
    setup.search(QString::fromUtf8(query)); // warm the cache
    setup.waitForResults();
    measure(state, setup, [&](QElapsedTimer &) {
        setup.search(QString::fromUtf8(query));
        setup.waitForResults();
    });
}
BENCHMARK_CAPTURE(BM_FolderSearch, common_word, "the")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_FolderSearch, no_match, "zebra")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// The heartbeat alone for as long as a search takes: how long the GUI thread waits when
// nothing of ours runs (on a busy machine the scheduler alone makes gaps).
void BM_FolderSearch_IdleHeartbeat(benchmark::State &state)
{
    Setup setup;
    measure(state, setup, [](QElapsedTimer &) { pause(150); });
}
BENCHMARK(BM_FolderSearch_IdleHeartbeat)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// Typing "theme" one key every 50 ms: each key restarts the search; timed from the
// last key to the results.
void BM_FolderSearch_FiveKeystrokes(benchmark::State &state)
{
    Setup setup;
    const QString word = QStringLiteral("theme");
    setup.search(word);
    setup.waitForResults();
    measure(state, setup, [&](QElapsedTimer &clock) {
        for (int typed = 1; typed <= word.size(); ++typed) {
            if (typed > 1)
                pause(50);
            clock.start();
            setup.search(word.left(typed));
        }
        setup.waitForResults();
    });
}
BENCHMARK(BM_FolderSearch_FiveKeystrokes)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
