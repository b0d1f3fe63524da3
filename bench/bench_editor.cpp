// Editor costs on big generated Markdown, run headless:
//   QT_QPA_PLATFORM=offscreen build/bench/bench_editor
#include "editor/EditorView.h"
#include "editor/SorvaneTextView.h"
#include "editor/SpellingDecorator.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <memory>
#include <vector>

namespace {

// Realistic Markdown of about `bytes` characters: headings, prose with emphasis and
// links, lists, task lists, tables, fenced code and quotes. Same text every run.
QString corpus(int bytes)
{
    QRandomGenerator random(42);
    const QStringList words{"the",    "editor", "keeps", "every",  "line",   "markdown", "preview", "quick",
                            "render", "table",  "window", "folder", "speling", "notes", "draft",  "shows",
                            "with",   "and",    "a",      "of",     "to",     "document", "simple", "fast"};
    const auto sentence = [&] {
        QString s;
        const int n = 8 + int(random.bounded(14));
        for (int i = 0; i < n; ++i) {
            QString w = words.at(int(random.bounded(words.size())));
            switch (random.bounded(14)) {
            case 0: w = QStringLiteral("**") + w + QStringLiteral("**"); break;
            case 1: w = QLatin1Char('*') + w + QLatin1Char('*'); break;
            case 2: w = QLatin1Char('`') + w + QLatin1Char('`'); break;
            case 3: w = QLatin1Char('[') + w + QStringLiteral("](https://example.com/") + w + QLatin1Char(')'); break;
            default: break;
            }
            s += (i ? QStringLiteral(" ") : QString()) + w;
        }
        return s + QStringLiteral(". ");
    };
    QString text;
    text.reserve(bytes + 4096);
    int section = 0;
    while (text.size() < bytes) {
        text += QStringLiteral("## Section %1\n\n").arg(++section);
        for (int p = 0; p < 3; ++p)
            text += sentence() + sentence() + sentence() + QStringLiteral("\n\n");
        switch (section % 5) {
        case 0:
            for (int i = 0; i < 4; ++i)
                text += QStringLiteral("- ") + sentence() + QLatin1Char('\n');
            break;
        case 1:
            text += QStringLiteral("- [ ] first task\n- [x] done task\n");
            break;
        case 2:
            text += QStringLiteral("| Name | Value |\n|------|-------|\n| a | 1 |\n| b | 2 |\n");
            break;
        case 3:
            text += QStringLiteral("```cpp\nint main() {\n    return 0; // *not* emphasis\n}\n```\n");
            break;
        default:
            text += QStringLiteral("> ") + sentence() + QStringLiteral("\n\n---\n");
            break;
        }
        text += QLatin1Char('\n');
    }
    return text;
}

const QString &corpusOf(int megabytes)
{
    static QString one = corpus(1 << 20);
    static QString ten = corpus(10 << 20);
    return megabytes == 1 ? one : ten;
}

std::unique_ptr<EditorView> openEditor(const QString &text)
{
    EditorViewConfiguration configuration; // highlighting and spelling on
    auto editor = std::make_unique<EditorView>(QUuid::createUuid(), text, configuration);
    editor->resize(1200, 900);
    editor->show();
    QApplication::processEvents();
    return editor;
}

void moveToMiddle(EditorView *editor)
{
    auto *view = editor->textView();
    QTextCursor cursor(view->document());
    cursor.setPosition(view->document()->characterCount() / 2);
    view->setTextCursor(cursor);
    view->centerCursor();
    QApplication::processEvents();
    editor->applySyntaxHighlighting();
    editor->spelling()->check();
    view->viewport()->repaint();
}

double milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void reportSpread(benchmark::State &state, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    state.counters["median_ms"] = samples[samples.size() / 2];
    state.counters["worst_ms"] = samples.back();
}

// One character typed in the middle, then events processed and the viewport painted.
void BM_Keystroke(benchmark::State &state)
{
    auto editor = openEditor(corpusOf(int(state.range(0))));
    moveToMiddle(editor.get());
    auto *view = editor->textView();
    std::vector<double> samples;
    for (auto _ : state) {
        samples.clear();
        for (int i = 0; i < 200; ++i) {
            const auto start = std::chrono::steady_clock::now();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QApplication::sendEvent(view, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QApplication::sendEvent(view, &release);
            QApplication::processEvents();
            view->viewport()->repaint();
            samples.push_back(milliseconds(std::chrono::steady_clock::now() - start));
        }
    }
    reportSpread(state, samples);
}
BENCHMARK(BM_Keystroke)->Arg(1)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);

// Vim normal mode in the middle of 10 MB: a mix of moves, edits, undo and paste, each
// key followed by event processing and a repaint. Reported per key and over all keys.
void BM_VimNormalKeys10MB(benchmark::State &state)
{
    EditorViewConfiguration configuration;
    configuration.vimModeEnabled = true;
    auto editor = std::make_unique<EditorView>(QUuid::createUuid(), corpusOf(10), configuration);
    editor->resize(1200, 900);
    editor->show();
    QApplication::processEvents();
    editor->finishLoading();
    moveToMiddle(editor.get());
    auto *view = editor->textView();
    view->setFocus();

    struct Key
    {
        Qt::Key code;
        const char *text;
    };
    const std::vector<std::pair<const char *, std::vector<Key>>> mix{
        {"l", {{Qt::Key_L, "l"}}},
        {"w", {{Qt::Key_W, "w"}}},
        {"j", {{Qt::Key_J, "j"}}},
        {"x", {{Qt::Key_X, "x"}}},
        {"u", {{Qt::Key_U, "u"}}},
        {"dd", {{Qt::Key_D, "d"}, {Qt::Key_D, "d"}}},
        {"p", {{Qt::Key_P, "p"}}},
        {"i_a_Esc", {{Qt::Key_I, "i"}, {Qt::Key_A, "a"}, {Qt::Key_Escape, "\x1b"}}},
    };
    std::vector<double> all;
    std::map<std::string, std::vector<double>> perKey;
    for (auto _ : state) {
        for (int round = 0; round < 40; ++round) {
            for (const auto &[name, keys] : mix) {
                for (const Key &key : keys) {
                    const auto start = std::chrono::steady_clock::now();
                    const QString text = QString::fromLatin1(key.text);
                    QKeyEvent press(QEvent::KeyPress, key.code, Qt::NoModifier, text);
                    QApplication::sendEvent(view, &press);
                    QKeyEvent release(QEvent::KeyRelease, key.code, Qt::NoModifier, text);
                    QApplication::sendEvent(view, &release);
                    QApplication::processEvents();
                    view->viewport()->repaint();
                    const double ms = milliseconds(std::chrono::steady_clock::now() - start);
                    all.push_back(ms);
                    perKey[name].push_back(ms);
                }
            }
        }
    }
    reportSpread(state, all);
    for (auto &[name, samples] : perKey) {
        std::sort(samples.begin(), samples.end());
        state.counters[name + "_median_ms"] = samples[samples.size() / 2];
        state.counters[name + "_worst_ms"] = samples.back();
    }
}
BENCHMARK(BM_VimNormalKeys10MB)->Iterations(1)->Unit(benchmark::kMillisecond);

// The debounced highlighting pass over a full screen (plus margins) of 10 MB.
void BM_HighlightPass10MB(benchmark::State &state)
{
    auto editor = openEditor(corpusOf(10));
    moveToMiddle(editor.get());
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        editor->applySyntaxHighlighting();
        samples.push_back(milliseconds(std::chrono::steady_clock::now() - start));
    }
    reportSpread(state, samples);
}
BENCHMARK(BM_HighlightPass10MB)->Iterations(50)->Unit(benchmark::kMillisecond);

