#pragma once

#include "AgentFileNode.h"

#include <QStringList>

#include <atomic>

// One walk of the AI workspace's folder for Markdown files, run off the GUI thread.
// Entries are examined as lstat sees them: a symbolic link is neither a folder nor a
// file and is skipped, so a link loop cannot keep the walk going. Hidden entries and
// build, dependency and tool folders are never entered.
class AgentWorkspaceWalk
{
public:
    static constexpr int fileCap = 6000;

    struct Result {
        QList<AgentFileNode> nodes;
        // Agent instruction files in the order the walk met them.
        QStringList agentDocPaths;
        int fileCount = 0;
        // The walk met an entry after the cap's last file.
        bool truncated = false;
        // A stop request cut the walk short; the result is incomplete.
        bool stopped = false;
    };

    AgentWorkspaceWalk() = delete;

    // Walks root. A set stop flag ends the walk at the next entry.
    static Result walk(const QString &root, const std::atomic_bool *stop = nullptr);

    static bool isMarkdownName(const QString &name);
    static bool isAgentDocName(const QString &name);
    static bool isExcludedFolder(const QString &name);
};
