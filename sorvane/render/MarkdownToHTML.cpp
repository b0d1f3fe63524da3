#include "MarkdownToHTML.h"

#include "HTMLSanitizer.h"

#include <JavaScriptCore/JavaScript.h>

#include <QCache>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <array>
#include <mutex>

// Exported by JavaScriptCore but left out of its public headers: the watchdog that
// lets a long evaluation be stopped from a callback.
extern "C" {
typedef bool (*JSShouldTerminateCallback)(JSContextRef context, void *data);
JS_EXPORT void JSContextGroupSetExecutionTimeLimit(JSContextGroupRef group, double limit,
                                                   JSShouldTerminateCallback callback, void *data);
JS_EXPORT void JSContextGroupClearExecutionTimeLimit(JSContextGroupRef group);
}

namespace {

// How often (seconds of the render's own CPU time) a running render asks whether it
// is still wanted.
constexpr double abandonCheckSeconds = 0.05;

bool shouldTerminate(JSContextRef context, void *data)
{
    if ((*static_cast<const std::function<bool()> *>(data))())
        return true;
    // The watchdog fires once per limit it is given: a render still wanted sets the
    // next one.
    JSContextGroupSetExecutionTimeLimit(JSContextGetGroup(context), abandonCheckSeconds, &shouldTerminate, data);
    return false;
}

QString readResource(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QString escapeText(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    out.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    out.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return out;
}

JSStringRef makeJSString(const QString &text)
{
    return JSStringCreateWithCharacters(reinterpret_cast<const JSChar *>(text.utf16()),
                                        static_cast<size_t>(text.size()));
}

QString fromJSString(JSStringRef string)
{
    return QString(reinterpret_cast<const QChar *>(JSStringGetCharactersPtr(string)),
                   static_cast<qsizetype>(JSStringGetLength(string)));
}

bool evaluate(JSGlobalContextRef context, const QString &source, const QString &name)
{
    JSStringRef script = makeJSString(source);
    JSStringRef url = makeJSString(name);
    JSValueRef exception = nullptr;
    JSEvaluateScript(context, script, nullptr, url, 1, &exception);
    JSStringRelease(url);
    JSStringRelease(script);
    return exception == nullptr;
}

// Marked's source after the tuning script's respelling of its masking loops;
// the source as shipped when the script is missing or fails.
QString tunedLibrary(JSGlobalContextRef context, const QString &library)
{
    JSObjectRef global = JSContextGetGlobalObject(context);
    JSStringRef name = JSStringCreateWithUTF8CString("__sorvaneLibrary");
    JSStringRef text = makeJSString(library);
    JSObjectSetProperty(context, global, name, JSValueMakeString(context, text), kJSPropertyAttributeNone, nullptr);
    JSStringRelease(text);
    JSStringRef call = JSStringCreateWithUTF8CString(
        "typeof __sorvaneRegexTuning === 'undefined' ? __sorvaneLibrary"
        " : __sorvaneRegexTuning.patchLibrary(__sorvaneLibrary)");
    JSValueRef exception = nullptr;
    JSValueRef value = JSEvaluateScript(context, call, nullptr, nullptr, 1, &exception);
    JSStringRelease(call);
    QString result = library;
    if (value && !exception && JSValueIsString(context, value)) {
        JSStringRef string = JSValueToStringCopy(context, value, nullptr);
        if (string) {
            result = fromJSString(string);
            JSStringRelease(string);
        }
    }
    JSObjectDeleteProperty(context, global, name, nullptr);
    JSStringRelease(name);
    return result;
}

// The one JavaScript context. JavaScriptCore takes its own lock per call, but
// a render is two calls (set the input, evaluate), so a mutex keeps them
// together.
class Engine
{
public:
    static Engine &shared()
    {
        static Engine engine;
        return engine;
    }

    bool ready() const { return m_context != nullptr; }

    // Empty when the library is missing, the call threw or `abandoned` stopped it.
    // `footnoteIds`, when given, receives the footnotes the text referred to, in the
    // order of their numbers; `inlineOnly` parses the text as one run of inline content.
    std::optional<QString> render(const QString &markdown, const std::function<bool()> *abandoned = nullptr,
                                  QStringList *footnoteIds = nullptr, bool inlineOnly = false)
    {
        if (!m_context)
            return std::nullopt;
        std::lock_guard lock(m_mutex);
        if (abandoned && (*abandoned)())
            return std::nullopt;
        JSContextGroupRef group = JSContextGetGroup(m_context);
        if (abandoned)
            JSContextGroupSetExecutionTimeLimit(group, abandonCheckSeconds, &shouldTerminate,
                                                const_cast<std::function<bool()> *>(abandoned));
        JSObjectRef global = JSContextGetGlobalObject(m_context);
        JSStringRef text = makeJSString(markdown);
        JSObjectSetProperty(m_context, global, m_inputName, JSValueMakeString(m_context, text),
                            kJSPropertyAttributeNone, nullptr);
        JSStringRelease(text);

        std::optional<QString> result = evaluateToString(inlineOnly ? m_inlineCall : m_call);
        if (result && footnoteIds) {
            const std::optional<QString> ids = evaluateToString(m_footnoteIdsCall);
            footnoteIds->clear();
            for (const QJsonValue &id : QJsonDocument::fromJson(ids.value_or(QString()).toUtf8()).array())
                footnoteIds->append(id.toString());
        }
        // Let a large input go instead of keeping it alive until the next render.
        JSStringRef empty = JSStringCreateWithUTF8CString("");
        JSObjectSetProperty(m_context, global, m_inputName, JSValueMakeString(m_context, empty),
                            kJSPropertyAttributeNone, nullptr);
        JSStringRelease(empty);
        // A stopped evaluation ends in an exception, so it has no result.
        if (abandoned)
            JSContextGroupClearExecutionTimeLimit(group);
        return result;
    }

private:
    std::optional<QString> evaluateToString(JSStringRef script)
    {
        JSValueRef exception = nullptr;
        JSValueRef value = JSEvaluateScript(m_context, script, nullptr, nullptr, 1, &exception);
        if (!value || exception || JSValueIsUndefined(m_context, value) || JSValueIsNull(m_context, value))
            return std::nullopt;
        std::optional<QString> result;
        JSStringRef string = JSValueToStringCopy(m_context, value, &exception);
        if (string && !exception)
            result = fromJSString(string);
        if (string)
            JSStringRelease(string);
        return result;
    }

    Engine()
    {
        const QString library = readResource(QStringLiteral(":/marked.min.js"));
        if (library.isEmpty())
            return;
        JSGlobalContextRef context = JSGlobalContextCreate(nullptr);
        if (!context)
            return;
        const QString tuning = readResource(QStringLiteral(":/scripts/regex-tuning.js"));
        const QString footnotes = readResource(QStringLiteral(":/scripts/footnotes.js"));
        const QString math = readResource(QStringLiteral(":/scripts/math.js"));
        evaluate(context, tuning, QStringLiteral("regex-tuning.js"));
        evaluate(context, tunedLibrary(context, library), QStringLiteral("marked.min.js"));
        const QString setup = QStringLiteral("if (typeof __sorvaneRegexTuning !== 'undefined') "
                                             "__sorvaneRegexTuning.tuneMarked(marked);\n"
                                             "marked.setOptions({ gfm: true, breaks: false });\n")
            + footnotes + QLatin1Char('\n') + math
            + QStringLiteral("\nfunction __sorvaneRender(md) {\n    return marked.parse(md);\n}");
        evaluate(context, setup, QStringLiteral("setup.js"));
        m_context = context;
        m_inputName = JSStringCreateWithUTF8CString("__md__");
        m_call = JSStringCreateWithUTF8CString("__sorvaneRender(__md__)");
        m_inlineCall = JSStringCreateWithUTF8CString("marked.parseInline(__md__)");
        m_footnoteIdsCall = JSStringCreateWithUTF8CString("JSON.stringify(globalThis.__sorvaneFootnoteIds || [])");
    }

    // Lives until the process ends, like the values built once on first use.
    ~Engine() = default;

    JSGlobalContextRef m_context = nullptr;
    JSStringRef m_inputName = nullptr;
    JSStringRef m_call = nullptr;
    JSStringRef m_inlineCall = nullptr;
    JSStringRef m_footnoteIdsCall = nullptr;
    std::mutex m_mutex;
};

// Mermaid code blocks become diagram containers, the code still escaped. The
// sanitiser wrote every tag and attribute name in lower case, so only the
// language name can vary in case.
QString withDiagramBlocks(const QString &body)
{
    const QLatin1String open("<pre><code class=\"language-");
    const QLatin1String language("mermaid\">");
    const QLatin1String close("</code></pre>");
    qsizetype at = body.indexOf(open);
    if (at < 0)
        return body;
    QString out;
    qsizetype copied = 0;
    for (; at >= 0; at = body.indexOf(open, at + 1)) {
        const qsizetype code = at + open.size() + language.size();
        if (QStringView(body).mid(at + open.size(), language.size()).compare(language, Qt::CaseInsensitive) != 0)
            continue;
        const qsizetype end = body.indexOf(close, code);
        if (end < 0)
            break;
        if (out.isEmpty())
            out.reserve(body.size());
        out.append(QStringView(body).mid(copied, at - copied));
        out.append(QLatin1String("<div class=\"mermaid\">"));
        out.append(QStringView(body).mid(code, end - code));
        out.append(QLatin1String("</div>"));
        copied = end + close.size();
        at = copied - 1;
    }
    if (copied == 0)
        return body;
    out.append(QStringView(body).mid(copied));
    return out;
}


// Whether a line is a footnote definition, which the footnote extension takes
// out of the text line by line before marked sees it.
bool isFootnoteDefinition(QStringView line)
{
    static const QRegularExpression definition(QStringLiteral("^\\[\\^[^\\]\\s]+\\]:"));
    return line.startsWith(QLatin1StringView("[^")) && definition.match(line).hasMatch();
}

QStringView lineAround(QStringView text, qsizetype at)
{
    const qsizetype start = text.lastIndexOf(u'\n', at) + 1;
    qsizetype end = text.indexOf(u'\n', at);
    if (end < 0)
        end = text.size();
    return text.mid(start, end - start);
}

// A link reference definition serves links anywhere in the text, so it ties
// distant blocks together. (Footnotes are numbered over the blocks afterwards.)
bool tiesBlocksTogether(const QString &markdown)
{
    const QStringView text(markdown);
    for (qsizetype at = text.indexOf(QLatin1StringView("]:")); at >= 0; at = text.indexOf(QLatin1StringView("]:"), at + 2)) {
        const QStringView line = lineAround(text, at);
        if (isFootnoteDefinition(line))
            continue;
        // Past indentation, quote and list markers, a definition opens with "[".
        qsizetype i = 0;
        while (i < line.size()) {
            const QChar c = line[i];
            if (c == u' ' || c == u'\t' || c == u'>' || c == u'-' || c == u'*' || c == u'+' || c == u'.' || c == u')'
                || c.isDigit())
                ++i;
            else
                break;
        }
        if (i < line.size() && line[i] == u'[')
            return true;
    }
    return false;
}

// Raw HTML whose effect can reach across blank lines: comments, processing
// instructions, declarations and the elements the sanitiser drops with their
// content. A text holding any renders in one piece.
bool hasSpanningHTML(const QString &markdown)
{
    static constexpr std::array<QLatin1StringView, 18> names = {
        QLatin1StringView("script"),   QLatin1StringView("style"),    QLatin1StringView("textarea"),
        QLatin1StringView("pre"),      QLatin1StringView("iframe"),   QLatin1StringView("svg"),
        QLatin1StringView("math"),     QLatin1StringView("title"),    QLatin1StringView("head"),
        QLatin1StringView("object"),   QLatin1StringView("applet"),   QLatin1StringView("embed"),
        QLatin1StringView("noscript"), QLatin1StringView("noembed"),  QLatin1StringView("noframes"),
        QLatin1StringView("frameset"), QLatin1StringView("select"),   QLatin1StringView("template"),
    };
    const QStringView text(markdown);
    for (qsizetype at = text.indexOf(u'<'); at >= 0; at = text.indexOf(u'<', at + 1)) {
        const QStringView rest = text.mid(at + 1);
        if (rest.startsWith(u'!') || rest.startsWith(u'?') || rest.startsWith(QLatin1StringView("xmp"), Qt::CaseInsensitive))
            return true;
        for (QLatin1StringView name : names) {
            if (rest.startsWith(name, Qt::CaseInsensitive))
                return true;
        }
    }
    return false;
}

// The fence a line opens or closes: up to three spaces, then three or more
// backticks or tildes.
struct FenceRun
{
    QChar mark;
    qsizetype length = 0;
    QStringView rest;
};

std::optional<FenceRun> fenceRun(QStringView line)
{
    qsizetype at = 0;
    while (at < line.size() && at < 3 && line[at] == u' ')
        ++at;
    if (at >= line.size() || (line[at] != u'`' && line[at] != u'~'))
        return std::nullopt;
    const QChar mark = line[at];
    qsizetype end = at;
    while (end < line.size() && line[end] == mark)
        ++end;
    if (end - at < 3)
        return std::nullopt;
    return FenceRun{mark, end - at, line.mid(end)};
}

qsizetype unescapedDisplayDollars(QStringView line)
{
    qsizetype count = 0;
    for (qsizetype at = line.indexOf(QLatin1StringView("$$")); at >= 0;
         at = line.indexOf(QLatin1StringView("$$"), at + 2)) {
        if (at == 0 || line[at - 1] != u'\\')
            ++count;
    }
    return count;
}

// A block's finished HTML without its footnote list, and the footnotes it refers
// to in the order of the numbers it gave them.
struct BlockHTML
{
    QString html;
    QStringList footnoteIds;
};

// Remembers the finished HTML of recent blocks, so an edit re-renders only the
// block it touched. Shared by every caller; cost is in UTF-16 units.
class BlockCache
{
public:
    static BlockCache &shared()
    {
        static BlockCache cache;
        return cache;
    }

    std::optional<BlockHTML> find(const QString &block)
    {
        std::lock_guard lock(m_mutex);
        if (const BlockHTML *html = m_cache.object(block))
            return *html;
        return std::nullopt;
    }

    void insert(const QString &block, const BlockHTML &html)
    {
        std::lock_guard lock(m_mutex);
        m_cache.insert(block, new BlockHTML(html), block.size() + html.html.size());
    }

private:
    std::mutex m_mutex;
    QCache<QString, BlockHTML> m_cache{24 * 1024 * 1024};
};

const QLatin1StringView footnoteListOpen("<section class=\"footnotes\">");
const QLatin1StringView footnoteRefOpen("<sup class=\"footnote-ref\"><a id=\"fnref-");

// The block's footnote references renumbered from the block's own numbers (1, 2,
// ... in `ids` order) to the whole text's.
QString renumberedFootnotes(const QString &html, const QStringList &ids, QHash<QString, int> &numbers,
                            QStringList &order)
{
    QList<int> global;
    bool same = true;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        auto number = numbers.constFind(ids[i]);
        if (number == numbers.constEnd()) {
            order.append(ids[i]);
            number = numbers.insert(ids[i], int(order.size()));
        }
        global.append(*number);
        same = same && *number == i + 1;
    }
    if (same)
        return html;
    QString out;
    out.reserve(html.size() + 64);
    qsizetype copied = 0;
    for (qsizetype at = html.indexOf(footnoteRefOpen); at >= 0; at = html.indexOf(footnoteRefOpen, at + 1)) {
        // <sup class="footnote-ref"><a id="fnref-N" href="#fn-N">N</a></sup>
        const qsizetype digits = at + footnoteRefOpen.size();
        qsizetype end = digits;
        while (end < html.size() && html[end].isDigit())
            ++end;
        const QStringView local = QStringView(html).mid(digits, end - digits);
        bool ok = false;
        const int n = local.toInt(&ok);
        if (!ok || n < 1 || n > global.size())
            continue;
        const QString tail = QStringLiteral("\" href=\"#fn-%1\">%1</a></sup>").arg(n);
        if (!QStringView(html).mid(end).startsWith(tail))
            continue;
        out.append(QStringView(html).mid(copied, at - copied));
        out.append(QStringLiteral("%1%2\" href=\"#fn-%2\">%2</a></sup>").arg(footnoteRefOpen).arg(global[n - 1]));
        copied = end + tail.size();
        at = copied - 1;
    }
    out.append(QStringView(html).mid(copied));
    return out;
}

// The footnote definitions as the footnote extension reads them: whole lines
// (split at "\n" only), the last of an id winning.
QHash<QString, QString> footnoteDefinitions(const QString &markdown)
{
    // JavaScript's \s, and its "." that stops at line terminators.
    static const QRegularExpression definition(QStringLiteral(
        "\\A\\[\\^([^\\]\t\n\x0B\f\r \\x{a0}\\x{1680}\\x{2000}-\\x{200a}\\x{2028}\\x{2029}\\x{202f}\\x{205f}\\x{3000}\\x{feff}]+)\\]:"
        "[\t\n\x0B\f\r \\x{a0}\\x{1680}\\x{2000}-\\x{200a}\\x{2028}\\x{2029}\\x{202f}\\x{205f}\\x{3000}\\x{feff}]?"
        "([^\r\n\\x{2028}\\x{2029}]*)\\z"));
    QHash<QString, QString> definitions;
    const QStringView text(markdown);
    for (qsizetype at = text.indexOf(QLatin1StringView("[^")); at >= 0; at = text.indexOf(QLatin1StringView("[^"), at + 2)) {
        if (at > 0 && text[at - 1] != u'\n')
            continue;
        qsizetype end = text.indexOf(u'\n', at);
        if (end < 0)
            end = text.size();
        const QRegularExpressionMatch match = definition.match(text.mid(at, end - at));
        if (match.hasMatch())
            definitions.insert(match.captured(1), match.captured(2));
    }
    return definitions;
}

// Below this a whole render is quick enough that splitting gains nothing.
constexpr qsizetype blockRenderMinimum = 32 * 1024;

struct Patterns
{
    QRegularExpression outline{QStringLiteral("(*ANY)^(#{1,6})\\s+(.+)$"),
                               QRegularExpression::MultilineOption};

