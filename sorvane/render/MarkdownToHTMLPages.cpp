#include "MarkdownToHTML.h"

#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace {

std::optional<QString> readResource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return QString::fromUtf8(file.readAll());
}

// The pages allow fonts only from data addresses, so KaTeX's font files are
// written into its stylesheet; the woff and ttf fallbacks are not shipped.
std::optional<QString> inlineKatexFonts(std::optional<QString> css)
{
    if (!css)
        return css;
    QString out = *css;
    static const QRegularExpression fallback(
        QStringLiteral(",\\s*url\\(fonts/[^)]+\\.(?:woff|ttf)\\)\\s*format\\(\"(?:woff|truetype)\"\\)"));
    out.remove(fallback);
    static const QRegularExpression woff2(QStringLiteral("url\\(fonts/([^)]+\\.woff2)\\)"));
    QString rebuilt;
    qsizetype last = 0;
    auto it = woff2.globalMatch(out);
    while (it.hasNext()) {
        const auto match = it.next();
        rebuilt.append(QStringView(out).mid(last, match.capturedStart() - last));
        QFile font(QStringLiteral(":/katex/fonts/") + match.captured(1));
        if (font.open(QIODevice::ReadOnly))
            rebuilt.append(QStringLiteral("url(data:font/woff2;base64,")
                           + QString::fromLatin1(font.readAll().toBase64()) + QLatin1Char(')'));
        else
            rebuilt.append(match.captured());
        last = match.capturedEnd();
    }
    rebuilt.append(QStringView(out).mid(last));
    return rebuilt;
}

struct PageResources
{
    std::optional<QString> katexCSS = inlineKatexFonts(readResource(QStringLiteral(":/katex/katex.min.css")));
    std::optional<QString> katexJS = readResource(QStringLiteral(":/katex/katex.min.js"));
    std::optional<QString> katexAutoRenderJS = readResource(QStringLiteral(":/katex/auto-render.min.js"));
    std::optional<QString> mermaidJS = readResource(QStringLiteral(":/mermaid/mermaid.min.js"));
    QString richContentScript = readResource(QStringLiteral(":/scripts/rich-content.js")).value_or(QString());
    QString updaterScript = readResource(QStringLiteral(":/scripts/updater.js")).value_or(QString());

    static const PageResources &shared()
    {
        static const PageResources resources;
        return resources;
    }
};

QString escapeAttribute(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    out.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    out.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    out.replace(QLatin1Char('"'), QLatin1String("&quot;"));
    return out;
}

// Shortest decimal that reads back to the same number, always with a
// fractional part: 15 gives "15.0".
QString cssNumber(double value)
{
    QString text = QString::number(value, 'g', QLocale::FloatingPointShortest);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QStringLiteral(".0");
    return text;
}

struct ThemeValues
{
    QString bodyFont;
    QString headingFont;
    QString rule[2];
    QString link[2];
    QString codeBackground[2];
    QString quoteBar[2];
};

ThemeValues themeValues(PreviewTheme theme)
{
    switch (theme) {
    case PreviewTheme::GitHub: {
        const QString font = QStringLiteral("-apple-system, BlinkMacSystemFont, \"Segoe UI\", Helvetica, Arial, sans-serif");
        return {font, font, {QStringLiteral("#d0d7de"), QStringLiteral("#30363d")},
                {QStringLiteral("#0969da"), QStringLiteral("#58a6ff")},
                {QStringLiteral("#f6f8fa"), QStringLiteral("rgba(110,118,129,0.4)")},
                {QStringLiteral("#d0d7de"), QStringLiteral("#30363d")}};
    }
    case PreviewTheme::Serif:
        return {QStringLiteral("Georgia, \"Times New Roman\", \"Palatino Linotype\", serif"),
                QStringLiteral("-apple-system, BlinkMacSystemFont, \"SF Pro Display\", sans-serif"),
                {QStringLiteral("#d4c5a9"), QStringLiteral("#444")},
                {QStringLiteral("#8b0000"), QStringLiteral("#e6735a")},
                {QStringLiteral("#faf3e6"), QStringLiteral("rgba(255,255,255,0.06)")},
                {QStringLiteral("#c4a882"), QStringLiteral("#666")}};
    case PreviewTheme::Standard:
        break;
    }
    const QString font = QStringLiteral("-apple-system, BlinkMacSystemFont, \"SF Pro Text\", \"Helvetica Neue\", sans-serif");
    return {font, font, {QStringLiteral("#e5e5e5"), QStringLiteral("#333")},
            {QStringLiteral("#0066cc"), QStringLiteral("#5ac8fa")},
            {QStringLiteral("#f0f0f0"), QStringLiteral("rgba(255,255,255,0.08)")},
            {QStringLiteral("#d0d0d0"), QStringLiteral("#555")}};
}

