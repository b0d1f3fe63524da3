#include "WebEngineTest.h"
#include "preview/MarkdownPreview.h"
#include "render/MarkdownToHTML.h"

#include <QJsonArray>
#include <QJsonDocument>

// The preview replaces only the part of the page an edit touched. After every
// update the page must read exactly as a full replacement followed by a full
// math and diagram pass would: a second page, filled that way, is the judge.
namespace {

const char *const kBase =
    "# Title\n\n"
    "First paragraph with $a^2 + b^2$ inline.\n\n"
    "- [ ] open task\n"
    "- [x] done task\n\n"
    "```mermaid\nflowchart LR\n  A --> B\n```\n\n"
    "Middle paragraph with a note.[^1]\n\n"
    "$$\n\\int_0^1 x\\,dx\n$$\n\n"
    "| A | B |\n|---|---|\n| 1 | 2 |\n\n"
    "```\ncode <kept>\n```\n\n"
    "Last paragraph.\n\n"
    "[^1]: The note.\n";

QString base()
{
    return QString::fromUtf8(kBase);
}

QString edited(const char *from, const char *to)
{
    QString text = base();
    Q_ASSERT(text.contains(QString::fromUtf8(from)));
    return text.replace(QString::fromUtf8(from), QString::fromUtf8(to));
}

// The content with diagram ids (drawn from the clock) made comparable.
const char *const kDump = R"((function () {
    return document.getElementById('content').innerHTML.replace(/mermaid-\d+/g, 'mermaid-N');
})())";

const char *const kDiagramsDrawn = R"((function () {
    var all = document.querySelectorAll('#content .mermaid');
    for (var i = 0; i < all.length; i++)
        if (!all[i].querySelector('svg')) return false;
    return true;
})())";

// Long enough that a fill into an empty page shows its later blocks, with
// their formulas and a diagram, only once the page is idle.
QString longDocument()
{
    QString markdown = QStringLiteral("# Title\n\n");
    for (int i = 0; i < 500; ++i) {
        markdown += QStringLiteral("Paragraph %1 with $x_{%1}$ in it.\n\n").arg(i);
        if (i == 440)
            markdown += QStringLiteral("```mermaid\nflowchart LR\n  A --> B\n```\n\n");
        if (i == 450)
            markdown += QStringLiteral("$$\n\\int_0^{450} x\\,dx\n$$\n\n");
    }
    return markdown;
}

// Hands a fragment straight to the page, as the preview's first push does.
QString updateScript(const QString &html)
{
    return QStringLiteral("updateContent('%1');").arg(QString::fromLatin1(html.toUtf8().toBase64()));
}

} // namespace

class tst_PreviewUpdates : public QObject
{
    Q_OBJECT

    std::unique_ptr<MarkdownPreview> loaded()
    {
        auto preview = std::make_unique<MarkdownPreview>();
        preview->resize(800, 600);
        preview->show();
        if (!QTest::qWaitFor([&] { return preview->isPageLoaded(); }, 60000))
            return nullptr;
        // Pages that are handed fragments directly get the diagram library the
        // preview runs with its first diagram.
        runScript(preview->page(), MarkdownToHTML::diagramLibraryScript() + QStringLiteral(";true"));
        return preview;
    }

    // Through the real path: debounce, Base64 push, page-side update. The
    // fragment already on show is not sent again.
    static bool push(MarkdownPreview *preview, const QString &html)
    {
        QSignalSpy pushed(preview, &MarkdownPreview::contentPushed);
        const bool same = preview->property("lastFragment").toString() == html
            && preview->property("lastFragment").isValid();
        preview->setProperty("lastFragment", html);
        preview->setBodyHTML(html);
        if (!same && !pushed.wait(5000))
            return false;
        return waitForScript(preview->page(), QString::fromLatin1(kDiagramsDrawn));
    }

    // What a full replacement and a full rendering pass show.
    static QString reference(MarkdownPreview *page, const QString &html)
    {
        runScript(page->page(), QStringLiteral("document.getElementById('content').innerHTML = %1; "
                                               "window.__sorvaneRenderRichContent(); true")
                                    .arg(jsString(html)));
        if (!waitForScript(page->page(), QString::fromLatin1(kDiagramsDrawn)))
            return QStringLiteral("diagrams not drawn");
        return runScript(page->page(), QString::fromLatin1(kDump)).toString();
    }

    // Shared by the rows: each starts from where the one before left the page.
    std::unique_ptr<MarkdownPreview> m_preview;
    std::unique_ptr<MarkdownPreview> m_judge;
    // Driven through the page's own functions only.
    std::unique_ptr<MarkdownPreview> m_direct;

private Q_SLOTS:
    void initTestCase()
    {
        m_preview = loaded();
        m_judge = loaded();
        m_direct = loaded();
        QVERIFY(m_preview && m_judge && m_direct);
    }

