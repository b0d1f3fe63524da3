// Benchmarks of the folder search; see bench_workspace_main.cpp for how to run them.
// A generated tree of 2000 Markdown files (about 20 MB) in 100 folders, searched warm
// through the service with the panel shown over it. Times run from performSearch() to
// the published results; a 1 ms GUI-thread heartbeat records its worst gap meanwhile.
//   cd build-rel && QT_QPA_PLATFORM=offscreen ./bench/bench_workspace --benchmark_filter=FolderSearch
#include "CorpusGenerator.h"

#include "workspace/FolderSearchPanel.h"
#include "workspace/WorkspaceSearchService.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

namespace {

constexpr int fileCount = 2000;
constexpr int folderCount = 100;

// The tree, made once for every benchmark here.
const QString &searchTree()
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

// Counts the longest wait between two 1 ms ticks of the GUI thread.
class Heartbeat
{
public:
    Heartbeat()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_worst = qMax(m_worst, m_clock.nsecsElapsed());
            m_clock.restart();
        });
        m_clock.start();
        m_timer.start();
    }
    double worstMs() const { return double(m_worst) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_worst = 0;
};

struct Setup {
    WorkspaceSearchService service;
    FolderSearchPanel panel{&service};

    Setup()
    {
        service.updateRoot(QUrl::fromLocalFile(searchTree() + QStringLiteral("/front.md")));
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

void report(benchmark::State &state, const Setup &setup, double worstGapMs)
{
    state.counters["files"] = double(setup.service.files().size());
    state.counters["matches"] = double(setup.service.totalMatches());
    state.counters["worst_gui_gap_ms"] = worstGapMs;
}

// One search: "the" is on nearly every line (each file stops at its 22nd matching
// line); "zebra" is in no file, so all 20 MB are read and scanned.
void BM_FolderSearch(benchmark::State &state, const char *query)
{
    Setup setup;
    setup.search(QString::fromUtf8(query)); // warm the cache
    setup.waitForResults();
    double worst = 0;
    for (auto _ : state) {
        setup.service.setQuery(QString());
        setup.service.performSearch();
        Heartbeat heartbeat;
        QElapsedTimer clock;
        clock.start();
        setup.search(QString::fromUtf8(query));
        setup.waitForResults();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        worst = qMax(worst, heartbeat.worstMs());
    }
    report(state, setup, worst);
}
BENCHMARK_CAPTURE(BM_FolderSearch, common_word, "the")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK_CAPTURE(BM_FolderSearch, no_match, "zebra")->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// Typing "theme" one key every 50 ms: each key restarts the search; timed from the
// last key to the results.
void BM_FolderSearch_FiveKeystrokes(benchmark::State &state)
{
    Setup setup;
    setup.search(QStringLiteral("theme"));
    setup.waitForResults();
    const QString word = QStringLiteral("theme");
    double worst = 0;
    for (auto _ : state) {
        setup.service.setQuery(QString());
        setup.service.performSearch();
        Heartbeat heartbeat;
        QElapsedTimer clock;
        for (int typed = 1; typed <= word.size(); ++typed) {
            if (typed > 1) {
                QEventLoop pause;
                QTimer::singleShot(50, Qt::PreciseTimer, &pause, &QEventLoop::quit);
                pause.exec();
            }
            clock.start();
            setup.search(word.left(typed));
        }
        setup.waitForResults();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        worst = qMax(worst, heartbeat.worstMs());
    }
    report(state, setup, worst);
}
BENCHMARK(BM_FolderSearch_FiveKeystrokes)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
