// Benchmarks of the workspace walk; see bench_workspace_main.cpp for how to run them.
//
// A generated project: 500 folders (50 top-level folders of 10 each) holding 12
// Markdown files and 6 other files apiece (6000 Markdown files among 9000), plus a
// node_modules folder that is never entered. Walked once before measuring, so the
// file system's caches are warm.
//   BM_WalkProject: one walk, as the service's worker runs it.
//   BM_PublishProject: Refresh with the sidebar shown; the walk runs on the worker,
//     the tree is published into the sidebar on the GUI thread. A 1 ms timer on the
//     GUI thread records its worst gap ("heartbeat_worst_ms") and the most CPU time
//     the GUI thread spent between two ticks ("heartbeat_worst_cpu_ms", the part of a
//     gap that is our own work rather than waiting for a core); "publish_worst_ms" is
//     the longest the GUI thread spent taking one result in.
//   BM_HeartbeatIdle: the heartbeat alone, for the machine's own noise.
#include "GuiHeartbeat.h"

#include "platform/Settings.h"
#include "workspace/AgentWorkspaceModel.h"
#include "workspace/AgentWorkspaceService.h"
#include "workspace/AgentWorkspaceSidebar.h"
#include "workspace/AgentWorkspaceTreeView.h"
#include "workspace/AgentWorkspaceWalk.h"
#include "documents/DocumentManager.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>

#include <time.h>

namespace {

void touch(const QString &path)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write("# Notes\n\nSome text.\n");
}

const QString &projectRoot()
{
    static QTemporaryDir dir;
    static bool made = false;
    if (!made) {
        made = true;
        const QString root = dir.path() + QStringLiteral("/project");
        for (int top = 0; top < 50; ++top) {
            for (int sub = 0; sub < 10; ++sub) {
                const QString folder = QStringLiteral("%1/area-%2/topic-%3").arg(root).arg(top, 2, 10, QLatin1Char('0')).arg(sub);
                QDir().mkpath(folder);
                for (int i = 0; i < 12; ++i)
                    touch(QStringLiteral("%1/note-%2.md").arg(folder).arg(i));
                for (const char *other : {"a.txt", "b.png", "c.json", "d.ts", "e.css", "f.html"})
                    touch(folder + QLatin1Char('/') + QLatin1String(other));
            }
        }
        for (int i = 0; i < 200; ++i) {
            const QString package = QStringLiteral("%1/node_modules/pkg-%2").arg(root).arg(i);
            QDir().mkpath(package);
            touch(package + QStringLiteral("/README.md"));
        }
        AgentWorkspaceWalk::walk(root); // warm the caches
    }
    static const QString root = dir.path() + QStringLiteral("/project");
    return root;
}

void BM_WalkProject(benchmark::State &state)
{
    const QString root = projectRoot();
    int files = 0;
    for (auto _ : state) {
        const AgentWorkspaceWalk::Result result = AgentWorkspaceWalk::walk(root);
        files = result.fileCount;
        benchmark::DoNotOptimize(result.nodes.size());
    }
    state.counters["markdown_files"] = files;
}
BENCHMARK(BM_WalkProject)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_PublishProject(benchmark::State &state)
{
    const QString root = projectRoot();
    QTemporaryDir settingsDir;
    Settings settings(settingsDir.path() + QStringLiteral("/settings.json"));
    DocumentManager manager;
    AgentWorkspaceService service(settings);
    AgentWorkspaceSidebar sidebar(service, manager);
    sidebar.resize(260, 800);
    sidebar.show();
    service.setRoot(root);
    if (!QTest::qWaitFor([&] { return !service.isScanning(); }, 60000)) {
        state.SkipWithError("the walk did not finish");
        return;
    }
    // A few folders open, as a user would have them.
    AgentWorkspaceModel *model = sidebar.model();
    const QList<QModelIndex> folders = model->folderIndexes();
    for (int i = 0; i < folders.size() && i < 20; ++i)
        sidebar.listView()->expand(folders.at(i));

    GuiHeartbeat heartbeat;
    // The GUI thread's own share: from the reset of the list to the end of the result's
    // handling (the view lays itself out after that, inside the heartbeat's watch).
    qint64 worstPublishNs = 0;
    QElapsedTimer publishing;
    QObject::connect(model, &QAbstractItemModel::modelAboutToBeReset, [&] { publishing.start(); });
    QObject::connect(&service, &AgentWorkspaceService::isScanningChanged, [&] {
        if (!service.isScanning() && publishing.isValid())
            worstPublishNs = std::max(worstPublishNs, publishing.nsecsElapsed());
    });
    for (auto _ : state) {
        heartbeat.start();
        service.refresh();
        if (!QTest::qWaitFor([&] { return !service.isScanning(); }, 60000))
            state.SkipWithError("the walk did not finish");
        heartbeat.stop();
    }
    state.counters["markdown_files"] = service.fileCount();
    state.counters["heartbeat_worst_ms"] = heartbeat.worstMs();
    state.counters["heartbeat_worst_cpu_ms"] = heartbeat.worstCpuMs();
    state.counters["publish_worst_ms"] = double(worstPublishNs) / 1e6;
}
BENCHMARK(BM_PublishProject)->Unit(benchmark::kMillisecond)->Iterations(10);

// The same heartbeat over 50 ms of an idle event loop: what the machine itself adds.
void BM_HeartbeatIdle(benchmark::State &state)
{
    GuiHeartbeat heartbeat;
    for (auto _ : state) {
        QElapsedTimer span;
        span.start();
        heartbeat.start();
        (void)QTest::qWaitFor([&] { return span.elapsed() >= 50; }, 1000);
        heartbeat.stop();
    }
    state.counters["heartbeat_worst_ms"] = heartbeat.worstMs();
    state.counters["heartbeat_worst_cpu_ms"] = heartbeat.worstCpuMs();
}
BENCHMARK(BM_HeartbeatIdle)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
