#pragma once

#include "editor/EditorView.h"
#include "editor/SorvaneTextView.h"

#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <memory>

// Builds a shown editor of a fixed size, spelling off unless asked, so layout and
// the visible range are the same on every run.
inline std::unique_ptr<EditorView> makeEditor(const QString &text, EditorViewConfiguration configuration = {},
                                              const QUuid &id = QUuid::createUuid())
{
    auto editor = std::make_unique<EditorView>(id, text, configuration);
    editor->resize(800, 600);
    editor->show();
    return editor;
}

inline EditorViewConfiguration quietConfiguration()
{
    EditorViewConfiguration configuration;
    configuration.spellCheck = false;
    return configuration;
}

// Replays the deltas an editor reports onto a copy of its text: the copy must stay
// equal to what the editor shows.
class DeltaMirror
{
public:
    DeltaMirror(EditorView *editor, QString text)
        : m_text(std::move(text))
    {
        QObject::connect(editor, &EditorView::userEdited, editor, [this](int position, int removed, const QString &inserted) {
            m_text.replace(position, removed, inserted);
            ++m_count;
            m_largestInsert = std::max(m_largestInsert, int(inserted.size()));
        });
    }
    QString text() const { return m_text; }
    int count() const { return m_count; }
    int largestInsert() const { return m_largestInsert; }

private:
    QString m_text;
    int m_count = 0;
    int m_largestInsert = 0;
};

// The formats the layout draws at one document position, merged in order.
inline QTextCharFormat drawnFormat(EditorView *editor, int position)
{
    const QTextBlock block = editor->textView()->document()->findBlock(position);
    QTextCharFormat merged;
    const int at = position - block.position();
    for (const auto &range : block.layout()->formats()) {
        if (at >= range.start && at < range.start + range.length)
            merged.merge(range.format);
    }
    return merged;
}