// The same pass followed by the repaint it causes.
void BM_HighlightPassAndPaint10MB(benchmark::State &state)
{
    auto editor = openEditor(corpusOf(10));
    moveToMiddle(editor.get());
    for (auto _ : state) {
        editor->applySyntaxHighlighting();
        editor->textView()->viewport()->repaint();
    }
}
BENCHMARK(BM_HighlightPassAndPaint10MB)->Iterations(50)->Unit(benchmark::kMillisecond);

// The spelling pass over the visible lines (cache warm after the first).
void BM_SpellPass10MB(benchmark::State &state)
{
    auto editor = openEditor(corpusOf(10));
    moveToMiddle(editor.get());
    for (auto _ : state)
        editor->spelling()->check();
}
BENCHMARK(BM_SpellPass10MB)->Iterations(50)->Unit(benchmark::kMillisecond);

// Opening 10 MB into the editor until its first paint.
void BM_Load10MBEditorView(benchmark::State &state)
{
    const QString &text = corpusOf(10);
    for (auto _ : state) {
        EditorViewConfiguration configuration;
        EditorView editor(QUuid::createUuid(), text, configuration);
        editor.resize(1200, 900);
        editor.show();
        editor.textView()->viewport()->repaint();
        state.PauseTiming();
        editor.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Load10MBEditorView)->Iterations(3)->Unit(benchmark::kMillisecond);

// The floor: a bare QPlainTextEdit given the same text.
void BM_Load10MBBareWidget(benchmark::State &state)
{
    const QString &text = corpusOf(10);
    for (auto _ : state) {
        QPlainTextEdit edit;
        edit.setPlainText(text);
        edit.resize(1200, 900);
        edit.show();
        edit.viewport()->repaint();
        state.PauseTiming();
        edit.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Load10MBBareWidget)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Keep the user's own spelling word list out of it.
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
