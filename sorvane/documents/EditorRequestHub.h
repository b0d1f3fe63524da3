#pragma once

#include "MarkdownFormatAction.h"

#include <QObject>
#include <QUuid>

// The one process-wide channel by which menus, the document pane and the outline
// address the editor of a document. Each signal is broadcast: every editor hears
// it and acts only when the id is its own document's, so a request for a document
// without an open editor simply goes unanswered. Main thread only.
class EditorRequestHub : public QObject
{
    Q_OBJECT
public:
    static EditorRequestHub &shared();

    void requestFind(const QUuid &documentID) { Q_EMIT findRequested(documentID); }
    void requestReplace(const QUuid &documentID) { Q_EMIT replaceRequested(documentID); }
    void requestFormatting(const QUuid &documentID, MarkdownFormatAction action)
    {
        Q_EMIT formattingRequested(documentID, action);
    }
    void requestScrollToRange(const QUuid &documentID, int location, int length)
    {
        Q_EMIT scrollToRangeRequested(documentID, location, length);
    }

Q_SIGNALS:
    // "sorvane.showFind": open the find bar of the document's editor.
    void findRequested(const QUuid &documentID);
    // "sorvane.showReplace": open the find bar with its replace row.
    void replaceRequested(const QUuid &documentID);
    // "sorvane.formatting": apply one formatting action at the editor's selection.
    void formattingRequested(const QUuid &documentID, MarkdownFormatAction action);
    // "sorvane.scrollToRange": put the caret at `location` and bring the range
    // [location, location + length) into view; a stale range is clamped to the text.
    void scrollToRangeRequested(const QUuid &documentID, int location, int length);
};
