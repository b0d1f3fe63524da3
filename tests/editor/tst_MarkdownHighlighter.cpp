#include "EditorTestSupport.h"
#include "TestEnvironment.h"

#include "editor/MarkdownHighlighter.h"
#include "editor/SpellingDecorator.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>

namespace {

// Names what is drawn at a position in the vocabulary of the style table:
// "fg=orange bold", "fg=purple bg=quaternary", "" for plain text.
QString describe(const QTextCharFormat &format, const MarkdownHighlighter::Colors &colors)
{
    const std::pair<const char *, QColor> names[] = {
        {"tertiary", colors.tertiaryLabel}, {"quaternary", colors.quaternaryLabel}, {"secondary", colors.secondaryLabel},
        {"orange", colors.orange},          {"purple", colors.purple},              {"blue", colors.blue},
        {"green", colors.green},            {"teal", colors.teal},
    };
    const auto name = [&](const QColor &colour) {
        for (const auto &[label, known] : names) {
            if (known == colour)
                return QString::fromLatin1(label);
        }
        return QStringLiteral("?") + colour.name(QColor::HexArgb);
    };
    QStringList parts;
    if (format.hasProperty(QTextFormat::ForegroundBrush))
        parts << QStringLiteral("fg=") + name(format.foreground().color());
    if (format.hasProperty(QTextFormat::BackgroundBrush))
        parts << QStringLiteral("bg=") + name(format.background().color());
    if (format.hasProperty(QTextFormat::FontWeight) && format.fontWeight() >= QFont::Bold)
        parts << QStringLiteral("bold");
    if (format.fontItalic())
        parts << QStringLiteral("italic");
    if (format.fontUnderline())
        parts << QStringLiteral("underline");
    return parts.join(QLatin1Char(' '));
}

QString styleAt(EditorView *editor, int position)
{
    return describe(drawnFormat(editor, position), editor->highlightColors());
}

} // namespace

class tst_MarkdownHighlighter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void styles_data();
    void styles();
    void leavesTextUndoAndSignalsAlone();
    void formatsFollowTypingUntilNextPass();
    void onlyVisibleRangeAndMarginAreHighlighted();
    void offMeansNoPass();
    void darkPaletteGivesBrighterHues();
    void patternsAllCompile();
};

void tst_MarkdownHighlighter::styles_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("expected");

    QTest::newRow("heading") << "# Title\nbody" << 3 << "fg=orange bold";
    QTest::newRow("text after a heading") << "# Title\nbody" << 9 << "";
    QTest::newRow("heading needs a blank") << "#Title" << 2 << "";
    QTest::newRow("bold markers") << "a **bold** b" << 2 << "fg=tertiary bold";
    QTest::newRow("bold closing marker") << "a **bold** b" << 9 << "fg=tertiary bold";
    QTest::newRow("bold text") << "a **bold** b" << 5 << "bold";
    QTest::newRow("double asterisks are not italic") << "**bold**" << 3 << "bold";
    QTest::newRow("italic marker") << "an *it* x" << 3 << "fg=tertiary italic";
    QTest::newRow("italic text") << "an *it* x" << 4 << "italic";
    QTest::newRow("inline code") << "x `code` y" << 4 << "fg=purple bg=quaternary";
    QTest::newRow("fenced block") << "```\nlet x = 1\n```\nafter" << 6 << "fg=purple bg=quaternary";
    QTest::newRow("closing fence") << "```\nlet x = 1\n```\nafter" << 15 << "fg=purple bg=quaternary";
    QTest::newRow("after the fence") << "```\nlet x = 1\n```\nafter" << 19 << "";
    QTest::newRow("heading inside a fence") << "```\n# not a heading\n```" << 7 << "fg=orange bg=quaternary bold";
    QTest::newRow("link") << "see [site](http://a.b) now" << 6 << "fg=blue underline";
    QTest::newRow("image ends green, keeps underline") << "![alt](pic.png)" << 3 << "fg=green underline";
    QTest::newRow("image mark") << "see ![alt](pic.png)" << 4 << "fg=green";
    QTest::newRow("image mark at line start") << "![alt](pic.png)" << 0 << "fg=green";
    QTest::newRow("list marker") << "- item" << 0 << "fg=teal";
    QTest::newRow("list item text") << "- item" << 3 << "";
    QTest::newRow("numbered list marker") << "  12. item" << 3 << "fg=teal";
    QTest::newRow("blockquote") << "> quoted words" << 4 << "fg=secondary italic";
    QTest::newRow("horizontal rule") << "a\n\n---\nb" << 4 << "fg=tertiary";
    QTest::newRow("rule of asterisks") << "***" << 1 << "fg=tertiary";
    QTest::newRow("plain text") << "just words" << 3 << "";
}

void tst_MarkdownHighlighter::styles()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(QString, expected);
    auto editor = makeEditor(text, quietConfiguration());
    editor->applySyntaxHighlighting();
    QCOMPARE(styleAt(editor.get(), position), expected);
}