    static const Patterns &shared()
    {
        static const Patterns patterns;
        return patterns;
    }
};

} // namespace

QString previewThemeRawValue(PreviewTheme theme)
{
    switch (theme) {
    case PreviewTheme::Standard: return QStringLiteral("Default");
    case PreviewTheme::GitHub: return QStringLiteral("GitHub");
    case PreviewTheme::Serif: return QStringLiteral("Serif");
    }
    return QStringLiteral("Default");
}

std::optional<PreviewTheme> previewThemeFromRawValue(const QString &rawValue)
{
    for (PreviewTheme theme : allPreviewThemes()) {
        if (previewThemeRawValue(theme) == rawValue)
            return theme;
    }
    return std::nullopt;
}

QList<PreviewTheme> allPreviewThemes()
{
    return {PreviewTheme::Standard, PreviewTheme::GitHub, PreviewTheme::Serif};
}

bool MarkdownToHTML::hasLibrary()
{
    return Engine::shared().ready();
}

std::optional<QString> MarkdownToHTML::libraryHTML(const QString &markdown)
{
    return Engine::shared().render(markdown);
}

QString MarkdownToHTML::renderedBodyHTML(const QString &markdown)
{
    return *bodyHTML(markdown, nullptr);
}

std::optional<QString> MarkdownToHTML::renderedBodyHTML(const QString &markdown,
                                                        const std::function<bool()> &abandoned)
{
    return bodyHTML(markdown, &abandoned);
}