const char *const kRichContentRules =
    ".katex { font-size: 1em; }\n"
    ".katex-display { margin: 1em 0; overflow-x: auto; overflow-y: hidden; padding: 0.25em 0; }\n"
    ".katex-display > .katex { display: inline-block; text-align: initial; }\n"
    ".mermaid { margin: 1em 0; text-align: center; line-height: normal; }\n"
    ".mermaid svg { max-width: 100%; height: auto; }\n"
    // Blocks out of view skip layout and paint: a long document updates fast.
    "#content > * { content-visibility: auto; contain-intrinsic-size: auto 3em; }";

QString pageNonce()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(words), sizeof words).toBase64());
}

// Whether an element of the sanitised body carries the class, as the page's
// scripts select it: the body decides what the page must load.
bool bodyHasClass(const QString &body, QLatin1String name)
{
    for (qsizetype at = body.indexOf(name); at >= 0; at = body.indexOf(name, at + 1)) {
        const QChar after = at + name.size() < body.size() ? body.at(at + name.size()) : QChar();
        if (after != QLatin1Char('"') && after != QLatin1Char(' '))
            continue;
        // Back over the classes before it to the attribute's opening quote
        // (a bounded walk: prose naming the class is no reason to scan far).
        qsizetype open = at;
        while (open > 0 && at - open < 256 && body.at(open - 1) != QLatin1Char('"')
               && body.at(open - 1) != QLatin1Char('>'))
            --open;
        const bool wholeWord = at == open || body.at(at - 1) == QLatin1Char(' ');
        if (wholeWord && open >= 7 && QStringView(body).mid(open - 7, 7) == QLatin1String("class=\""))
            return true;
    }
    return false;
}

} // namespace

