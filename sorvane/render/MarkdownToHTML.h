#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// The preview's look; the raw values are the stored setting "previewTheme".
enum class PreviewTheme { Standard, GitHub, Serif };

QString previewThemeRawValue(PreviewTheme theme);
// Exact, case-sensitive match of "Default", "GitHub" or "Serif".
std::optional<PreviewTheme> previewThemeFromRawValue(const QString &rawValue);
QList<PreviewTheme> allPreviewThemes();

// One "#" heading of a text, for the outline sidebar. Positions are UTF-16
// offsets into the text, covering the first "#" to the end of the title.
struct OutlineEntry
{
    int level = 0;
    QString title;
    qsizetype location = 0;
    qsizetype length = 0;

    bool operator==(const OutlineEntry &other) const = default;
};

// Markdown to sanitised HTML through marked in one process-wide JavaScriptCore
// context, plus the pages built around a rendered body. Called by the preview's
// renderer on a worker thread and by exports on the GUI thread; renders on the
// shared context are serialised, so no caller ever sees another's input.
class MarkdownToHTML
{
public:
    MarkdownToHTML() = delete;

    // Markdown to the body fragment the preview shows and the pages wrap.
    // Never fails: without the library the text comes back escaped in <pre>.
    static QString renderedBodyHTML(const QString &markdown);
    // The same, given up once `abandoned` answers true: it is asked before the render
    // starts and every 50 ms or so of its run, from the rendering thread. Empty
    // optional when given up.
    static std::optional<QString> renderedBodyHTML(const QString &markdown, const std::function<bool()> &abandoned);
    // A long text renders block by block, each block's HTML kept for the next
    // render, so an edit re-renders only the block it touched. The blocks are cut
    // where marked's output can be cut: at a "#" heading in the first column after
    // a blank line, outside fenced code and display math. One block (no split)
    // when the text is short or holds what ties blocks together: reference
    // definitions, footnotes, raw HTML that can span blank lines.
    static QList<QStringView> independentBlocks(const QString &markdown);
    // The body rendered in one piece, past the block cache; the tests hold the
    // block-wise render against it.
    static QString wholeBodyHTML(const QString &markdown);

    // What marked (with the footnote extension) returns before sanitising and
    // the diagram transform; the benchmark and the equality tests use it.
    // Empty optional when the context could not be built or the call threw.
    static std::optional<QString> libraryHTML(const QString &markdown);

    // Whether the JavaScript context with marked could be built.
    static bool hasLibrary();

    static bool containsMath(const QString &markdown);
    static QList<OutlineEntry> parseOutline(const QString &text);

    // A standalone light page (exports, copies); carries KaTeX and Mermaid
    // only when the text needs them.
    static QString documentHTML(const QString &markdown, double fontSize, const QUrl &baseURL,
                                PreviewTheme theme, const QString &extraCSS);

    // The diagram library's source (empty when missing). The preview shell leaves it
    // out, since compiling it takes most of a second: the preview runs it in the page
    // when the first diagram arrives.
    static QString diagramLibraryScript();
    // The empty preview page, filled later through updateContent(base64).
    // colorScheme is "light dark", "light" or "dark". extraImageSources are
    // added to the page policy's img-src (the preview's own URL scheme).
    static QString previewShellHTML(double fontSize, const QString &colorScheme, PreviewTheme theme,
                                    const QString &extraCSS, const QString &extraImageSources = {});

    // Sanitiser applied to every rendered body; public for the tests.
    static QString sanitizeHTML(const QString &html);

private:
    // Block by block where the text allows; empty when `abandoned` gave it up.
    static std::optional<QString> bodyHTML(const QString &markdown, const std::function<bool()> *abandoned);
    // The sanitised, diagram-ready body from marked's output (escaped text without it).
    static QString finishedBody(const QString &markdown, const std::optional<QString> &rendered);

    struct SchemeColor
    {
        QString light;
        QString dark;
    };

    static QString wrapHTML(const QString &bodyHTML, double fontSize, const QString &colorScheme,
                            const QString &background, const SchemeColor &textColor,
                            const QUrl &baseURL, bool includeUpdater, PreviewTheme theme,
                            const QString &extraCSS, bool includeMath, bool includeMermaid,
                            const QString &extraImageSources);
    static QString themeCSS(PreviewTheme theme, double fontSize, const QString &background,
                            const SchemeColor &textColor, const QString &colorScheme);
};
