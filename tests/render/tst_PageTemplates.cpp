#include "TestEnvironment.h"
#include "render/MarkdownToHTML.h"

#include <QApplication>
#include <QRegularExpression>
#include <QtTest>

class tst_PageTemplates : public QObject
{
    Q_OBJECT

    static QString nonceOf(const QString &page)
    {
        static const QRegularExpression policy(QStringLiteral("script-src 'nonce-([A-Za-z0-9+/=]+)'"));
        return policy.match(page).captured(1);
    }

private Q_SLOTS:
    void librariesOnlyWhenNeeded_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<bool>("math");
        QTest::addColumn<bool>("diagram");
        QTest::newRow("plain") << "# Plain\n\ntext" << false << false;
        QTest::newRow("math") << "$x$ and $y$" << true << false;
        QTest::newRow("mermaid fence any case") << "intro\n```MerMaid\ngraph TD;\n```" << false << true;
        QTest::newRow("mermaid word later on the line") << "``` js mermaid\n```" << false << false;
    }

    void librariesOnlyWhenNeeded()
    {
        QFETCH(QString, markdown);
        QFETCH(bool, math);
        QFETCH(bool, diagram);
        const QString page = MarkdownToHTML::documentHTML(markdown, 15, QUrl(), PreviewTheme::Standard, QString());
        QCOMPARE(page.contains(QStringLiteral("id=\"sorvane-katex-css\"")), math);
        QCOMPARE(page.contains(QStringLiteral("renderMathInElement=")) || page.contains(QStringLiteral("katex.render")), math);
        QCOMPARE(page.contains(QStringLiteral("mermaid.initialize")) && page.size() > 1000000, diagram);
        QVERIFY(page.contains(QStringLiteral("__sorvaneRenderRichContent")));
        QVERIFY(!page.contains(QStringLiteral("function updateContent")));
    }

    // The page loads Mermaid exactly when the body it wraps holds a diagram
    // block, however the fence was spelt.
    void mermaidWheneverTheBodyHasADiagram_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<bool>("diagram");
        QTest::newRow("backticks") << "```mermaid\ngraph TD;\n```" << true;
        QTest::newRow("tildes") << "~~~mermaid\ngraph TD;\n~~~" << true;
        QTest::newRow("indented one space") << " ```mermaid\ngraph TD;\n ```" << true;
        QTest::newRow("indented three spaces") << "   ```mermaid\ngraph TD;\n   ```" << true;
        QTest::newRow("four backticks") << "````mermaid\ngraph TD;\n````" << true;
        QTest::newRow("space before the name") << "``` mermaid\ngraph TD;\n```" << true;
        QTest::newRow("upper case") << "~~~MERMAID\ngraph TD;\n~~~" << true;
        QTest::newRow("inside a list item") << "- item\n\n  ```mermaid\n  graph TD;\n  ```" << true;
        QTest::newRow("indented four spaces is code") << "    ```mermaid\n    graph TD;\n    ```" << false;
        QTest::newRow("longer language name") << "```mermaid-js\ngraph TD;\n```" << false;
        QTest::newRow("inside another fence") << "````\n```mermaid\ngraph TD;\n```\n````" << false;
        QTest::newRow("no fence") << "A mermaid swims by." << false;
    }

    void mermaidWheneverTheBodyHasADiagram()
    {
        QFETCH(QString, markdown);
        QFETCH(bool, diagram);
        const QString body = MarkdownToHTML::renderedBodyHTML(markdown);
        QCOMPARE(body.contains(QLatin1String("<div class=\"mermaid\">")), diagram);
        const QString page = MarkdownToHTML::documentHTML(markdown, 15, QUrl(), PreviewTheme::Standard, QString());
        QCOMPARE(page.contains(QStringLiteral("mermaid.initialize")) && page.size() > 1000000, diagram);
    }

    void katexFontsAreDataAddresses()
    {
        const QString page = MarkdownToHTML::documentHTML(QStringLiteral("$$x$$"), 15, QUrl(), PreviewTheme::Standard, QString());
        QVERIFY(page.contains(QStringLiteral("url(data:font/woff2;base64,")));
        QVERIFY(!page.contains(QStringLiteral("url(fonts/")));
    }

    void baseElementIsEscaped()
    {
        const QString page = MarkdownToHTML::documentHTML(QStringLiteral("x"), 15, QUrl(QStringLiteral("file:///tmp/a&b/")),
                                                          PreviewTheme::Standard, QString());
        QVERIFY(page.contains(QStringLiteral("<base href=\"file:///tmp/a&amp;b/\">")));
        const QString without = MarkdownToHTML::documentHTML(QStringLiteral("x"), 15, QUrl(), PreviewTheme::Standard, QString());
        QVERIFY(!without.contains(QStringLiteral("<base")));
    }

    void shellIsEmptyAndCarriesTheScheme()
    {
        const QString shell = MarkdownToHTML::previewShellHTML(15, QStringLiteral("light dark"), PreviewTheme::GitHub, QString(),
                                                               QStringLiteral("sorvane-preview:"));
        QVERIFY(shell.contains(QStringLiteral("<div id=\"content\"></div>")));
        QVERIFY(shell.contains(QStringLiteral(":root { color-scheme: light dark; }")));
        QVERIFY(shell.contains(QStringLiteral("function updateContent")));
        QVERIFY(shell.contains(QStringLiteral("img-src data: file: http: https: sorvane-preview:;")));
    }

    void fontSizeAndExtraCSSOrder()
    {
        const QString page = MarkdownToHTML::documentHTML(QStringLiteral("x"), 15, QUrl(), PreviewTheme::Serif,
                                                          QStringLiteral("p { color: red; }"));
        QVERIFY(page.contains(QStringLiteral("font-size: 15.0px;")));
        QVERIFY(MarkdownToHTML::documentHTML(QStringLiteral("x"), 13.5, QUrl(), PreviewTheme::Serif, QString())
                    .contains(QStringLiteral("font-size: 13.5px;")));
        const qsizetype extra = page.indexOf(QStringLiteral("p { color: red; }"));
        QVERIFY(extra > page.indexOf(QStringLiteral(".mermaid svg { max-width: 100%; height: auto; }")));
        QVERIFY(extra > page.indexOf(QStringLiteral(".footnote-backref")));
        QVERIFY(extra < page.indexOf(QStringLiteral("</style>")));
    }

    // Each theme writes its light and its dark colour set; the page's scheme
    // assignment picks one (no light-dark() in this engine).
    void themeColoursInBothSchemes_data()
    {
        QTest::addColumn<PreviewTheme>("theme");
        QTest::addColumn<QString>("lightLink");
        QTest::addColumn<QString>("darkLink");
        QTest::addColumn<QString>("lightRule");
        QTest::addColumn<QString>("darkRule");
        QTest::newRow("Default") << PreviewTheme::Standard << "#0066cc" << "#5ac8fa" << "#e5e5e5" << "#333";
        QTest::newRow("GitHub") << PreviewTheme::GitHub << "#0969da" << "#58a6ff" << "#d0d7de" << "#30363d";
        QTest::newRow("Serif") << PreviewTheme::Serif << "#8b0000" << "#e6735a" << "#d4c5a9" << "#444";
    }

    void themeColoursInBothSchemes()
    {
        QFETCH(PreviewTheme, theme);
        QFETCH(QString, lightLink);
        QFETCH(QString, darkLink);
        QFETCH(QString, lightRule);
        QFETCH(QString, darkRule);
        const QString shell = MarkdownToHTML::previewShellHTML(15, QStringLiteral("light"), theme, QString());
        QVERIFY(!shell.contains(QStringLiteral("light-dark(")));
        const auto block = [&](const QString &selector) {
            const qsizetype at = shell.indexOf(selector);
            return at < 0 ? QString() : shell.mid(at, shell.indexOf(QLatin1Char('}'), at) - at);
        };
        const QString dark = block(QStringLiteral(":root[style*=\"color-scheme: dark\"] {"));
        const QString light = block(QStringLiteral(":root[style*=\"color-scheme: light\"] {"));
        QVERIFY(dark.contains(QStringLiteral("--sv-link: ") + darkLink + QLatin1Char(';')));
        QVERIFY(dark.contains(QStringLiteral("--sv-rule: ") + darkRule + QLatin1Char(';')));
        QVERIFY(dark.contains(QStringLiteral("--sv-text: #f5f5f7;")));
        QVERIFY(light.contains(QStringLiteral("--sv-link: ") + lightLink + QLatin1Char(';')));
        QVERIFY(light.contains(QStringLiteral("--sv-rule: ") + lightRule + QLatin1Char(';')));
        QVERIFY(light.contains(QStringLiteral("--sv-text: #1d1d1f;")));
    }

    void scriptsRunOnlyWithThePageNonce()
    {
        const QString page = MarkdownToHTML::documentHTML(QStringLiteral("$x$ <script nonce=\"guess\">alert(1)</script>"), 15, QUrl(),
                                                          PreviewTheme::Standard, QString());
        const QString nonce = nonceOf(page);
        QVERIFY(nonce.size() >= 22);
        QVERIFY(!page.contains(QStringLiteral("script-src 'unsafe-inline'")));
        QCOMPARE(page.count(QStringLiteral("<script")), page.count(QStringLiteral("<script nonce=\"") + nonce + QStringLiteral("\">")));
        QVERIFY(!page.contains(QStringLiteral("alert(1)")));
        QVERIFY(nonceOf(MarkdownToHTML::previewShellHTML(15, QStringLiteral("dark"), PreviewTheme::Standard, QString())) != nonce);
    }
};

SORVANE_TEST_MAIN(tst_PageTemplates)
#include "tst_PageTemplates.moc"