// Chromium 102 has no light-dark(), so each colour pair becomes a custom
// property with a light and a dark set. The page's colour scheme picks the
// set: first the stylesheet's own value, then whatever the app assigns to
// document.documentElement.style.colorScheme.
QString MarkdownToHTML::themeCSS(PreviewTheme theme, double fontSize, const QString &background,
                                 const SchemeColor &textColor, const QString &colorScheme)
{
    const ThemeValues v = themeValues(theme);
    const auto set = [&](int dark) {
        const bool d = dark == 1;
        return QStringLiteral("--sv-text: %1; --sv-strong: %2; --sv-rule: %3; --sv-link: %4; "
                              "--sv-code-bg: %5; --sv-quote-bar: %6; --sv-pre-bg: %7; --sv-pre-border: %8; "
                              "--sv-muted: %9; --sv-cell-border: %10; --sv-th-bg: %11; --sv-row-alt: %12; "
                              "--sv-hr: %13;")
            .arg(d ? textColor.dark : textColor.light, d ? QStringLiteral("#fff") : QStringLiteral("#000"),
                 v.rule[dark], v.link[dark], v.codeBackground[dark], v.quoteBar[dark],
                 d ? QStringLiteral("rgba(255,255,255,0.06)") : QStringLiteral("#f5f5f5"),
                 d ? QStringLiteral("rgba(255,255,255,0.08)") : QStringLiteral("#e0e0e0"),
                 d ? QStringLiteral("#aaa") : QStringLiteral("#555"))
            .arg(d ? QStringLiteral("#444") : QStringLiteral("#ddd"),
                 d ? QStringLiteral("rgba(255,255,255,0.06)") : QStringLiteral("#f5f5f5"),
                 d ? QStringLiteral("rgba(255,255,255,0.02)") : QStringLiteral("#fafafa"),
                 d ? QStringLiteral("#333") : QStringLiteral("#e0e0e0"));
    };
    const QString light = set(0);
    const QString dark = set(1);

    QString css;
    const QString scheme = colorScheme.trimmed();
    if (scheme == QLatin1String("dark")) {
        css += QStringLiteral(":root { %1 }\n").arg(dark);
    } else {
        css += QStringLiteral(":root { %1 }\n").arg(light);
        if (scheme != QLatin1String("light"))
            css += QStringLiteral("@media (prefers-color-scheme: dark) { :root { %1 } }\n").arg(dark);
    }
    css += QStringLiteral(":root[style*=\"color-scheme: dark\"] { %1 }\n").arg(dark);
    css += QStringLiteral(":root[style*=\"color-scheme: light\"] { %1 }\n").arg(light);
    css += QStringLiteral("@media (prefers-color-scheme: dark) { :root[style*=\"color-scheme: light dark\"] { %1 } }\n")
               .arg(dark);

    css += QStringLiteral(
               "body { font-family: %1; font-size: %2px; line-height: 1.65; color: var(--sv-text); "
               "background: %3; padding: 24px 32px; max-width: 860px; -webkit-font-smoothing: antialiased; }\n"
               "h1, h2, h3, h4, h5, h6 { font-family: %4; font-weight: 700; line-height: 1.3; margin-top: 1.6em; "
               "margin-bottom: 0.6em; color: var(--sv-strong); }\n")
               .arg(v.bodyFont, cssNumber(fontSize), background, v.headingFont);
    css += QStringLiteral(
        "h1 { font-size: 2em; margin-top: 0; padding-bottom: 0.3em; border-bottom: 1px solid var(--sv-rule); }\n"
        "h2 { font-size: 1.5em; padding-bottom: 0.25em; border-bottom: 1px solid var(--sv-rule); }\n"
        "h3 { font-size: 1.25em; }\n"
        "h4 { font-size: 1.1em; }\n"
        "p { margin-bottom: 1em; }\n"
        "a { color: var(--sv-link); text-decoration: none; }\n"
        "a:hover { text-decoration: underline; }\n"
        "strong { font-weight: 700; color: var(--sv-strong); }\n"
        "code { font-family: \"SF Mono\", \"JetBrains Mono\", \"Fira Code\", Menlo, monospace; font-size: 0.88em; "
        "background: var(--sv-code-bg); padding: 2px 6px; border-radius: 4px; }\n"
        "pre { background: var(--sv-pre-bg); border: 1px solid var(--sv-pre-border); border-radius: 8px; "
        "padding: 16px; margin-bottom: 1em; overflow-x: auto; }\n"
        "pre code { background: none; padding: 0; font-size: 0.85em; line-height: 1.5; }\n"
        "blockquote { border-left: 3px solid var(--sv-quote-bar); padding-left: 16px; margin-left: 0; "
        "margin-bottom: 1em; color: var(--sv-muted); font-style: italic; }\n"
        "ul, ol { margin-bottom: 1em; padding-left: 2em; }\n"
        "li { margin-bottom: 0.35em; }\n"
        "li > ul, li > ol { margin-bottom: 0; margin-top: 0.35em; }\n"
        "table { width: 100%; border-collapse: collapse; margin-bottom: 1em; font-size: 0.92em; }\n"
        "th, td { border: 1px solid var(--sv-cell-border); padding: 8px 12px; text-align: left; }\n"
        // Author rules outrank the align attribute, so the column's alignment is restated.
        "th[align=\"center\"], td[align=\"center\"] { text-align: center; }\n"
        "th[align=\"right\"], td[align=\"right\"] { text-align: right; }\n"
        "th { background: var(--sv-th-bg); font-weight: 600; }\n"
        "tr:nth-child(even) { background: var(--sv-row-alt); }\n"
        "hr { border: none; border-top: 1px solid var(--sv-hr); margin: 2em 0; }\n"
        "img { max-width: 100%; height: auto; border-radius: 6px; }\n"
        "input[type=\"checkbox\"] { margin-right: 6px; }\n"
        ".task-list-item { list-style-type: none; margin-left: -1.5em; }\n"
        "sup.footnote-ref { font-size: 0.75em; line-height: 0; }\n"
        "sup.footnote-ref a { text-decoration: none; }\n"
        ".footnotes { font-size: 0.9em; color: var(--sv-muted); border-top: 1px solid var(--sv-rule); "
        "margin-top: 2em; padding-top: 0.8em; }\n"
        ".footnotes ol { padding-left: 1.4em; }\n"
        ".footnotes li { margin-bottom: 0.4em; }\n"
        ".footnote-backref { text-decoration: none; margin-left: 0.3em; }\n");
    return css;
}

