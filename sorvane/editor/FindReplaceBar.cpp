#include "FindReplaceBar.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolButton>

FindReplaceBar::FindReplaceBar(QPlainTextEdit *editor, QWidget *parent)
    : QWidget(parent)
    , m_editor(editor)
    , m_findField(new QLineEdit(this))
    , m_replaceField(new QLineEdit(this))
    , m_matchCase(new QCheckBox(tr("Match Case"), this))
    , m_status(new QLabel(this))
    , m_replaceRow(new QWidget(this))
{
    m_findField->setPlaceholderText(tr("Find"));
    m_findField->setClearButtonEnabled(true);
    m_replaceField->setPlaceholderText(tr("Replace"));

    auto *previous = new QToolButton(this);
    previous->setIcon(QIcon::fromTheme(QStringLiteral("go-up")));
    previous->setText(tr("Previous"));
    previous->setToolTip(tr("Previous Match (Shift+Enter)"));
    auto *next = new QToolButton(this);
    next->setIcon(QIcon::fromTheme(QStringLiteral("go-down")));
    next->setText(tr("Next"));
    next->setToolTip(tr("Next Match (Enter)"));
    auto *done = new QToolButton(this);
    done->setIcon(QIcon::fromTheme(QStringLiteral("window-close")));
    done->setText(tr("Close"));
    done->setToolTip(tr("Close (Escape)"));
    done->setAutoRaise(true);
    auto *replace = new QPushButton(tr("Replace"), m_replaceRow);
    auto *replaceAll = new QPushButton(tr("Replace All"), m_replaceRow);

    auto *findRow = new QHBoxLayout;
    findRow->addWidget(m_findField, 1);
    findRow->addWidget(previous);
    findRow->addWidget(next);
    findRow->addWidget(m_matchCase);
    findRow->addWidget(m_status);
    findRow->addWidget(done);
    auto *replaceLayout = new QHBoxLayout(m_replaceRow);
    replaceLayout->setContentsMargins(0, 0, 0, 0);
    replaceLayout->addWidget(m_replaceField, 1);
    replaceLayout->addWidget(replace);
    replaceLayout->addWidget(replaceAll);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(4);
    layout->addLayout(findRow);
    layout->addWidget(m_replaceRow);

    connect(m_findField, &QLineEdit::textEdited, this, [this] {
        // Incremental: the match grows from where the current one starts.
        find(m_editor->textCursor().selectionStart(), false);
    });
    connect(m_findField, &QLineEdit::returnPressed, this, [this] { findNext(); });
    connect(m_replaceField, &QLineEdit::returnPressed, this, [this] { replaceCurrent(); });
    connect(previous, &QToolButton::clicked, this, [this] { findPrevious(); });
    connect(next, &QToolButton::clicked, this, [this] { findNext(); });
    connect(m_matchCase, &QCheckBox::toggled, this,
            [this] { find(m_editor->textCursor().selectionStart(), false); });
    connect(replace, &QPushButton::clicked, this, [this] { replaceCurrent(); });
    connect(replaceAll, &QPushButton::clicked, this, [this] { this->replaceAll(); });
    connect(done, &QToolButton::clicked, this, &FindReplaceBar::close);

    hide();
}

bool FindReplaceBar::isReplaceShown() const
{
    return !m_replaceRow->isHidden();
}

void FindReplaceBar::open(bool withReplace)
{
    const QString selected = m_editor->textCursor().selectedText();
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
        m_findField->setText(selected);
    m_replaceRow->setVisible(withReplace);
    m_status->clear();
    show();
    m_findField->setFocus(Qt::ShortcutFocusReason);
    m_findField->selectAll();
}

void FindReplaceBar::close()
{
    hide();
    m_editor->setFocus(Qt::OtherFocusReason);
    Q_EMIT closed();
}

void FindReplaceBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && (event->modifiers() & Qt::ShiftModifier)) {
        findPrevious();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool FindReplaceBar::findNext()
{
    return find(m_editor->textCursor().selectionEnd(), false);
}

bool FindReplaceBar::findPrevious()
{
    return find(m_editor->textCursor().selectionStart(), true);
}

bool FindReplaceBar::find(int from, bool backward)
{
    const QString needle = m_findField->text();
    if (needle.isEmpty()) {
        m_status->clear();
        return false;
    }
    QTextDocument::FindFlags flags;
    if (m_matchCase->isChecked())
        flags |= QTextDocument::FindCaseSensitively;
    if (backward)
        flags |= QTextDocument::FindBackward;
    QTextDocument *document = m_editor->document();
    QTextCursor found = document->find(needle, from, flags);
    if (found.isNull()) {
        // Wrap around once.
        found = document->find(needle, backward ? document->characterCount() - 1 : 0, flags);
    }
    if (!found.isNull()) {
        m_editor->setTextCursor(found);
        m_editor->ensureCursorVisible();
    }
    showResult(!found.isNull());
    return !found.isNull();
}

bool FindReplaceBar::selectionIsMatch() const
{
    const QString selected = m_editor->textCursor().selectedText();
    return !selected.isEmpty()
           && selected.compare(m_findField->text(), m_matchCase->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0;
}

bool FindReplaceBar::replaceCurrent()
{
    if (m_editor->isReadOnly() || m_findField->text().isEmpty())
        return false;
    if (selectionIsMatch()) {
        QTextCursor cursor = m_editor->textCursor();
        cursor.insertText(m_replaceField->text());
        m_editor->setTextCursor(cursor);
    }
    return findNext();
}

int FindReplaceBar::replaceAll()
{
    const QString needle = m_findField->text();
    if (m_editor->isReadOnly() || needle.isEmpty())
        return 0;
    QTextDocument::FindFlags flags;
    if (m_matchCase->isChecked())
        flags |= QTextDocument::FindCaseSensitively;
    QTextDocument *document = m_editor->document();
    const QString replacement = m_replaceField->text();
    QTextCursor edit(document);
    int count = 0;
    int from = 0;
    edit.beginEditBlock();
    for (;;) {
        QTextCursor found = document->find(needle, from, flags);
        if (found.isNull())
            break;
        found.insertText(replacement);
        // Continue after the inserted text so a replacement holding the needle ends.
        from = found.position();
        ++count;
    }
    edit.endEditBlock();
    m_status->setText(count == 0 ? tr("Not found") : tr("%n replaced", nullptr, count));
    return count;
}

void FindReplaceBar::showResult(bool found)
{
    m_status->setText(found ? QString() : tr("Not found"));
}