std::optional<QString> MarkdownToHTML::bodyHTML(const QString &markdown, const std::function<bool()> *abandoned)
{
    const auto givenUp = [abandoned] { return abandoned && (*abandoned)(); };
    const QList<QStringView> blocks = independentBlocks(markdown);
    if (blocks.size() < 2 || !Engine::shared().ready()) {
        std::optional<QString> rendered = Engine::shared().render(markdown, abandoned);
        if (!rendered && givenUp())
            return std::nullopt;
        return finishedBody(markdown, rendered);
    }
    QString body;
    body.reserve(markdown.size() * 2);
    QHash<QString, int> numbers;
    QStringList order;
    for (QStringView view : blocks) {
        const QString block = view.toString();
        std::optional<BlockHTML> html = BlockCache::shared().find(block);
        if (!html) {
            QStringList ids;
            std::optional<QString> rendered = Engine::shared().render(block, abandoned, &ids);
            if (!rendered && givenUp())
                return std::nullopt;
            html = BlockHTML{finishedBody(block, rendered), ids};
            // The block's own list of notes gives way to the one for the whole text.
            if (!ids.isEmpty()) {
                const qsizetype list = html->html.lastIndexOf(footnoteListOpen);
                if (list >= 0)
                    html->html.truncate(list);
            }
            if (rendered)
                BlockCache::shared().insert(block, *html);
        }
        body += renumberedFootnotes(html->html, html->footnoteIds, numbers, order);
    }
    if (order.isEmpty())
        return body;
    const QHash<QString, QString> definitions = footnoteDefinitions(markdown);
    QString items;
    for (qsizetype i = 0; i < order.size(); ++i) {
        const auto definition = definitions.constFind(order[i]);
        const QString text = definition == definitions.constEnd()
            ? QString()
            : Engine::shared().render(*definition, nullptr, nullptr, true).value_or(QString());
        items += QStringLiteral("<li id=\"fn-%1\">%2 <a href=\"#fnref-%1\" class=\"footnote-backref\">\u21a9</a></li>\n")
                     .arg(i + 1)
                     .arg(text);
    }
    body += sanitizeHTML(footnoteListOpen + QStringLiteral("\n<ol>\n") + items + QStringLiteral("</ol>\n</section>\n"));
    return body;
}

