#include "TestEnvironment.h"
#include "render/HTMLSanitizer.h"
#include "render/MarkdownToHTML.h"

#include "CorpusGenerator.h"

#include <QApplication>
#include <QRegularExpression>
#include <QtTest>

namespace {

// Independent check of sanitised output: every tag is one we expect from
// Markdown, and no tag carries a handler or a script address.
QString unsafeTag(const QString &html)
{
    static const QRegularExpression tag(QStringLiteral("<(/?)([A-Za-z][A-Za-z0-9]*)([^>]*)>"));
    static const QRegularExpression handler(QStringLiteral("(^|[\\s/\"'])on[a-z]+\\s*="), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression scheme(QStringLiteral("(javascript|vbscript|data:text|&#|&colon)"), QRegularExpression::CaseInsensitiveOption);
    static const QStringList allowed = QStringLiteral(
        "a p h1 h2 h3 h4 h5 h6 em strong code pre ul ol li blockquote img br hr table thead tbody tr th td del div span sup section input b i u s details summary")
                                           .split(QLatin1Char(' '));
    auto it = tag.globalMatch(html);
    while (it.hasNext()) {
        const auto m = it.next();
        if (!allowed.contains(m.captured(2).toLower()) || handler.match(m.captured(3)).hasMatch()
            || scheme.match(m.captured(3)).hasMatch())
            return m.captured();
    }
    return {};
}

} // namespace

class tst_MarkdownToHTML : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QVERIFY(MarkdownToHTML::hasLibrary()); }

    void blockedElementsDisappear_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QString>("gone");
        QTest::newRow("script") << "a\n\n<script>alert(1)</script>\n\nb" << "alert";
        QTest::newRow("script upper case") << "<SCRIPT type=x>alert(1)</SCRIPT>" << "alert";
        QTest::newRow("style") << "<style>body{display:none}</style>" << "display";
        QTest::newRow("iframe") << "<iframe src=\"http://x\">inner</iframe>" << "inner";
        QTest::newRow("object") << "<object data=\"x.swf\">fallback</object>" << "fallback";
        QTest::newRow("embed") << "<EMBED src=\"x.swf\">in</embed>" << "x.swf";
        QTest::newRow("link") << "<LINK rel=stylesheet href=\"http://x/a.css\">" << "a.css";
        QTest::newRow("meta") << "<meta http-equiv=\"refresh\" content=\"0;url=http://evil\">" << "evil";
    }

    void blockedElementsDisappear()
    {
        QFETCH(QString, markdown);
        QFETCH(QString, gone);
        const QString html = MarkdownToHTML::renderedBodyHTML(markdown);
        QVERIFY2(!html.contains(gone, Qt::CaseInsensitive), qPrintable(html));
    }

    void scriptAddressesBecomeHash_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QString>("expected");
        QTest::newRow("quoted href") << "<a href=\"javascript:alert(1)\">x</a>" << "<a href=\"#\">x</a>";
        QTest::newRow("unquoted href, mixed case") << "<a href=JaVaScRiPt:alert(1)>x</a>" << "<a href=\"#\">x</a>";
        QTest::newRow("vbscript") << "<a href='vbscript:msgbox(1)'>x</a>" << "<a href=\"#\">x</a>";
        QTest::newRow("data html in src") << "<img src=\"data:text/html;base64,PHNjcmlwdD4=\">" << "<img src=\"#\">";
        QTest::newRow("entity-encoded scheme") << "<a href=\"jav&#x61;script&colon;alert(1)\">x</a>" << "<a href=\"#\">x</a>";
        QTest::newRow("tab inside scheme") << "<a href=\"java&Tab;script:alert(1)\">x</a>" << "<a href=\"#\">x</a>";
        QTest::newRow("markdown link") << "[x](javascript:alert(1))" << "<a href=\"#\">x</a>";
        QTest::newRow("markdown image") << "![x](javascript:alert(1))" << "<img src=\"#\" alt=\"x\">";
        // Marked 15 leaves the ampersand bare, later releases write &amp;: both mean the same address.
        QTest::newRow("http stays") << "[x](https://example.org/a?b=1&c=2)" << "<a href=\"https://example.org/a?b=1&";
        QTest::newRow("relative stays") << "![i](images/a:b.png)" << "<img src=\"images/a:b.png\" alt=\"i\">";
        QTest::newRow("data image stays") << "<img src=\"data:image/png;base64,AAAA\">" << "<img src=\"data:image/png;base64,AAAA\">";
    }

    void scriptAddressesBecomeHash()
    {
        QFETCH(QString, markdown);
        QFETCH(QString, expected);
        const QString html = MarkdownToHTML::renderedBodyHTML(markdown);
        QVERIFY2(html.contains(expected), qPrintable(html));
    }

    // Handlers go as whole attributes; values beside them that only look
    // like handlers stay whole.
    void eventHandlersLeaveTheTag_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QString>("expected");
        QTest::newRow("handler between attributes")
            << "<img src=\"a.png\" onerror=\"alert(1)\" alt=\"x\">" << "<img src=\"a.png\" alt=\"x\">";
        QTest::newRow("after a value holding on-text")
            << "<img src=\"a.png\" alt=\"x online=1\" onerror=\"alert(1)\">" << "<img src=\"a.png\" alt=\"x online=1\">";
        QTest::newRow("after a value holding >")
            << "<img src=\"a.png\" alt=\"a > b onload=c\" onerror=alert(1)>" << "<img src=\"a.png\" alt=\"a > b onload=c\">";
        QTest::newRow("single quotes")
            << "<img src='a.png' title='t onclick=x' onmouseover='alert(1)'>" << "<img src=\"a.png\" title=\"t onclick=x\">";
    }

    void eventHandlersLeaveTheTag()
    {
        QFETCH(QString, markdown);
        QFETCH(QString, expected);
        const QString html = MarkdownToHTML::renderedBodyHTML(markdown);
        QVERIFY2(html.contains(expected), qPrintable(html));
        QVERIFY2(!html.contains(QLatin1String("alert")), qPrintable(html));
    }

    // Every known class of script vector comes out with no tag that could run anything.
    void xssVectorsAreDisarmed_data()
    {
        QTest::addColumn<QString>("markdown");
        const char *vectors[] = {
            "<script>alert(1)</script>",
            "<script src=\"http://evil/x.js\"></script>",
            "<scr<script>ipt>alert(1)</script>",
            "<scr<style></style>ipt>alert(1)</script>",
            "<li<style>x</style>nk rel=stylesheet href=\"http://evil/x.css\">",
            "<ScRiPt>alert(1)</sCrIpT>",
            "<style>@import 'http://evil';</style>",
            "<img src=x onerror=alert(1)>",
            "<img src=x/onerror=alert(1)>",
            "<img src=x\nonerror\n=\nalert(1)>",
            "<img src=\"x\"onerror=\"alert(1)\">",
            "<svg/onload=alert(1)>",
            "<svg><script>alert(1)</script></svg>",
            "<svg><a xlink:href=\"javascript:alert(1)\"><text>x</text></a></svg>",
            "<math><mtext><img src=x onerror=alert(1)></mtext></math>",
            "<a href=\"&#106;avascript:alert(1)\">x</a>",
            "<a href=\"&#x6A;&#x61;&#x76;&#x61;&#x73;&#x63;&#x72;&#x69;&#x70;&#x74;&#x3A;alert(1)\">x</a>",
            "<a href=\"JAVASCRIPT:alert(1)\">x</a>",
            "<a href=\" \x01javascript:alert(1)\">x</a>",
            "<a href=\"data:text/html,<script>alert(1)</script>\">x</a>",
            "<iframe src=\"data:text/html,<script>alert(1)</script>\"></iframe>",
            "<a href=\"vbscript:msgbox(1)\">x</a>",
            "<form action=\"javascript:alert(1)\"><button>go</button></form>",
            "<form><button formaction=\"javascript:alert(1)\">go</button></form>",
            "<input type=\"image\" src=x onerror=alert(1)>",
            "<base href=\"javascript:alert(1)//\">",
            "<meta http-equiv=\"refresh\" content=\"0;url=javascript:alert(1)\">",
            "<embed src=\"data:text/html,<script>alert(1)</script>\">",
            "<object data=\"javascript:alert(1)\">",
            "<details open ontoggle=alert(1)>",
            "<body onload=alert(1)>",
            "<div style=\"x\" onmouseover=\"alert(1)\">hover</div>",
            "<img src=x onerror=alert(1)",
            "<a href=\"x\" title=\"a>b\" onclick=\"alert(1)\">y</a>",
            "<textarea><img src=x onerror=alert(1)></textarea>",
            "<noscript><p title=\"</noscript><img src=x onerror=alert(1)>\"></noscript>",
            "<template><img src=x onerror=alert(1)></template>",
            "<!--><img src=x onerror=alert(1)>-->",
            "[x](javascript:alert(1))",
            "[x](JaVaScRiPt:alert(1))",
            "![y](javascript:alert(1))",
            "[x](&#106;avascript:alert(1))",
            "<video><source onerror=\"alert(1)\"></video>",
            "<isindex type=image src=1 onerror=alert(1)>",
            "<a href=javascript&colon;alert(1)>x</a>",
        };
        for (const char *vector : vectors)
            QTest::newRow(vector) << QString::fromLatin1(vector);
    }

    void xssVectorsAreDisarmed()
    {
        QFETCH(QString, markdown);
        const QString html = MarkdownToHTML::renderedBodyHTML(markdown);
        const QString bad = unsafeTag(html);
        QVERIFY2(bad.isEmpty(), qPrintable(bad + QStringLiteral(" in ") + html));
        // A second pass finds nothing more to change.
        QCOMPARE(HTMLSanitizer::clean(html), html);
    }

    void textIsNotDamaged_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QString>("expected");
        QTest::newRow("prose") << "count one = 1 and online = true" << "<p>count one = 1 and online = true</p>\n";
        QTest::newRow("code block") << "```js\nif (a) onload = init;\n```"
                                    << "<pre><code class=\"language-js\">if (a) onload = init;\n</code></pre>\n";
        QTest::newRow("inline code") << "`x.onclick = go; href=javascript:void(0)`"
                                     << "<p><code>x.onclick = go; href=javascript:void(0)</code></p>\n";
        QTest::newRow("comparison") << "a < b and c > d" << "<p>a &lt; b and c &gt; d</p>\n";
        QTest::newRow("task list") << "- [x] done" << "<ul>\n<li><input checked=\"\" disabled=\"\" type=\"checkbox\"> done</li>\n</ul>\n";
        QTest::newRow("table alignment") << "| a |\n|:-:|\n| b |"
                                         << "<table>\n<thead>\n<tr>\n<th align=\"center\">a</th>\n</tr>\n</thead>\n<tbody><tr>\n<td align=\"center\">b</td>\n</tr>\n</tbody></table>\n";
        QTest::newRow("table alignment per column")
            << "| l | r | c | d |\n|:--|--:|:-:|---|\n| 1 | 2 | 3 | 4 |"
            << "<table>\n<thead>\n<tr>\n<th align=\"left\">l</th>\n<th align=\"right\">r</th>\n<th align=\"center\">c</th>\n<th>d</th>\n</tr>\n</thead>\n"
               "<tbody><tr>\n<td align=\"left\">1</td>\n<td align=\"right\">2</td>\n<td align=\"center\">3</td>\n<td>4</td>\n</tr>\n</tbody></table>\n";
        // Text inside quoted attribute values that merely looks like a handler.
        QTest::newRow("image alt with on-text")
            << "![Set online=true](s.png)\n\nNext paragraph.\n\n[link](https://example.org/a)"
            << "<p><img src=\"s.png\" alt=\"Set online=true\"></p>\n<p>Next paragraph.</p>\n<p><a href=\"https://example.org/a\">link</a></p>\n";
        QTest::newRow("link title with onload=")
            << "[t](https://example.org \"x onload=go()\")\n\nafter [l](https://example.org/b)"
            << "<p><a href=\"https://example.org\" title=\"x onload=go()\">t</a></p>\n<p>after <a href=\"https://example.org/b\">l</a></p>\n";
        QTest::newRow("image title with onerror=")
            << "![pic](s.png \"a onerror=b\") and [l](https://example.org/c)"
            << "<p><img src=\"s.png\" alt=\"pic\" title=\"a onerror=b\"> and <a href=\"https://example.org/c\">l</a></p>\n";
        QTest::newRow("single-quoted value")
            << "<abbr title='ping onmouseover=x'>P</abbr> and [l](https://example.org/d)"
            << "<p><abbr title=\"ping onmouseover=x\">P</abbr> and <a href=\"https://example.org/d\">l</a></p>\n";
        QTest::newRow("quote inside the other quotes")
            << "![it's online='yes'](s.png)\n\nkept"
            << "<p><img src=\"s.png\" alt=\"it's online='yes'\"></p>\n<p>kept</p>\n";
        QTest::newRow("> inside a quoted value")
            << "![a online=1 > b](s.png)\n\n[l](https://example.org/e)"
            << "<p><img src=\"s.png\" alt=\"a online=1 > b\"></p>\n<p><a href=\"https://example.org/e\">l</a></p>\n";
        QTest::newRow("address-like text in a title")
            << "[t](https://example.org \"see src=javascript:x\")"
            << "<p><a href=\"https://example.org\" title=\"see src=javascript:x\">t</a></p>\n";
    }

    void textIsNotDamaged()
    {
        QFETCH(QString, markdown);
        QFETCH(QString, expected);
        QCOMPARE(MarkdownToHTML::renderedBodyHTML(markdown), expected);
    }

    void footnotes_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        QTest::newRow("numbered by first reference")
            << "x[^a] y[^b] z[^a]\n\n[^a]: Alpha note\n[^b]: Beta note"
            << QStringList{"<a id=\"fnref-1\" href=\"#fn-1\">1</a></sup> y<sup class=\"footnote-ref\"><a id=\"fnref-2\" href=\"#fn-2\">2</a></sup> z<sup class=\"footnote-ref\"><a id=\"fnref-1\" href=\"#fn-1\">1</a>",
                           "<ol>\n<li id=\"fn-1\">Alpha note <a href=\"#fnref-1\" class=\"footnote-backref\">\u21a9</a></li>\n<li id=\"fn-2\">Beta note"}
            << QStringList{"[^a]:", "[^b]:", "id=\"fn-3\""};
        QTest::newRow("reference without definition gets an empty item")
            << "x[^ghost]" << QStringList{"<li id=\"fn-1\"> <a href=\"#fnref-1\""} << QStringList{};
        QTest::newRow("unreferenced definition does not appear")
            << "plain\n\n[^lonely]: never used" << QStringList{"<p>plain</p>"} << QStringList{"footnotes", "never used"};
        QTest::newRow("id with whitespace is no reference")
            << "x[^a b]" << QStringList{"[^a b]"} << QStringList{"footnote-ref"};
        QTest::newRow("definition with inline markdown")
            << "x[^n]\n\n[^n]: *em* and `code`" << QStringList{"<li id=\"fn-1\"><em>em</em> and <code>code</code> "} << QStringList{};
        QTest::newRow("state does not leak into the next render")
            << "no notes here" << QStringList{"<p>no notes here</p>"} << QStringList{"footnotes"};
    }

    void footnotes()
    {
        QFETCH(QString, markdown);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        const QString html = MarkdownToHTML::renderedBodyHTML(markdown);
        for (const QString &p : present)
            QVERIFY2(html.contains(p), qPrintable(p + QStringLiteral("\n--- in ---\n") + html));
        for (const QString &a : absent)
            QVERIFY2(!html.contains(a), qPrintable(a + QStringLiteral("\n--- in ---\n") + html));
    }

    void mermaidBlocks_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QString>("expected");
        QTest::newRow("diagram") << "```mermaid\ngraph TD;\nA-->B;\n```"
                                 << "<div class=\"mermaid\">graph TD;\nA--&gt;B;\n</div>\n";
        QTest::newRow("other language") << "```python\nx = 1\n```"
                                        << "<pre><code class=\"language-python\">x = 1\n</code></pre>\n";
        QTest::newRow("two diagrams") << "```mermaid\na\n```\n\n```mermaid\nb\n```"
                                      << "<div class=\"mermaid\">a\n</div>\n<div class=\"mermaid\">b\n</div>\n";
    }

    void mermaidBlocks()
    {
        QFETCH(QString, markdown);
        QFETCH(QString, expected);
        QCOMPARE(MarkdownToHTML::renderedBodyHTML(markdown), expected);
    }

    // Math reaches the page as written: Markdown must not read escapes,
    // emphasis or line breaks inside it, and dollars that are no math stay text.
    void mathIsKeptFromMarkdown_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QString>("expected");
        QTest::newRow("thin space") << "$a\\,b$" << "<p><span class=\"math math-inline\">$a\\,b$</span></p>\n";
        QTest::newRow("escaped braces") << "$\\{a, b\\}$" << "<p><span class=\"math math-inline\">$\\{a, b\\}$</span></p>\n";
        QTest::newRow("underscores are no emphasis")
            << "$a_1 + b_2$ and _x_" << "<p><span class=\"math math-inline\">$a_1 + b_2$</span> and <em>x</em></p>\n";
        QTest::newRow("star inside math closes no emphasis")
            << "*a $b*c$ d*" << "<p><em>a <span class=\"math math-inline\">$b*c$</span> d</em></p>\n";
        QTest::newRow("html specials escaped once")
            << "$a<b & c>d$" << "<p><span class=\"math math-inline\">$a&lt;b &amp; c&gt;d$</span></p>\n";
        QTest::newRow("prices are no math") << "it costs $5 and $10" << "<p>it costs $5 and $10</p>\n";
        QTest::newRow("space after the opening") << "$ x$" << "<p>$ x$</p>\n";
        QTest::newRow("space before the closing") << "$x $" << "<p>$x $</p>\n";
        QTest::newRow("digit after the closing") << "$x$5" << "<p>$x$5</p>\n";
        QTest::newRow("escaped dollar is literal") << "a \\$x$ b" << "<p>a $x$ b</p>\n";
        QTest::newRow("escaped dollar inside math")
            << "$a\\$b$" << "<p><span class=\"math math-inline\">$a\\$b$</span></p>\n";
        QTest::newRow("single character") << "$x$" << "<p><span class=\"math math-inline\">$x$</span></p>\n";
        QTest::newRow("display inline in a paragraph")
            << "see $$x^2$$ here" << "<p>see <span class=\"math math-display\">$$x^2$$</span> here</p>\n";
        QTest::newRow("display block over lines keeps its line breaks")
            << "$$\n\\begin{aligned}\na &= b \\\\\n- c &= d\n\\end{aligned}\n$$\n\nafter"
            << "<div class=\"math math-display\">$$\n\\begin{aligned}\na &amp;= b \\\\\n- c &amp;= d\n\\end{aligned}\n$$</div>\n<p>after</p>\n";
        QTest::newRow("display block on one line")
            << "$$\\{a, b\\}$$" << "<div class=\"math math-display\">$$\\{a, b\\}$$</div>\n";
        QTest::newRow("code span is no math") << "`$x$` and $y$"
                                              << "<p><code>$x$</code> and <span class=\"math math-inline\">$y$</span></p>\n";
        QTest::newRow("fenced code is no math") << "```\n$x$\n```" << "<pre><code>$x$\n</code></pre>\n";
        QTest::newRow("tilde fence is no math") << "~~~\n$$x$$\n~~~" << "<pre><code>$$x$$\n</code></pre>\n";
        QTest::newRow("indented code is no math") << "    $x$ \\," << "<pre><code>$x$ \\,\n</code></pre>\n";
        QTest::newRow("unclosed display") << "$$ a" << "<p>$$ a</p>\n";
        QTest::newRow("blank line ends a display block") << "$$\na\n\nb\n$$" << "<p>$$\na</p>\n<p>b\n$$</p>\n";
    }

    void mathIsKeptFromMarkdown()
    {
        QFETCH(QString, markdown);
        QFETCH(QString, expected);
        QCOMPARE(MarkdownToHTML::renderedBodyHTML(markdown), expected);
    }

    void containsMath_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("one dollar") << "costs $5" << false;
        QTest::newRow("two dollars") << "$a$ and b" << true;
        QTest::newRow("two separate dollars") << "$5 and $6" << true;
        QTest::newRow("paren") << "see \\(x\\)" << true;
        QTest::newRow("bracket") << "\\[x" << true;
        QTest::newRow("only double dollar") << "$$" << true;
        QTest::newRow("none") << "plain text" << false;
        QTest::newRow("dollar with combining mark is another character") << QString::fromUtf8("$\u0301 and $") << false;
    }

    void containsMath()
    {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(MarkdownToHTML::containsMath(text), expected);
    }

    void parseOutline_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<OutlineEntry>>("expected");
        QTest::newRow("first line") << "# Hello\nbody" << QList<OutlineEntry>{{1, "Hello", 0, 7}};
        QTest::newRow("seven hashes") << "####### no" << QList<OutlineEntry>{};
        QTest::newRow("no space") << "#word" << QList<OutlineEntry>{};
        QTest::newRow("closing hashes stay") << "## Title ##" << QList<OutlineEntry>{{2, "Title ##", 0, 11}};
        QTest::newRow("inside fence is listed") << "```\n# code\n```" << QList<OutlineEntry>{{1, "code", 4, 6}};
        QTest::newRow("line break as separator") << "#\nNext line" << QList<OutlineEntry>{{1, "Next line", 0, 11}};
        QTest::newRow("indented is not a heading") << " # x" << QList<OutlineEntry>{};
        QTest::newRow("trailing spaces trimmed") << "### a b \t\n" << QList<OutlineEntry>{{3, "a b", 0, 9}};
        QTest::newRow("utf-16 offsets") << QString::fromUtf8("😀\n## Ü") << QList<OutlineEntry>{{2, QString::fromUtf8("Ü"), 3, 4}};
        QTest::newRow("crlf") << "# A\r\n# B" << QList<OutlineEntry>{{1, "A", 0, 3}, {1, "B", 5, 3}};
    }

    void parseOutline()
    {
        QFETCH(QString, text);
        QFETCH(QList<OutlineEntry>, expected);
        const QList<OutlineEntry> actual = MarkdownToHTML::parseOutline(text);
        QCOMPARE(actual.size(), expected.size());
        for (qsizetype i = 0; i < actual.size(); ++i) {
            QCOMPARE(actual[i].level, expected[i].level);
            QCOMPARE(actual[i].title, expected[i].title);
            QCOMPARE(actual[i].location, expected[i].location);
            QCOMPARE(actual[i].length, expected[i].length);
        }
    }

    // A long text renders block by block with each block's HTML kept; the result
    // must be the whole render's, byte for byte, whatever sits at the cuts.
    void blockwiseRenderEqualsWhole_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<bool>("splits");
        // Each unit is repeated past the size where splitting starts.
        QTest::newRow("sections") << QStringLiteral("# Title\n\nText *em* and `code`.\n\n## Sub\n\n- a\n- b\n\n") << true;
        QTest::newRow("heading-in-fence")
            << QStringLiteral("Intro.\n\n```sh\necho\n\n# not a heading\n```\n\n# Real\n\nText.\n\n") << true;
        QTest::newRow("heading-in-tilde-fence-longer-close")
            << QStringLiteral("~~~~\ncode\n\n# inside\n~~~\nstill code\n~~~~~\n\n# After\n\n") << true;
        QTest::newRow("heading-in-display-math")
            << QStringLiteral("Formula:\n\n$$\na = b\n\n# c\n$$\n\n# Next\n\n") << true;
        QTest::newRow("loose-list-then-heading")
            << QStringLiteral("- one\n\n- two\n\n  more\n\n# H\n\n1. a\n2. b\n\n") << true;
        QTest::newRow("quote-table-setext")
            << QStringLiteral("> quoted\n> lines\n\n# H\n\n| a | b |\n|---|--:|\n| 1 | 2 |\n\nSetext\n===\n\n") << true;
        QTest::newRow("mermaid-and-html-div")
            << QStringLiteral("# D\n\n```mermaid\ngraph LR\nA-->B\n```\n\n<div class=\"note\">\n*x*\n</div>\n\n") << true;
        QTest::newRow("hash-words-and-crlf")
            << QStringLiteral("#tag line\r\n\r\n# Heading\r\ntext\r\n\r\n####### seven\r\n\r\n") << true;
        QTest::newRow("indented-heading-is-code")
            << QStringLiteral("para\n\n    # code\n\n# H\n\n") << true;
        QTest::newRow("footnote-definitions-only")
            << QStringLiteral("# H\n\nText.\n[^a]: unused note\n\n[^b]: another\n\n") << true;
        QTest::newRow("brackets-and-colons-in-text")
            << QStringLiteral("# H\n\nArray a[i]: the first. Use `[x]: y` here.\n\n") << true;
        QTest::newRow("reference-in-quote") << QStringLiteral("# H\n\nSee [x].\n\n> [x]: https://example.com\n\n") << false;
        QTest::newRow("reference-in-list") << QStringLiteral("# H\n\nSee [y].\n\n1. [y]: https://example.com\n\n") << false;
        QTest::newRow("reference-links") << QStringLiteral("# H\n\nSee [x][r].\n\n[r]: https://example.com\n\n") << false;
        // Footnotes are numbered by first use over the whole text and listed once at its end.
        QTest::newRow("footnotes") << QStringLiteral("# H\n\nNote[^1].\n\n[^1]: The note.\n\n") << true;
        QTest::newRow("footnotes-across-blocks")
            << QStringLiteral("# A\n\nSee[^b] and[^a], again[^b].\n\n# B\n\nThen[^c][^a] and `[^code]`.\n\n"
                              "[^a]: *First* note.\n[^b]: Second, with [a link](https://example.com).\n\n")
            << true;
        QTest::newRow("footnote-undefined-and-redefined")
            << QStringLiteral("# A\n\nMissing[^none], kept[^k].\n\n[^k]: old\n\n# B\n\n[^k]: new\n\n") << true;
        QTest::newRow("footnote-crlf-and-in-fence")
            << QStringLiteral("# A\r\n\r\nRef[^r].\r\n[^r]: crlf note\r\n\r\n# F\n\n```\n[^r]: in code\n[^q]\n```\n\n") << true;
        QTest::newRow("comment-spans-blank-lines") << QStringLiteral("<!--\n\n# hidden\n\n-->\n\n# H\n\n") << false;
        QTest::newRow("script-spans-blank-lines") << QStringLiteral("<script>\n\n# x\n\n</script>\n\n# H\n\n") << false;
    }

    void blockwiseRenderEqualsWhole()
    {
        QFETCH(QString, unit);
        QFETCH(bool, splits);
        QString text;
        for (int i = 0; text.size() < 40 * 1024; ++i)
            text += unit + QStringLiteral("Paragraph %1.\n\n").arg(i);
        QCOMPARE(MarkdownToHTML::independentBlocks(text).size() > 1, splits);
        const QString whole = MarkdownToHTML::wholeBodyHTML(text);
        QCOMPARE(MarkdownToHTML::renderedBodyHTML(text), whole);
        // Again, now from the kept blocks.
        QCOMPARE(MarkdownToHTML::renderedBodyHTML(text), whole);
    }

    // The generated benchmark documents, and an edit in the middle of one: only
    // the touched block is new, the rest comes from the kept blocks.
    void blockwiseRenderOfLongDocuments_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("document") << corpus::document(300 * 1024);
        QTest::newRow("document-without-footnote-references")
            << corpus::document(300 * 1024).replace(QStringLiteral("[^n"), QStringLiteral("(n"));
        QTest::newRow("deep-lists") << corpus::stress(corpus::Stress::DeepLists, 200 * 1024);
        QTest::newRow("many-quotes") << corpus::stress(corpus::Stress::ManyQuotes, 200 * 1024);
        QTest::newRow("setext-headings") << corpus::stress(corpus::Stress::SetextHeadings, 200 * 1024);
        QTest::newRow("big-table") << corpus::stress(corpus::Stress::BigTable, 200 * 1024);
    }

    void blockwiseRenderOfLongDocuments()
    {
        QFETCH(QString, text);
        QCOMPARE(MarkdownToHTML::renderedBodyHTML(text), MarkdownToHTML::wholeBodyHTML(text));
        const qsizetype middle = text.indexOf(QLatin1Char(' '), text.size() / 2);
        QVERIFY(middle > 0);
        text.insert(middle, QStringLiteral(" inserted"));
        QCOMPARE(MarkdownToHTML::renderedBodyHTML(text), MarkdownToHTML::wholeBodyHTML(text));
    }

    void previewThemeRawValues()
    {
        QCOMPARE(allPreviewThemes(), (QList<PreviewTheme>{PreviewTheme::Standard, PreviewTheme::GitHub, PreviewTheme::Serif}));
        for (PreviewTheme theme : allPreviewThemes())
            QCOMPARE(previewThemeFromRawValue(previewThemeRawValue(theme)), theme);
        QCOMPARE(previewThemeRawValue(PreviewTheme::Standard), QStringLiteral("Default"));
        QVERIFY(!previewThemeFromRawValue(QStringLiteral("github")));
        QVERIFY(!previewThemeFromRawValue(QStringLiteral("Standard")));
    }
};

SORVANE_TEST_MAIN(tst_MarkdownToHTML)
#include "tst_MarkdownToHTML.moc"
