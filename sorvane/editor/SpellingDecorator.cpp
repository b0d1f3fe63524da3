#include "SpellingDecorator.h"

#include "BlockDecorations.h"
#include "DocumentText.h"
#include "MarkdownHighlighter.h"
#include "SorvaneTextView.h"
#include "SpellChecker.h"

#include <QAction>
#include <QMenu>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

SpellingDecorator::SpellingDecorator(SorvaneTextView *view, bool enabled, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_enabled(enabled)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(checkDelayMs);
    connect(&m_timer, &QTimer::timeout, this, &SpellingDecorator::check);
}

void SpellingDecorator::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    if (on)
        check();
    else
        clear();
}

void SpellingDecorator::schedule()
{
    m_timer.stop();
    if (m_enabled && SpellChecker::shared().isAvailable())
        m_timer.start();
}

QList<QTextLayout::FormatRange> SpellingDecorator::misspelledRanges(const QTextBlock &block) const
{
    FormatRanges found;
    const QString line = block.text();
    if (line.isEmpty())
        return found;
    static const QRegularExpression word(QStringLiteral("[\\p{L}\\p{M}]+(?:['\u2019][\\p{L}\\p{M}]+)*"),
                                         QRegularExpression::UseUnicodePropertiesOption);
    const auto *decorations = BlockDecorations::of(block);
    QTextCharFormat underline;
    underline.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    underline.setUnderlineColor(QColor(0xe0, 0x1b, 0x24));
    SpellChecker &checker = SpellChecker::shared();
    auto it = word.globalMatch(line);
    while (it.hasNext()) {
        const auto match = it.next();
        const int start = int(match.capturedStart());
        const int length = int(match.capturedLength());
        const QString candidate = match.captured();
        if (length < 2)
            continue;
        // Words glued to digits or underscores are identifiers, not prose.
        const QChar before = start > 0 ? line.at(start - 1) : QChar();
        const QChar after = start + length < line.size() ? line.at(start + length) : QChar();
        if (before.isDigit() || after.isDigit() || before == u'_' || after == u'_')
            continue;
        // Acronyms and camel case are names.
        if (std::any_of(candidate.begin() + 1, candidate.end(), [](QChar c) { return c.isUpper(); }))
            continue;
        // Addresses and paths: the blank-separated run around the word holds a scheme,
        // an @ or a slash.
        int runFrom = start;
        while (runFrom > 0 && !line.at(runFrom - 1).isSpace())
            --runFrom;
        int runTo = start + length;
        while (runTo < line.size() && !line.at(runTo).isSpace())
            ++runTo;
        const QStringView run = QStringView(line).mid(runFrom, runTo - runFrom);
        if (run.contains(QLatin1String("://")) || run.contains(u'@') || run.contains(u'/') || run.startsWith(QLatin1String("www.")))
            continue;
        // Code is not prose either.
        bool inCode = false;
        if (decorations) {
            for (const auto &range : decorations->highlight) {
                const int style = range.format.intProperty(MarkdownHighlighter::styleProperty);
                if ((style == int(MarkdownHighlighter::Style::codeBlock) || style == int(MarkdownHighlighter::Style::inlineCode))
                    && range.format.hasProperty(MarkdownHighlighter::styleProperty) && range.start <= start
                    && range.start + range.length >= start + length) {
                    inCode = true;
                    break;
                }
            }
        }
        if (inCode || checker.isCorrect(candidate))
            continue;
        QTextLayout::FormatRange range;
        range.start = start;
        range.length = length;
        range.format = underline;
        found.append(range);
    }
    return found;
}

void SpellingDecorator::check()
{
    m_timer.stop();
    QTextDocument *document = m_view->document();
    if (!m_enabled || !SpellChecker::shared().isAvailable() || DocumentText::length(document) <= 0)
        return;
    const auto [visible, visibleLength] = m_view->visibleCharacterRange();
    int dirtyFrom = -1;
    int dirtyTo = -1;
    for (QTextBlock block = document->findBlock(visible); block.isValid() && block.position() <= visible + visibleLength;
         block = block.next()) {
        const FormatRanges spelling = misspelledRanges(block);
        auto *decorations = BlockDecorations::of(block);
        if ((!decorations && spelling.isEmpty()) || (decorations && decorations->spelling == spelling))
            continue;
        BlockDecorations::ensure(block)->spelling = spelling;
        BlockDecorations::lay(block);
        if (dirtyFrom < 0)
            dirtyFrom = block.position();
        dirtyTo = block.position() + block.length() - 1;
    }
    // Relayout of the touched lines only; this is not an edit (no undo, no signal).
    if (dirtyFrom >= 0)
        document->markContentsDirty(dirtyFrom, std::max(dirtyTo - dirtyFrom, 1));
}

void SpellingDecorator::clear()
{
    m_timer.stop();
    QTextDocument *document = m_view->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        auto *decorations = BlockDecorations::of(block);
        if (decorations && !decorations->spelling.isEmpty()) {
            decorations->spelling.clear();
            BlockDecorations::lay(block);
            document->markContentsDirty(block.position(), std::max(block.length() - 1, 1));
        }
    }
}

void SpellingDecorator::addActions(QMenu *menu, int position)
{
    if (!m_enabled || m_view->isReadOnly())
        return;
    const QTextBlock block = m_view->document()->findBlock(position);
    const auto *decorations = BlockDecorations::of(block);
    if (!decorations)
        return;
    const int at = position - block.position();
    for (const auto &range : decorations->spelling) {
        if (at < range.start || at > range.start + range.length)
            continue;
        const int from = block.position() + range.start;
        const int to = from + range.length;
        const QString word = block.text().mid(range.start, range.length);
        QAction *first = menu->actions().value(0);
        QList<QAction *> added;
        const QStringList guesses = SpellChecker::shared().suggestions(word);
        for (const QString &guess : guesses) {
            auto *action = new QAction(guess, menu);
            connect(action, &QAction::triggered, this, [this, from, to, word, guess] {
                // The text may have changed since the menu opened: only the same word is replaced.
                if (DocumentText::between(m_view->document(), from, to) != word)
                    return;
                QTextCursor edit(m_view->document());
                edit.beginEditBlock();
                edit.setPosition(from);
                edit.setPosition(to, QTextCursor::KeepAnchor);
                edit.insertText(guess);
                edit.endEditBlock();
            });
            added.append(action);
        }
        if (guesses.isEmpty()) {
            auto *none = new QAction(tr("No Guesses Found"), menu);
            none->setEnabled(false);
            added.append(none);
        }
        auto *separator = new QAction(menu);
        separator->setSeparator(true);
        added.append(separator);
        auto *learn = new QAction(tr("Learn Spelling"), menu);
        connect(learn, &QAction::triggered, this, [this, word] {
            SpellChecker::shared().learn(word);
            check();
        });
        auto *ignore = new QAction(tr("Ignore Spelling"), menu);
        connect(ignore, &QAction::triggered, this, [this, word] {
            SpellChecker::shared().ignore(word);
            check();
        });
        added << learn << ignore;
        auto *separator2 = new QAction(menu);
        separator2->setSeparator(true);
        added.append(separator2);
        menu->insertActions(first, added);
        return;
    }
}
