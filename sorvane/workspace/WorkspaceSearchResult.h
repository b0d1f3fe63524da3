#pragma once

#include <QString>
#include <QUrl>

// One matching line of a folder search.
struct WorkspaceSearchResult {
    QUrl url;
    // 1-based; a CR LF pair ends one line.
    int lineNumber = 0;
    // The whole line as read, not trimmed.
    QString lineText;
    // The first match within lineText, in UTF-16 code units.
    qsizetype matchStart = 0;
    qsizetype matchLength = 0;
};
