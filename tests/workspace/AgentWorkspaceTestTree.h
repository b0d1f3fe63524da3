#pragma once

#include "TestFiles.h"
#include "workspace/AgentFileNode.h"

#include <QDir>
#include <QFile>
#include <QStringList>

// Builds a folder tree from lines: "a/b.md" a file, "a/" a folder, "x -> y" a
// symbolic link at x pointing to y (as written, relative to x's folder).
inline void makeTree(const QString &root, const QStringList &lines)
{
    for (const QString &line : lines) {
        const qsizetype arrow = line.indexOf(QStringLiteral(" -> "));
        if (arrow >= 0) {
            const QString at = root + QLatin1Char('/') + line.left(arrow);
            QDir().mkpath(QFileInfo(at).path());
            QFile::link(line.sliced(arrow + 4), at);
        } else if (line.endsWith(QLatin1Char('/'))) {
            QDir().mkpath(root + QLatin1Char('/') + line);
        } else {
            writeFile(root + QLatin1Char('/') + line, QByteArray("# x\n"));
        }
    }
}

// The tree as indented lines, two spaces a level, folders with a trailing "/".
inline QString outline(const QList<AgentFileNode> &nodes, int depth = 0)
{
    QString text;
    for (const AgentFileNode &node : nodes) {
        text += QString(depth * 2, QLatin1Char(' ')) + node.name + (node.isDirectory ? QStringLiteral("/") : QString())
            + QLatin1Char('\n');
        text += outline(node.children, depth + 1);
    }
    return text;
}

// Relative paths of a list of absolute ones under root.
inline QStringList relativeTo(const QString &root, const QStringList &paths)
{
    QStringList relative;
    for (const QString &path : paths)
        relative.append(QDir(root).relativeFilePath(path));
    return relative;
}

// Many small Markdown files named so that they list in order: "f00000.md"...
inline void makeNumberedFiles(const QString &folder, int count)
{
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QFile file(folder + QStringLiteral("/f%1.md").arg(i, 5, 10, QLatin1Char('0')));
        file.open(QIODevice::WriteOnly);
    }
}
