// Cold start: the built application in a fresh HOME with one document on the command
// line, timed from process start to the main window's first paint. The binary prints
// "first-paint <ms since main>" and "preview-ready <ms since main>" (the page took the
// document's first content) when SORVANE_REPORT_FIRST_PAINT is set; the wall time here
// also covers loading the binary and its libraries. Documents: the small 200-section
// sample, and generated 1 MB and 10 MB ones.
#include "CorpusGenerator.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {
QByteArray sampleDocument(qsizetype bytes)
{
    if (bytes > 0)
        return corpus::document(bytes).toUtf8();
    QByteArray text = "# Start-up sample\n\n";
    for (int i = 0; i < 200; ++i)
        text += "## Section " + QByteArray::number(i) + "\n\nSome *emphasis*, `code` and a [link](https://example.com).\n\n- item\n- item\n\n";
    return text;
}

// The number after "<key> " on a complete line of the output, or -1.
qint64 reported(const QByteArray &output, const QByteArray &key)
{
    const qsizetype at = output.indexOf(key + ' ');
    const qsizetype end = at < 0 ? -1 : output.indexOf('\n', at);
    if (end < 0)
        return -1;
    return output.mid(at + key.size() + 1, end - at - key.size() - 1).toLongLong();
}

// state.range(0): document size in bytes, 0 for the small sample.
void ColdStartToFirstPaint(benchmark::State &state)
{
    const QByteArray document = sampleDocument(state.range(0));
    qint64 insideTotal = 0;
    qint64 previewTotal = 0;
    qint64 runs = 0;
    for (auto _ : state) {
        QTemporaryDir home;
        QDir dir(home.path());
        dir.mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(dir.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        dir.mkpath(QStringLiteral(".config/sorvane"));
        {
            // Past the first launch's prompts; the welcome tab would arrive later anyway.
            QFile settings(dir.filePath(QStringLiteral(".config/sorvane/settings.json")));
            settings.open(QIODevice::WriteOnly);
            settings.write(R"({"hasOpenedWelcomeDoc": true, "hasPromptedForDefaultHandler": true})");
            QFile doc(dir.filePath(QStringLiteral("sample.md")));
            doc.open(QIODevice::WriteOnly);
            doc.write(document);
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral(".config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral(".local/share")));
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral(".local/state")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), dir.filePath(QStringLiteral(".cache")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("SORVANE_REPORT_FIRST_PAINT"), QStringLiteral("1"));
        if (!env.contains(QStringLiteral("DISPLAY")) || !qEnvironmentVariableIsEmpty("SORVANE_BENCH_OFFSCREEN"))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

        QProcess app;
        app.setProcessEnvironment(env);
        app.setWorkingDirectory(home.path());
        QElapsedTimer clock;
        clock.start();
        app.start(QStringLiteral(SORVANE_BINARY), {QStringLiteral("sample.md")});
        QByteArray output;
        qint64 inside = -1;
        double seconds = 0;
        while (inside < 0 && app.waitForReadyRead(30000)) {
            output += app.readAllStandardOutput();
            inside = reported(output, "first-paint");
            if (inside >= 0)
                seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        }
        // Not timed: how long the preview took to show the document.
        qint64 preview = reported(output, "preview-ready");
        while (inside >= 0 && preview < 0 && app.waitForReadyRead(120000)) {
            output += app.readAllStandardOutput();
            preview = reported(output, "preview-ready");
        }
        app.terminate();
        app.waitForFinished(30000);
        if (inside < 0) {
            state.SkipWithError("the application never reported its first paint");
            return;
        }
        if (preview < 0) {
            state.SkipWithError("the application never reported its preview");
            return;
        }
        state.SetIterationTime(seconds);
        insideTotal += inside;
        previewTotal += preview;
        ++runs;
    }
    if (runs > 0) {
        state.counters["in_process_ms"] = static_cast<double>(insideTotal) / static_cast<double>(runs);
        state.counters["preview_ready_ms"] = static_cast<double>(previewTotal) / static_cast<double>(runs);
    }
}
BENCHMARK(ColdStartToFirstPaint)
    ->Arg(0)
    ->Arg(1024 * 1024)
    ->Arg(10 * 1024 * 1024)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
