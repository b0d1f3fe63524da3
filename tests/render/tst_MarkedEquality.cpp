#include "CorpusGenerator.h"
#include "TestEnvironment.h"
#include "render/MarkdownToHTML.h"

#include <QApplication>
#include <QProcess>
#include <QtTest>

// The respelled rules must not change what marked produces: every case is
// rendered by the app's context and by the same marked under node, and the
// library output (before the sanitiser and the diagram step) must match byte
// for byte. Math spans are the one addition to plain marked: a text that
// holds none renders exactly as plain marked renders it.
class tst_MarkedEquality : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QMap<QString, QString> m_inputs;

    void add(const QString &name, const QString &text) { m_inputs.insert(name, text); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(MarkdownToHTML::hasLibrary());
        const char *cases[][2] = {
            {"atx", "# one\n## two ##\n###### six\n####### seven\n#nospace\n"},
            {"setext", "Title\n=====\n\nSub\ntitle\n---\n\nnot a heading\n\n---\n"},
            {"setext-lazy", "> quote\n===\n\n- item\n---\n"},
            {"paragraphs", "a\nb\n\nc  \nd\\\ne\n"},
            {"emphasis", "*a* _b_ **c** __d__ ***e*** *a **nested** b* foo*bar* snake_case_word _ a _\n"},
            {"emphasis-edge", "**foo*bar** *foo**bar* ***a*b** _foo_bar_ *(*foo*)* ****x****\n"},
            {"code-span", "`a` ``b ` c`` ` ` `unclosed\n```x``` \\`esc`\n"},
            {"fences", "```js\nlet a = 1 < 2;\n```\n\n~~~\ntilde\n~~~\n\n````\n```\nnested\n````\n\n```\nunclosed\n"},
            {"indented", "    code\n      more\n\n\tTab\n"},
            {"lists", "- a\n- b\n  - c\n    - d\n\n1. one\n2. two\n10) ten\n\n* loose\n\n* list\n"},
            {"list-edge", "- a\n -  b\n\n   c\n- \n  d\n1. x\n   ```\n   code\n   ```\n"},
            {"tasks", "- [ ] open\n- [x] done\n- [X] Done\n* [ ]\n"},
            {"quotes", "> a\n> > b\n> c\nlazy\n\n>\n> x\n"},
            {"links", "[a](http://x.org \"t\") [b](<url with space>) [c][ref] [ref] ![img](i.png 'x')\n\n[ref]: http://ref.org 'Title'\n"},
            {"autolinks", "<http://a.b> <mail@x.org> www.example.com https://x.org/a_b_(c) foo@bar.baz\n"},
            {"html", "<div>\n*raw*\n</div>\n\n<span>inline *md*</span> <!-- c -->\n\n<pre>\nx\n</pre>\n"},
            {"tables", "| a | b |\n|:--|--:|\n| 1 | 2 |\n| `|` | \\| |\n\nx | y\n--|--\nz\n"},
            {"strike", "~~gone~~ ~one~ ~~~three~~~\n"},
            {"entities", "&amp; &copy; &#35; &#x22; &bogus; < > \" '\n"},
            {"escapes", "\\* \\_ \\# \\[ \\\\ \\` \\a\n"},
            {"hr", "***\n---\n___\n- - -\n"},
            {"breaks", "line  \nbreak\\\nnext\n"},
            {"unicode", "# Größe\n\nnaïve café 日本語 emoji 😀 and ✓ \u00a0nbsp\n"},
            {"footnotes", "Ref[^a] and[^b] again[^a] none[^zz] [^not id]\n\n[^a]: first *note*\n[^b]: second\n[^unused]: never\n"},
            {"math", "$x$ and $$y$$ \\(z\\) \\[w\\]\n"},
            {"math-markdown-inside", "*a $b*c$ d* _$x_1$_ [$y$](u) $\\{a\\}$ `$z$`\n\n$$\n- a \\\\\n# b\n$$\n"},
            {"dollars-without-math", "it costs $5 and $10, \\$3 or $ 4 $; $x $ and $y$5\n\n- $a\n- b$\n\n`$c$` $$ d\n"},
            {"crlf", "a\r\nb\r\n\r\n# h\r\n"},
            {"empty", ""},
            {"deep-nesting", "> - > - > - > deep\n"},
            // The setext rule, respelled to take its text a line at a time.
            {"setext-multiline", "one\ntwo\nthree\n===\nfour\n  five  \n---   \n\nsix\n======\nseven\n"},
            {"setext-interrupted", "a\n# h\n===\n\nb\n> q\n---\n\nc\n- item\n---\n\nd\n```\nx\n```\n===\n\ne\n<div>\n</div>\n---\n"},
            {"setext-blankish", "a\n \t\n===\n\nb\n\u00a0\n---\n\nc\n\f\n===\n"},
            {"setext-separators", "a\u2028b\n===\n\nc\u2029d\n---\n\ne\rf\n===\n"},
            {"setext-table-like", "a | b\n--- | ---\n\nx\n|:-|-:|\n===\n\n|a|\n===\n"},
            {"setext-indented", "   a\n   ===\n\n    b\n===\n\nc\n    ===\n\nd\n   =\n"},
            {"setext-end", "no newline\n==="},
            {"setext-lazy-quote", "> a\nb\n===\n\n- a\nb\n---\n"},
            // Rules anchored at the start, run through sticky copies.
            {"definitions", "[a]: /url \"t\"\n[b]:\n  /next\n  'multi\n  line'\n[c]: <with space> (paren)\n\n[a] [b] [c] [d]\n\ntext\n[e]: /no\n\n[e]\n"},
            {"definition-edge", "[ ]: /x\n[\\]]: /y\n[f\\[o]: /z 'a'b\n\n[\\]] [f\\[o] [ ]\n"},
            {"inline-html", "<a href=\"x\">*in*</a> <!-- c --> <?php x ?> <!DOCTYPE x> <![CDATA[y]]> </b > <x-y z=1/>\n"},
            {"hr-unrolled", "- - -\n***\n_ _ _ _\n* * *\n--\n**\n- item\n  * * *\n  - - -\n"},
            // Masking of code spans, links, escapes and reference links.
            {"masking", "*a `*` b* **[x*](y)** _<b a=\"_\">_ \\*no\\* `[`x`](y)` [a`]`b](c) *x* `` `*` ``\n"},
            {"masking-refs", "[r]: /r\n\n*[r]* **[x][r]** [r][] ![r] [q] *\\[r]* `[r]` _[r]_\n"},
            {"emphasis-links", "***[a](b)*** _[a_](b)_ *[a*](b) [*a](b)* <http://a*b>* ~~[a](b~~)\n"},
        };
        for (const auto &c : cases)
            add(QString::fromLatin1(c[0]), QString::fromUtf8(c[1]));
        add(QStringLiteral("doc-10k"), corpus::document(10 * 1024, 3));
        add(QStringLiteral("doc-100k"), corpus::document(100 * 1024, 4));
        add(QStringLiteral("doc-1m"), corpus::document(1024 * 1024, 5));
        // Big enough that a paragraph holds thousands of masked spans and the
        // sticky and line-wise rules meet long remainders.
        const struct { const char *name; corpus::Stress kind; } shapes[] = {
            {"stress-paragraph", corpus::Stress::LongParagraph}, {"stress-lists", corpus::Stress::DeepLists},
            {"stress-table", corpus::Stress::BigTable},           {"stress-quotes", corpus::Stress::ManyQuotes},
            {"stress-setext", corpus::Stress::SetextHeadings},    {"stress-references", corpus::Stress::References},
        };
        for (const auto &shape : shapes)
            add(QString::fromLatin1(shape.name), corpus::stress(shape.kind, 200 * 1024));

        for (auto it = m_inputs.cbegin(); it != m_inputs.cend(); ++it) {
            QFile file(m_dir.filePath(it.key() + QStringLiteral(".md")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(it.value().toUtf8());
        }
        QProcess node;
        node.start(QStringLiteral(SORVANE_NODE), {QStringLiteral(SORVANE_NODE_REFERENCE), QStringLiteral(SORVANE_MARKED_PATH),
                                                  QStringLiteral(SORVANE_FOOTNOTES_PATH), QStringLiteral(SORVANE_MATH_PATH),
                                                  m_dir.path()});
        QVERIFY(node.waitForFinished(300000));
        QVERIFY2(node.exitCode() == 0, node.readAllStandardError().constData());
    }

    void sameAsMarkedUnderNode_data()
    {
        QTest::addColumn<QString>("name");
        for (const QString &name : m_inputs.keys())
            QTest::newRow(qPrintable(name)) << name;
    }

    void sameAsMarkedUnderNode()
    {
        QFETCH(QString, name);
        QFile file(m_dir.filePath(name + QStringLiteral(".html")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString expected = QString::fromUtf8(file.readAll());
        const std::optional<QString> actual = MarkdownToHTML::libraryHTML(m_inputs.value(name));
        QVERIFY(actual.has_value());
        if (*actual != expected) {
            qsizetype at = 0;
            while (at < actual->size() && at < expected.size() && actual->at(at) == expected.at(at))
                ++at;
            QFAIL(qPrintable(QStringLiteral("differs at %1: app «%2» node «%3»")
                                 .arg(at)
                                 .arg(actual->mid(qMax<qsizetype>(0, at - 40), 120), expected.mid(qMax<qsizetype>(0, at - 40), 120))));
        }
    }

    void withoutMathSameAsPlainMarked_data() { sameAsMarkedUnderNode_data(); }

    void withoutMathSameAsPlainMarked()
    {
        QFETCH(QString, name);
        const QString rendered = read(name + QStringLiteral(".html"));
        if (rendered.contains(QLatin1String("class=\"math ")))
            QSKIP("holds math");
        QCOMPARE(rendered, read(name + QStringLiteral(".plain.html")));
    }

private:
    QString read(const QString &fileName) const
    {
        QFile file(m_dir.filePath(fileName));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QStringLiteral("(missing)");
    }
};

SORVANE_TEST_MAIN(tst_MarkedEquality)
#include "tst_MarkedEquality.moc"
