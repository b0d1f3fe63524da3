// Raw values of the formatting actions are their stable names: they must not drift.
#include "TestEnvironment.h"

#include "documents/MarkdownContentType.h"
#include "documents/MarkdownFormatAction.h"

#include <QApplication>
#include <QTest>

class tst_MarkdownFormatAction : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rawValues_data();
    void rawValues();
    void unknownRawValue_data();
    void unknownRawValue();
    void contentTypeMatchesMarkdownNames_data();
    void contentTypeMatchesMarkdownNames();
};

void tst_MarkdownFormatAction::rawValues_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("raw");
    const char *expected[] = {"bold",      "italic",    "code",       "link",       "heading1",
                              "heading2",  "heading3",  "table",      "codeBlock",  "blockquote",
                              "bulletList", "numberedList", "taskList", "horizontalRule"};
    for (int i = 0; i < 14; ++i)
        QTest::newRow(expected[i]) << i << QString::fromLatin1(expected[i]);
}

void tst_MarkdownFormatAction::rawValues()
{
    QFETCH(int, index);
    QFETCH(QString, raw);
    QCOMPARE(MarkdownFormatActions::all().size(), 14);
    const MarkdownFormatAction action = MarkdownFormatActions::all().at(index);
    QCOMPARE(static_cast<int>(action), index);
    QCOMPARE(MarkdownFormatActions::toString(action), raw);
    QCOMPARE(MarkdownFormatActions::fromString(raw), std::optional(action));
}

void tst_MarkdownFormatAction::unknownRawValue_data()
{
    QTest::addColumn<QString>("raw");
    QTest::newRow("empty") << QString();
    QTest::newRow("other case") << QStringLiteral("Bold");
    QTest::newRow("padded") << QStringLiteral(" bold");
    QTest::newRow("unknown") << QStringLiteral("strikethrough");
}

void tst_MarkdownFormatAction::unknownRawValue()
{
    QFETCH(QString, raw);
    QVERIFY(!MarkdownFormatActions::fromString(raw));
}

void tst_MarkdownFormatAction::contentTypeMatchesMarkdownNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("markdown");
    QTest::newRow("md") << QStringLiteral("a.md") << true;
    QTest::newRow("upper case") << QStringLiteral("A.MARKDOWN") << true;
    QTest::newRow("mdx") << QStringLiteral("x.y.mdx") << true;
    QTest::newRow("text") << QStringLiteral("a.txt") << false;
    QTest::newRow("no suffix") << QStringLiteral("md") << false;
}

void tst_MarkdownFormatAction::contentTypeMatchesMarkdownNames()
{
    QFETCH(QString, name);
    QFETCH(bool, markdown);
    QCOMPARE(MarkdownContentType::matchesFileName(name), markdown);
    QCOMPARE(MarkdownContentType::mimeType(), QStringLiteral("text/markdown"));
}

SORVANE_TEST_MAIN(tst_MarkdownFormatAction)
#include "tst_MarkdownFormatAction.moc"