QString MarkdownToHTML::wholeBodyHTML(const QString &markdown)
{
    return finishedBody(markdown, Engine::shared().render(markdown));
}

QList<QStringView> MarkdownToHTML::independentBlocks(const QString &markdown)
{
    if (markdown.size() < blockRenderMinimum || tiesBlocksTogether(markdown) || hasSpanningHTML(markdown))
        return {};
    QList<QStringView> blocks;
    const QStringView text(markdown);
    qsizetype blockStart = 0;
    std::optional<FenceRun> fence;
    bool inDisplayMath = false;
    bool previousBlank = false;
    for (qsizetype lineStart = 0; lineStart < text.size();) {
        qsizetype lineEnd = text.indexOf(u'\n', lineStart);
        const qsizetype next = lineEnd < 0 ? text.size() : lineEnd + 1;
        if (lineEnd < 0)
            lineEnd = text.size();
        const QStringView line = text.mid(lineStart, lineEnd - lineStart);
        const bool blank = line.trimmed().isEmpty();
        if (fence) {
            const auto run = fenceRun(line);
            if (run && run->mark == fence->mark && run->length >= fence->length && run->rest.trimmed().isEmpty())
                fence.reset();
        } else if (const auto run = fenceRun(line);
                   run && !(run->mark == u'`' && run->rest.contains(u'`'))) {
            fence = run;
        } else {
            // An ATX heading in the first column after a blank line ends every
            // open block: it is where marked's output can be cut.
            if (line.startsWith(u'#') && previousBlank && !inDisplayMath && lineStart > blockStart) {
                blocks.append(text.mid(blockStart, lineStart - blockStart));
                blockStart = lineStart;
            }
            if (unescapedDisplayDollars(line) % 2 == 1)
                inDisplayMath = !inDisplayMath;
        }
        previousBlank = blank && !fence;
        lineStart = next;
    }
    blocks.append(text.mid(blockStart));
    return blocks;
}

