#pragma once

#include <QList>
#include <QString>

// One entry of the AI workspace's tree: a Markdown file, or a folder with Markdown
// files somewhere below it. A plain value: the walk builds the whole tree on a worker
// and hands it over in one piece.
struct AgentFileNode {
    // The entry's path as the walk reached it; unique within a tree.
    QString id;
    QString name;
    bool isDirectory = false;
    // Folders only, never empty: folders without Markdown files are left out.
    QList<AgentFileNode> children;

    QString path() const { return id; }
    friend bool operator==(const AgentFileNode &, const AgentFileNode &) = default;
};