    void cleanupTestCase()
    {
        m_preview.reset();
        m_judge.reset();
        m_direct.reset();
    }

    void matchesAFullRender_data()
    {
        QTest::addColumn<QStringList>("fragments");
        const auto rendered = [](const QStringList &documents) {
            QStringList out;
            for (const QString &document : documents)
                out.append(MarkdownToHTML::renderedBodyHTML(document));
            return out;
        };
        const QString b = base();
        QTest::newRow("insert block") << rendered({b, edited("Last paragraph.", "New block.\n\nLast paragraph.")});
        QTest::newRow("delete block") << rendered({b, edited("- [ ] open task\n- [x] done task\n\n", "")});
        QTest::newRow("edit middle") << rendered({b, edited("Middle paragraph", "Middle changed paragraph")});
        QTest::newRow("edit first") << rendered({b, edited("# Title", "# Another title")});
        QTest::newRow("edit last") << rendered({b, edited("Last paragraph.", "Last words.")});
        QTest::newRow("math edit") << rendered({b, edited("\\int_0^1 x", "\\int_0^2 y"), edited("$a^2 + b^2$", "$c^2$")});
        QTest::newRow("mermaid edit") << rendered({b, edited("A --> B", "A --> C")});
        QTest::newRow("footnote edit") << rendered({b, edited("[^1]: The note.", "[^1]: Another note.")});
        QTest::newRow("footnote added")
            << rendered({b, edited("Last paragraph.", "Last paragraph.[^2]\n\n[^2]: Second.")});
        QTest::newRow("all removed") << rendered({b, QString(), b});
        QTest::newRow("empty document") << rendered({QString(), QStringLiteral("Only text.\n")});
        QTest::newRow("many edits") << rendered({b, edited("First paragraph", "1st paragraph"),
                                                 edited("Middle paragraph", "Centre paragraph"),
                                                 edited("# Title", "## Title"), b});

        // Fragments whose pieces do not stand alone: what an earlier piece
        // leaves open changes how the later ones read.
        const QString two = QStringLiteral("<p>a</p>\n<p>b $x$</p>\n<p>c</p>\n");
        QTest::newRow("text before first block")
            << QStringList{two, QStringLiteral("plain <b>raw</b> text $y$\n<p>then</p>\n") + two};
        QTest::newRow("unclosed element above kept blocks")
            << QStringList{two, QStringLiteral("<div>\n") + two, QStringLiteral("<div>\n") + two + QStringLiteral("<p>d</p>\n"), two};
        QTest::newRow("formatting left open")
            << QStringList{two, QStringLiteral("<p><b>a</p>\n<p>b $x$</p>\n<p>c</p>\n"), two};
        QTest::newRow("unclosed comment")
            << QStringList{two, QStringLiteral("<p>a</p>\n<!-- \n<p>b $x$</p>\n<p>c</p>\n"), two};
        QTest::newRow("form left open")
            << QStringList{QStringLiteral("<p>a</p>\n<form><input></form>\n<p>c</p>\n"),
                           QStringLiteral("<div><form></div>\n<p>a</p>\n<form><input></form>\n<p>c</p>\n")};
        QTest::newRow("list and table parts")
            << QStringList{QStringLiteral("<ul>\n<li>one</li>\n<li>two</li>\n</ul>\n<table>\n<tr><td>1</td></tr>\n</table>\n"),
                           QStringLiteral("<ul>\n<li>one</li>\n<li>2</li>\n</ul>\n<table>\n<tr><td>1</td></tr>\n</table>\n")};
        QTest::newRow("raw text element")
            << QStringList{two, QStringLiteral("<textarea>\n") + two, two};
    }

    void matchesAFullRender()
    {
        QFETCH(QStringList, fragments);
        MarkdownPreview *preview = m_preview.get();
        MarkdownPreview *judge = m_judge.get();
        for (int i = 0; i < fragments.size(); ++i) {
            const QString &html = fragments.at(i);
            QVERIFY2(push(preview, html), qPrintable(QStringLiteral("step %1").arg(i)));
            const QString shown = runScript(preview->page(), QString::fromLatin1(kDump)).toString();
            QCOMPARE(shown, reference(judge, html));
        }
    }

