// Benchmarks of the workspace home; see bench_workspace_main.cpp for how to run them.
// The home index over a generated home of 200,000 files in 20,200 folders (200 top
// folders of 100 each, ten files per leaf, three of them Markdown), warm cache.
#include "platform/HomeIndex.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace {

constexpr int topFolders = 200;
constexpr int leavesPerTop = 100;
constexpr int filesPerLeaf = 10;

void touch(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        (void)!::write(fd, "# x\n", 4);
        ::close(fd);
    }
}

QString generatedHome()
{
    static QTemporaryDir dir;
    static bool made = false;
    if (!made) {
        made = true;
        static const char *const extensions[] = {".md", ".txt", ".md", ".json", ".png",
                                                  ".markdown", ".c", ".h", ".log", ".csv"};
        for (int top = 0; top < topFolders; ++top) {
            for (int leaf = 0; leaf < leavesPerTop; ++leaf) {
                const QString folder = dir.path() + QStringLiteral("/p%1/d%2").arg(top).arg(leaf);
                QDir().mkpath(folder);
                const QByteArray base = QFile::encodeName(folder);
                for (int file = 0; file < filesPerLeaf; ++file)
                    touch(base + "/f" + QByteArray::number(file) + extensions[file]);
            }
        }
    }
    return dir.path();
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Runs the event loop until the predicate holds after one of the index's signals.
template<typename Predicate>
bool waitFor(HomeIndex &index, Predicate done)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto check = [&] {
        if (done())
            loop.quit();
    };
    QObject::connect(&index, &HomeIndexSource::gatheringFinished, &loop, check);
    QObject::connect(&index, &HomeIndexSource::updated, &loop, check);
    limit.start(30000);
    loop.exec();
    return done();
}

// Starts the index and runs the event loop until its first gathering is complete.
bool gather(HomeIndex &index)
{
    bool finished = false;
    QObject::connect(&index, &HomeIndexSource::gatheringFinished, [&] { finished = true; });
    index.start();
    return waitFor(index, [&] { return finished; });
}

// From start() to "gathering finished": the walk, a watch per folder and the sorted list.
void BM_HomeIndexGathering(benchmark::State &state)
{
    const QString home = generatedHome();
    {
        // Warm the cache with one untimed walk.
        HomeIndex warm(home);
        gather(warm);
    }
    for (auto _ : state) {
        // Hand freed memory back first, so the growth is this index's own.
        malloc_trim(0);
        const long before = residentKiB();
        HomeIndex index(home);
        QElapsedTimer clock;
        clock.start();
        if (!gather(index)) {
            state.SkipWithError("gathering did not finish");
            return;
        }
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
        state.counters["watches"] = index.watchCount();
        state.counters["watching"] = index.isWatching() ? 1 : 0;
        state.counters["markdown_files"] = double(index.snapshot(1 << 30).size());
        state.counters["rss_delta_MiB"] = double(residentKiB() - before) / 1024.0;
    }
}
BENCHMARK(BM_HomeIndexGathering)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3);

// From the write of a new Markdown file to the snapshot that holds it (newest first).
void BM_HomeIndexNewFile(benchmark::State &state)
{
    const QString home = generatedHome();
    HomeIndex index(home);
    if (!gather(index)) {
        state.SkipWithError("gathering did not finish");
        return;
    }
    int serial = 0;
    for (auto _ : state) {
        const QString path = home
            + QStringLiteral("/p%1/d%2/new-%3.md").arg(serial % topFolders).arg(serial % leavesPerTop).arg(serial);
        ++serial;
        QElapsedTimer clock;
        clock.start();
        touch(QFile::encodeName(path));
        const bool seen = waitFor(index, [&] {
            const QList<HomeIndexItem> newest = index.snapshot(1);
            return !newest.isEmpty() && newest.first().path == path;
        });
        if (!seen) {
            state.SkipWithError("the new file did not show up");
            return;
        }
        state.SetIterationTime(clock.nsecsElapsed() / 1e9);
    }
}
BENCHMARK(BM_HomeIndexNewFile)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

} // namespace