// Scripts run only with the page's own nonce: markup in a document cannot
// carry it, so no handler, address or element from the text can run script.
QString MarkdownToHTML::wrapHTML(const QString &bodyHTML, double fontSize, const QString &colorScheme,
                                 const QString &background, const SchemeColor &textColor, const QUrl &baseURL,
                                 bool includeUpdater, PreviewTheme theme, const QString &extraCSS,
                                 bool includeMath, bool includeMermaid, const QString &extraImageSources)
{
    const PageResources &r = PageResources::shared();
    const QString nonce = pageNonce();
    const QString scriptOpen = QStringLiteral("<script nonce=\"") + nonce + QStringLiteral("\">");
    const QString scriptClose = QStringLiteral("</script>");

    QString page;
    page.reserve(bodyHTML.size() + 8192);
    page += QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    if (baseURL.isValid() && !baseURL.isEmpty())
        page += QStringLiteral("<base href=\"") + escapeAttribute(baseURL.toString(QUrl::FullyEncoded))
            + QStringLiteral("\">");
    QString imageSources = QStringLiteral("data: file: http: https:");
    if (!extraImageSources.trimmed().isEmpty())
        imageSources += QLatin1Char(' ') + escapeAttribute(extraImageSources.trimmed());
    page += QStringLiteral("\n<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src ")
        + imageSources + QStringLiteral("; style-src 'unsafe-inline'; script-src 'nonce-") + nonce
        + QStringLiteral("'; font-src data:; form-action 'none';\">\n<style>\n:root { color-scheme: ")
        + colorScheme + QStringLiteral("; }\n* { margin: 0; padding: 0; box-sizing: border-box; }\n")
        + themeCSS(theme, fontSize, background, textColor, colorScheme) + QLatin1Char('\n')
        + QLatin1String(kRichContentRules) + QLatin1Char('\n') + extraCSS + QStringLiteral("\n</style>\n");
    if (includeMath && r.katexCSS)
        page += QStringLiteral("<style id=\"sorvane-katex-css\">") + *r.katexCSS + QStringLiteral("</style>");
    page += QStringLiteral("\n</head>\n<body>\n<div id=\"content\">") + bodyHTML + QStringLiteral("</div>\n");
    if (includeMath) {
        if (r.katexJS)
            page += scriptOpen + *r.katexJS + scriptClose;
        if (r.katexAutoRenderJS)
            page += scriptOpen + *r.katexAutoRenderJS + scriptClose;
    }
    page += QLatin1Char('\n');
    if (includeMermaid && r.mermaidJS)
        page += scriptOpen + *r.mermaidJS + scriptClose;
    page += QLatin1Char('\n') + scriptOpen + r.richContentScript + scriptClose + QLatin1Char('\n');
    if (includeUpdater)
        page += scriptOpen + r.updaterScript + scriptClose;
    page += QStringLiteral("\n</body>\n</html>");
    return page;
}

QString MarkdownToHTML::documentHTML(const QString &markdown, double fontSize, const QUrl &baseURL,
                                     PreviewTheme theme, const QString &extraCSS)
{
    const QString body = renderedBodyHTML(markdown);
    return wrapHTML(body, fontSize, QStringLiteral("light"), QStringLiteral("#ffffff"),
                    {QStringLiteral("#1d1d1f"), QStringLiteral("#1d1d1f")}, baseURL, false, theme, extraCSS,
                    containsMath(markdown) || bodyHasClass(body, QLatin1String("math-inline"))
                        || bodyHasClass(body, QLatin1String("math-display")),
                    bodyHasClass(body, QLatin1String("mermaid")), QString());
}

QString MarkdownToHTML::previewShellHTML(double fontSize, const QString &colorScheme, PreviewTheme theme,
                                         const QString &extraCSS, const QString &extraImageSources)
{
    return wrapHTML(QString(), fontSize, colorScheme, QStringLiteral("transparent"),
                    {QStringLiteral("#1d1d1f"), QStringLiteral("#f5f5f7")}, QUrl(), true, theme, extraCSS,
                    true, false, extraImageSources);
}

QString MarkdownToHTML::diagramLibraryScript()
{
    return PageResources::shared().mermaidJS.value_or(QString());
}
