#include "WebEngineTest.h"
#include "preview/MarkdownPreview.h"
#include "render/MarkdownToHTML.h"

#include <QWebEnginePage>

// Where KaTeX has run, each formula's TeX annotation must be the TeX the
// writer typed: in an exported page and in the preview's shell, which gets
// its body through the preview's update path.
namespace {

// The annotations of the typeset formulas, in order, as a JSON list.
const char *const kAnnotations = R"((function () {
    var out = [];
    var all = document.querySelectorAll('#content annotation[encoding="application/x-tex"]');
    for (var i = 0; i < all.length; i++) out.push(all[i].textContent);
    return JSON.stringify(out);
})())";

QStringList annotations(QWebEnginePage *page)
{
    const QJsonArray array = QJsonDocument::fromJson(runScript(page, QString::fromLatin1(kAnnotations)).toString().toUtf8()).array();
    QStringList out;
    for (const QJsonValue &value : array)
        out.append(value.toString());
    return out;
}

bool loadHtml(QWebEnginePage *page, const QString &html)
{
    QSignalSpy loaded(page, &QWebEnginePage::loadFinished);
    page->setHtml(html, QUrl(QStringLiteral("file:///")));
    return loaded.wait(60000) && loaded.constFirst().constFirst().toBool();
}

} // namespace

class tst_MathPages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void texArrivesAsWritten_data()
    {
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QStringList>("tex");
        QTest::newRow("thin space") << "A $a\\,b$ gap." << QStringList{"a\\,b"};
        QTest::newRow("escaped braces") << "Set $\\{a, b\\}$." << QStringList{"\\{a, b\\}"};
        QTest::newRow("subscripts and stars") << "*Both $a_1 * b_2$ and $c_3$*" << QStringList{"a_1 * b_2", "c_3"};
        QTest::newRow("aligned line breaks")
            << "$$\n\\begin{aligned}\na &= b \\\\\nc &= d\n\\end{aligned}\n$$"
            << QStringList{"\n\\begin{aligned}\na &= b \\\\\nc &= d\n\\end{aligned}\n"};
        QTest::newRow("prices are text") << "It costs $5 and $10." << QStringList{};
        QTest::newRow("escaped dollar and code") << "Pay \\$3, `$x$`, then $y<z$." << QStringList{"y<z"};
    }

    void texArrivesAsWritten()
    {
        QFETCH(QString, markdown);
        QFETCH(QStringList, tex);
        const QString done = QStringLiteral("document.querySelectorAll('#content annotation').length === %1").arg(tex.size());

        QWebEnginePage exported;
        QVERIFY(loadHtml(&exported, MarkdownToHTML::documentHTML(markdown, 15, QUrl(), PreviewTheme::Standard, QString())));
        QVERIFY(waitForScript(&exported, done));
        QCOMPARE(annotations(&exported), tex);

        MarkdownPreview preview;
        preview.setBodyHTML(MarkdownToHTML::renderedBodyHTML(markdown));
        QVERIFY(QTest::qWaitFor([&] { return preview.isPageLoaded(); }, 60000));
        QVERIFY(waitForScript(preview.page(), QStringLiteral("document.getElementById('content').childElementCount > 0")));
        QVERIFY(waitForScript(preview.page(), done));
        QCOMPARE(annotations(preview.page()), tex);
        // Prose dollars are never typeset: no formula beyond those written.
        QCOMPARE(runScript(preview.page(), QStringLiteral("document.querySelectorAll('.katex').length")).toInt(), tex.size());
    }
};

SORVANE_WEBENGINE_TEST_MAIN(tst_MathPages)
#include "tst_MathPages.moc"
