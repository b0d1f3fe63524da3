#pragma once

#include "WorkspaceSearchResult.h"

#include <QList>
#include <QUrl>

// One matching file of a folder search: how many lines matched and the first few.
struct WorkspaceSearchFileSummary {
    QUrl url;
    // Matching lines counted, at most the per-file cap.
    int matchCount = 0;
    // The file has more matching lines than matchCount says.
    bool countCapped = false;
    // The first matching lines in file order.
    QList<WorkspaceSearchResult> snippets;
};
