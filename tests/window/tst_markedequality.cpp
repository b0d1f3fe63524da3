#include "CorpusGenerator.h"
#include "TestEnvironment.h"
#include "window/MarkdownToHTML.h"

#include <QApplication>
#include <QProcess>
#include <QtTest>

// The respelled rules must not change what marked produces: every case is
// rendered by the app's context and by the same marked under node, and the
// library output (before the sanitiser and the diagram step) must match byte
// for byte.
class TestMarkedEquality : public QObject
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
            {"crlf", "a\r\nb\r\n\r\n# h\r\n"},
            {"empty", ""},
            {"deep-nesting", "> - > - > - > deep\n"},
        };
        for (const auto &c : cases)
            add(QString::fromLatin1(c[0]), QString::fromUtf8(c[1]));
        add(QStringLiteral("doc-10k"), corpus::document(10 * 1024, 3));
        add(QStringLiteral("doc-100k"), corpus::document(100 * 1024, 4));
        add(QStringLiteral("doc-1m"), corpus::document(1024 * 1024, 5));
        add(QStringLiteral("stress-paragraph"), corpus::stress(corpus::Stress::LongParagraph, 60 * 1024));
        add(QStringLiteral("stress-lists"), corpus::stress(corpus::Stress::DeepLists, 60 * 1024));
        add(QStringLiteral("stress-table"), corpus::stress(corpus::Stress::BigTable, 60 * 1024));
        add(QStringLiteral("stress-quotes"), corpus::stress(corpus::Stress::ManyQuotes, 60 * 1024));
        add(QStringLiteral("stress-setext"), corpus::stress(corpus::Stress::SetextHeadings, 60 * 1024));

        for (auto it = m_inputs.cbegin(); it != m_inputs.cend(); ++it) {
            QFile file(m_dir.filePath(it.key() + QStringLiteral(".md")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(it.value().toUtf8());
        }
        QProcess node;
        node.start(QStringLiteral(SORVANE_NODE), {QStringLiteral(SORVANE_NODE_REFERENCE), QStringLiteral(SORVANE_MARKED_PATH),
                                                  QStringLiteral(SORVANE_FOOTNOTES_PATH), m_dir.path()});
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
};

SORVANE_TEST_MAIN(TestMarkedEquality)
#include "tst_markedequality.moc"