    // Blocks an edit did not touch are the same nodes afterwards (the marks
    // the test puts on them survive); the touched one is new.
    void untouchedBlocksKeepTheirNodes()
    {
        auto preview = loaded();
        QVERIFY(preview);
        QVERIFY(push(preview.get(), MarkdownToHTML::renderedBodyHTML(base())));
        QWebEnginePage *page = preview->page();
        runScript(page, QStringLiteral(
            "document.querySelector('#content h1').__mark = 'h1';"
            "document.querySelector('#content .mermaid').__mark = 'diagram';"
            "document.querySelector('#content .footnotes').__mark = 'notes';"
            "document.querySelector('#content ul').__mark = 'tasks';"
            "Array.from(document.querySelectorAll('#content p')).find(p => p.textContent.indexOf('Middle') === 0).__mark = 'middle'; true"));

        QVERIFY(push(preview.get(), MarkdownToHTML::renderedBodyHTML(edited("Middle paragraph", "Middle edited paragraph"))));
        QCOMPARE(runScript(page, QStringLiteral("document.querySelector('#content h1').__mark")).toString(), QStringLiteral("h1"));
        QCOMPARE(runScript(page, QStringLiteral("document.querySelector('#content .mermaid').__mark")).toString(), QStringLiteral("diagram"));
        QCOMPARE(runScript(page, QStringLiteral("document.querySelector('#content .footnotes').__mark")).toString(), QStringLiteral("notes"));
        QCOMPARE(runScript(page, QStringLiteral("document.querySelector('#content ul').__mark")).toString(), QStringLiteral("tasks"));
        QVERIFY(runScript(page, QStringLiteral(
            "Array.from(document.querySelectorAll('#content p')).find(p => p.textContent.indexOf('Middle edited') === 0).__mark === undefined")).toBool());

        // An edit in the first block leaves the notes at the end alone.
        QVERIFY(push(preview.get(), MarkdownToHTML::renderedBodyHTML(edited("# Title", "# Retitled"))));
        QCOMPARE(runScript(page, QStringLiteral("document.querySelector('#content .footnotes').__mark")).toString(), QStringLiteral("notes"));
        QVERIFY(runScript(page, QStringLiteral("document.querySelector('#content h1').__mark === undefined")).toBool());
    }

    // A new scheme redraws the diagrams at the next update, even those in
    // blocks the update kept, as a full replacement would.
    void schemeChangeRedrawsKeptDiagrams()
    {
        auto preview = loaded();
        auto judge = loaded();
        QVERIFY(preview && judge);
        QVERIFY(push(preview.get(), MarkdownToHTML::renderedBodyHTML(base())));
        preview->setColorScheme(QStringLiteral("dark"));
        judge->setColorScheme(QStringLiteral("dark"));
        const QString html = MarkdownToHTML::renderedBodyHTML(edited("Last paragraph.", "Last words."));
        QVERIFY(push(preview.get(), html));
        QCOMPARE(runScript(preview->page(), QString::fromLatin1(kDump)).toString(), reference(judge.get(), html));
        const QString fill = runScript(preview->page(), QStringLiteral(
            "getComputedStyle(document.querySelector('.mermaid svg .node rect, .mermaid svg .node path')).fill")).toString();
        QVERIFY2(fill != QLatin1String("rgb(236, 236, 255)"), qPrintable(fill));
    }

    // A long document filled into an empty page and then edited, before the
    // page finished the fill or once it has, reads as a fresh page given the
    // edited document, and the blocks the edit missed keep their nodes.
    void fillThenEditMatchesAFreshFill_data()
    {
        QTest::addColumn<QString>("edited");
        QTest::addColumn<bool>("idleFirst");
        const QString document = longDocument();
        const auto changed = [&](const char *from, const char *to) {
            Q_ASSERT(document.count(QString::fromUtf8(from)) == 1);
            return QString(document).replace(QString::fromUtf8(from), QString::fromUtf8(to));
        };
        const QList<std::pair<const char *, QString>> edits = {
            {"no edit", document},
            {"early block", changed("Paragraph 3 ", "Changed 3 ")},
            {"late block", changed("Paragraph 420 ", "Changed 420 ")},
            {"late formula", changed("$x_{430}$", "$y^{430}$")},
            {"display formula", changed("^{450}", "^{451}")},
            {"diagram", changed("A --> B", "A --> C")},
            {"block deleted", changed("Paragraph 300 with $x_{300}$ in it.\n\n", "")},
            {"block added at the end", document + QStringLiteral("Added at the end.\n")},
            {"everything removed", QString()},
        };
        for (const auto &[name, text] : edits) {
            const QString html = MarkdownToHTML::renderedBodyHTML(text);
            QTest::newRow(qPrintable(QStringLiteral("%1, at once").arg(QLatin1String(name)))) << html << false;
            QTest::newRow(qPrintable(QStringLiteral("%1, once idle").arg(QLatin1String(name)))) << html << true;
        }
    }