QString MarkdownToHTML::finishedBody(const QString &markdown, const std::optional<QString> &rendered)
{
    if (!Engine::shared().ready())
        return QStringLiteral("<pre>") + escapeText(markdown) + QStringLiteral("</pre>");
    QString body = sanitizeHTML(rendered ? *rendered : escapeText(markdown));

    return withDiagramBlocks(body);
}

// Blocked elements, handlers and script addresses all fall to the allow-list
// pass: it reads whole tags and attributes as the browser does, where
// patterns over the tag text cut quoted values that merely held "onx=".
QString MarkdownToHTML::sanitizeHTML(const QString &html)
{
    return HTMLSanitizer::clean(html);
}

bool MarkdownToHTML::containsMath(const QString &markdown)
{
    if (markdown.contains(QLatin1String("$$")) || markdown.contains(QLatin1String("\\("))
        || markdown.contains(QLatin1String("\\[")))
        return true;
    // Counted as user-perceived characters: a "$" carrying a combining mark
    // is another character.
    int dollars = 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, markdown);
    for (qsizetype at = markdown.indexOf(QLatin1Char('$')); at >= 0 && dollars < 2;
         at = markdown.indexOf(QLatin1Char('$'), at + 1)) {
        finder.setPosition(at);
        const bool startsCharacter = finder.isAtBoundary();
        finder.setPosition(at + 1);
        if (startsCharacter && finder.isAtBoundary())
            ++dollars;
    }
    return dollars >= 2;
}

QList<OutlineEntry> MarkdownToHTML::parseOutline(const QString &text)
{
    QList<OutlineEntry> entries;
    const QRegularExpression &re = Patterns::shared().outline;
    if (!re.isValid())
        return entries;
    auto it = re.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        if (match.lastCapturedIndex() < 2)
            continue;
        OutlineEntry entry;
        entry.level = static_cast<int>(match.capturedLength(1));
        QString title = match.captured(2);
        qsizetype start = 0;
        qsizetype end = title.size();
        // Spaces and tabs in the Unicode sense, line breaks excluded.
        const auto blank = [](QChar c) {
            return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space;
        };
        while (start < end && blank(title.at(start)))
            ++start;
        while (end > start && blank(title.at(end - 1)))
            --end;
        entry.title = title.mid(start, end - start);
        entry.location = match.capturedStart();
        entry.length = match.capturedLength();
        entries.append(entry);
    }
    return entries;
}
