#pragma once

#include "WorkspaceSearchFileSummary.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <atomic>
#include <functional>
#include <optional>

// The work of one folder search, off the GUI thread: walks a folder tree (hidden
// entries, symbolic links and dependency folders left out), reads each text file as
// strict UTF-8 and collects the matching lines. Plain values in, plain values out.
class WorkspaceSearchWalk
{
public:
    // Files read per search, matching lines counted per file, lines kept for display.
    static constexpr int fileCap = 2001;
    static constexpr int lineCap = 21;
    static constexpr int snippetCount = 3;
    // Larger files are passed over (they still count as read).
    static constexpr qint64 maxFileBytes = 16 * 1024 * 1024;

    struct Outcome {
        // Most matches first; equal counts in walk order.
        QList<WorkspaceSearchFileSummary> files;
        int total = 0;
        // The file cap stopped the walk, or some file's count was capped: there may be
        // more matches than total.
        bool capped = false;
    };

    struct FileMatches {
        QList<WorkspaceSearchResult> results;
        // More matching lines than results holds.
        bool capped = false;
    };

    // Searches the tree under root. Checks stop before each entry and returns what it
    // has when it is set. beforeEntry, when given, runs before each check.
    static Outcome run(const QString &root, const QString &query, bool caseSensitive, const std::atomic_bool &stop,
                       const std::function<void()> &beforeEntry = {});

    // The matching lines of one text, one result per line at its first match.
    static FileMatches searchText(QStringView text, QStringView query, bool caseSensitive, const QUrl &url);

    // The file's text; none when it cannot be opened, is larger than maxFileBytes or is
    // not valid UTF-8.
    static std::optional<QString> readText(const QByteArray &path);
};