    void fillThenEditMatchesAFreshFill()
    {
        QFETCH(QString, edited);
        QFETCH(bool, idleFirst);
        QWebEnginePage *page = m_direct->page();
        const QString mark = QStringLiteral("document.querySelector('#content h1').__mark = 'kept';");
        const QString fill = updateScript(QString()) + updateScript(MarkdownToHTML::renderedBodyHTML(longDocument()));
        if (idleFirst) {
            runScript(page, fill + QStringLiteral("true"));
            QVERIFY(waitForScript(page, QStringLiteral("__sorvaneUpdater.idle()")));
            runScript(page, mark + updateScript(edited) + QStringLiteral("true"));
        } else {
            // In one go: the edit finds the fill still under way.
            QVERIFY(runScript(page, fill + QStringLiteral("var busy = !__sorvaneUpdater.idle();") + mark
                                        + updateScript(edited) + QStringLiteral("busy"))
                        .toBool());
        }
        QVERIFY(waitForScript(page, QStringLiteral("__sorvaneUpdater.idle()")));
        QVERIFY(waitForScript(page, QString::fromLatin1(kDiagramsDrawn)));
        QCOMPARE(runScript(page, QString::fromLatin1(kDump)).toString(), reference(m_judge.get(), edited));
        if (!edited.isEmpty())
            QCOMPARE(runScript(page, QStringLiteral("document.querySelector('#content h1').__mark")).toString(),
                     QStringLiteral("kept"));
    }

    // The outline reaches a heading far down a document just handed over.
    void headingScrollReachesTheEndOfAFreshFill()
    {
        auto preview = loaded();
        QVERIFY(preview);
        QString markdown;
        for (int i = 0; i < 3000; ++i)
            markdown += QStringLiteral("Paragraph %1 with enough words to take a line of its own.\n\n").arg(i);
        markdown += QStringLiteral("## The end\n\n");
        for (int i = 0; i < 100; ++i)
            markdown += QStringLiteral("After %1.\n\n").arg(i);
        preview->setBodyHTML(MarkdownToHTML::renderedBodyHTML(markdown));
        preview->scrollToHeading(2, QStringLiteral("The end"), 0, 0);
        // Near it, not to the pixel: blocks out of view are sized by an estimate.
        QVERIFY(waitForScript(preview->page(), QStringLiteral("window.scrollY > document.body.scrollHeight * 0.9")));
    }

    // An edit far below keeps the reader where they were.
    void editBelowKeepsTheScrollPosition()
    {
        QString markdown;
        for (int i = 0; i < 300; ++i)
            markdown += QStringLiteral("Paragraph %1 with enough words to take a line of its own.\n\n").arg(i);
        auto preview = loaded();
        QVERIFY(preview);
        QVERIFY(push(preview.get(), MarkdownToHTML::renderedBodyHTML(markdown)));
        QVERIFY(waitForScript(preview->page(), QStringLiteral("document.body.scrollHeight > 3000")));
        // Scrolled on each poll: the page may still be growing when the first scroll lands.
        QVERIFY(waitForScript(preview->page(), QStringLiteral("(window.scrollTo(0, 1200), window.scrollY === 1200)")));
        QVERIFY(runScript(preview->page(), QStringLiteral(
            "window.__top = Array.from(document.querySelectorAll('#content p'))"
            ".find(function (p) { return p.getBoundingClientRect().bottom > 0; }).textContent; !!window.__top")).toBool());
        QVERIFY(push(preview.get(), MarkdownToHTML::renderedBodyHTML(
                                        QString(markdown).replace(QStringLiteral("Paragraph 280 "), QStringLiteral("Changed 280 ")))));
        QVERIFY(waitForScript(preview->page(), QStringLiteral("document.body.textContent.indexOf('Changed 280') >= 0")));
        // The view stays where the reader was, not at the top and not at the change far
        // below: the paragraph that was at the top of the view is still in it. (Not a
        // pixel offset: blocks out of view are sized by an estimate until laid out.)
        QVERIFY(waitForScript(preview->page(), QStringLiteral(
            "(function () { var p = Array.from(document.querySelectorAll('#content p'))"
            ".find(function (p) { return p.textContent === window.__top; }); var r = p.getBoundingClientRect();"
            " return window.scrollY > 0 && r.bottom > 0 && r.top < window.innerHeight; })()")));
    }
};

SORVANE_WEBENGINE_TEST_MAIN(tst_PreviewUpdates)
#include "tst_PreviewUpdates.moc"
