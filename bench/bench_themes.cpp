// Typing in the Themes tab's CSS editor while a 1 MB document's preview is open:
// each keystroke to the editor's next repaint (median and worst over a burst of 100
// keystrokes at a brisk typing pace), and how many times the preview reloads its
// page for the burst (once, after typing pauses, is the aim).
#include "CorpusGenerator.h"

#include "documents/DocumentManager.h"
#include "preview/MarkdownPreview.h"
#include "preview/ThemeService.h"
#include "settings/ThemesTab.h"
#include "window/DocumentContentView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

namespace {

ThemesTab *g_tab = nullptr;
MarkdownPreview *g_preview = nullptr;

// Counts paints of the editor's viewport.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

constexpr int keystrokes = 100;
// About 120 words a minute.
constexpr int msBetweenKeys = 100;

void BM_CSSTypingWithPreviewOpen(benchmark::State &state)
{
    QPlainTextEdit *editor = g_tab->cssEditor();
    PaintCounter paints;
    editor->viewport()->installEventFilter(&paints);
    int reloads = 0;
    QObject::connect(g_preview, &MarkdownPreview::shellLoadStarted, &paints, [&] { ++reloads; });
    std::vector<double> all;
    double worst = 0;
    int totalReloads = 0;
    for (auto _ : state) {
        reloads = 0;
        std::vector<double> burst;
        QElapsedTimer wall;
        wall.start();
        for (int i = 0; i < keystrokes; ++i) {
            const int before = paints.paints;
            QElapsedTimer timer;
            timer.start();
            QTest::keyClick(editor, char('a' + i % 26));
            if (!QTest::qWaitFor([&] { return paints.paints > before; }, 10000)) {
                state.SkipWithError("the editor did not repaint");
                return;
            }
            burst.push_back(double(timer.nsecsElapsed()) / 1e6);
            // Keep the typing pace; events keep flowing meanwhile, as in the app.
            while (timer.elapsed() < msBetweenKeys)
                QTest::qWait(1);
        }
        // Typing pauses: the preview takes the new CSS.
        if (!QTest::qWaitFor([&] { return reloads > 0 && g_preview->isPageLoaded(); }, 30000)) {
            state.SkipWithError("the preview did not reload");
            return;
        }
        // Anything that was still to come would follow within the save delay.
        QTest::qWait(2 * ThemeService::saveDelayMs);
        totalReloads += reloads;
        state.SetIterationTime(double(wall.nsecsElapsed()) / 1e9);
        all.insert(all.end(), burst.begin(), burst.end());
        worst = std::max(worst, *std::max_element(burst.begin(), burst.end()));
        editor->clear();
        ThemeService::shared().flushPendingSave();
        if (!QTest::qWaitFor([&] { return g_preview->isPageLoaded(); }, 30000)) {
            state.SkipWithError("the preview did not settle");
            return;
        }
    }
    std::sort(all.begin(), all.end());
    state.counters["keystroke_median_ms"] = all[all.size() / 2];
    state.counters["keystroke_worst_ms"] = worst;
    state.counters["reloads_per_100_keys"] = double(totalReloads) / double(state.iterations());
}
BENCHMARK(BM_CSSTypingWithPreviewOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    // custom.css and the settings go to a throwaway home, never the user's.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path() + QStringLiteral("/.config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path() + QStringLiteral("/.local/share")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home.path() + QStringLiteral("/.local/state")));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path() + QStringLiteral("/.cache")));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    MarkdownPreview::registerSchemes();
    QApplication app(argc, argv);

    ThemeService::shared().setUseCustomCSS(true);
    DocumentManager manager;
    manager.newDocument(corpus::document(1024 * 1024), true);
    DocumentContentView pane(manager, manager.documents().first());
    pane.resize(1200, 800);
    pane.show();
    g_preview = pane.preview();
    ThemesTab tab;
    tab.resize(560, 420);
    tab.show();
    g_tab = &tab;
    tab.cssEditor()->setFocus();
    if (!QTest::qWaitFor([&] { return g_preview->isPageLoaded() && !pane.isRendering(); }, 60000))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
