// The workspace benchmarks need a GUI thread: the sidebar publishes on it and the
// heartbeat measures how long it waits.
//   cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANE_BUILD_TESTS=OFF -DSORVANE_BUILD_BENCH=ON
//   cmake --build build-rel --target bench_workspace
//   cd build-rel && QT_QPA_PLATFORM=offscreen ./bench/bench_workspace
#include <QApplication>

#include <benchmark/benchmark.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