void tst_MarkdownHighlighter::leavesTextUndoAndSignalsAlone()
{
    const QString text = QStringLiteral("# Head\n\nSome **bold** and `code` and [a](b)\u00a0here.\n\n```\nx\n```\n");
    auto editor = makeEditor(text, EditorViewConfiguration{});
    QSignalSpy edits(editor.get(), &EditorView::userEdited);
    QSignalSpy contents(editor->textView()->document(), &QTextDocument::contentsChange);
    editor->applySyntaxHighlighting();
    editor->spelling()->check();
    editor->setFontSize(20);
    // Let any pass the font change scheduled run too.
    QCoreApplication::processEvents();
    QTRY_VERIFY(!editor->isHighlightPending() && !editor->spelling()->isCheckPending());
    QCOMPARE(edits.count(), 0);
    QCOMPARE(contents.count(), 0);
    QCOMPARE(editor->text(), text);
    QVERIFY(!editor->textView()->document()->isUndoAvailable());
    QVERIFY(!editor->textView()->document()->isModified());
    QCOMPARE(styleAt(editor.get(), 2), QStringLiteral("fg=orange bold"));
}

void tst_MarkdownHighlighter::formatsFollowTypingUntilNextPass()
{
    auto editor = makeEditor(QStringLiteral("say **bold** now"), quietConfiguration());
    editor->applySyntaxHighlighting();
    QTextCursor cursor = editor->textView()->textCursor();
    cursor.setPosition(0);
    editor->textView()->setTextCursor(cursor);
    QTest::keyClicks(editor->textView(), QStringLiteral("I "));
    // Before the debounced pass the bold span has moved with its text.
    QCOMPARE(styleAt(editor.get(), 8), QStringLiteral("bold"));
    QCOMPARE(styleAt(editor.get(), 6), QStringLiteral("fg=tertiary bold"));
    QCOMPARE(styleAt(editor.get(), 4), QString());
    // Typing inside the span widens it.
    cursor.setPosition(9);
    editor->textView()->setTextCursor(cursor);
    QTest::keyClicks(editor->textView(), QStringLiteral("er"));
    QCOMPARE(styleAt(editor.get(), 10), QStringLiteral("bold"));
    QCOMPARE(styleAt(editor.get(), 14), QStringLiteral("fg=tertiary bold"));
}

void tst_MarkdownHighlighter::onlyVisibleRangeAndMarginAreHighlighted()
{
    QString text = QStringLiteral("```\n");
    for (int i = 0; i < 4000; ++i)
        text += QStringLiteral("# heading %1\n").arg(i, 4, 10, QLatin1Char('0'));
    text += QStringLiteral("```\n");
    auto editor = makeEditor(text, quietConfiguration());
    auto *view = editor->textView();
    editor->applySyntaxHighlighting();
    // The closing fence lies beyond the working range, so near the top the lines are
    // headings without the code background, and far lines are not drawn yet.
    const int far = int(text.indexOf(QStringLiteral("heading 3990")));
    QCOMPARE(styleAt(editor.get(), 2 + int(text.indexOf(QStringLiteral("# heading 0001")))), QStringLiteral("fg=orange bold"));
    QCOMPARE(styleAt(editor.get(), far), QString());

    // Scrolled to the end the opening fence is out of range in turn: still headings only.
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    editor->applySyntaxHighlighting();
    QCOMPARE(styleAt(editor.get(), far), QStringLiteral("fg=orange bold"));
    QCOMPARE(styleAt(editor.get(), int(text.size()) - 2), QString());
}

void tst_MarkdownHighlighter::offMeansNoPass()
{
    EditorViewConfiguration configuration = quietConfiguration();
    configuration.syntaxHighlight = false;
    auto editor = makeEditor(QStringLiteral("# Title"), configuration);
    editor->applySyntaxHighlighting();
    editor->scheduleHighlight();
    // Nothing scheduled means no pass can come later either.
    QVERIFY(!editor->isHighlightPending());
    QCOMPARE(styleAt(editor.get(), 2), QString());
    editor->setSyntaxHighlight(true);
    QCOMPARE(styleAt(editor.get(), 2), QStringLiteral("fg=orange bold"));
}

void tst_MarkdownHighlighter::darkPaletteGivesBrighterHues()
{
    QPalette light;
    light.setColor(QPalette::Base, Qt::white);
    light.setColor(QPalette::Text, Qt::black);
    QPalette dark;
    dark.setColor(QPalette::Base, QColor(0x24, 0x24, 0x24));
    dark.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    QVERIFY(!MarkdownHighlighter::Colors::isDark(light));
    QVERIFY(MarkdownHighlighter::Colors::isDark(dark));
    const auto lightColors = MarkdownHighlighter::Colors::forPalette(light);
    const auto darkColors = MarkdownHighlighter::Colors::forPalette(dark);
    QVERIFY(darkColors.orange.lightness() > lightColors.orange.lightness());
    QCOMPARE(darkColors.secondaryLabel.rgb(), dark.color(QPalette::Text).rgb());

    // A palette change recolours the editor.
    auto editor = makeEditor(QStringLiteral("# Title"), quietConfiguration());
    editor->setPalette(dark);
    QCOMPARE(drawnFormat(editor.get(), 2).foreground().color(), darkColors.orange);
}

void tst_MarkdownHighlighter::patternsAllCompile()
{
    QCOMPARE(MarkdownHighlighter::highlightPatterns().size(), 10);
}

SORVANE_TEST_MAIN(tst_MarkdownHighlighter)
#include "tst_MarkdownHighlighter.moc"
