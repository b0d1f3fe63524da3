#include "AgentWorkspaceWalk.h"

#include <QCollator>
#include <QFile>
#include <QSet>

#include <algorithm>

#include <dirent.h>
#include <sys/stat.h>

namespace {

const QSet<QString> &excludedFolders()
{
    static const QSet<QString> names{
        QStringLiteral(".git"),        QStringLiteral("node_modules"), QStringLiteral(".build"),
        QStringLiteral("build"),       QStringLiteral("dist"),         QStringLiteral("out"),
        QStringLiteral("Pods"),        QStringLiteral(".next"),        QStringLiteral(".svelte-kit"),
        QStringLiteral(".nuxt"),       QStringLiteral(".venv"),        QStringLiteral("venv"),
        QStringLiteral("target"),      QStringLiteral(".idea"),        QStringLiteral(".vscode"),
        QStringLiteral("DerivedData"), QStringLiteral(".cache"),       QStringLiteral(".gradle"),
        QStringLiteral("bin"),         QStringLiteral("obj"),          QStringLiteral(".turbo"),
        QStringLiteral("vendor"),
    };
    return names;
}

class Walker
{
public:
    explicit Walker(const std::atomic_bool *stop)
        : m_stop(stop)
    {
        m_collator.setCaseSensitivity(Qt::CaseInsensitive);
        m_collator.setNumericMode(false);
    }

    QList<AgentFileNode> build(const QString &folder)
    {
        if (m_result.fileCount >= AgentWorkspaceWalk::fileCap) {
            m_result.truncated = true;
            return {};
        }
        const QList<Listed> listing = list(folder);
        QList<AgentFileNode> folders;
        QList<AgentFileNode> files;
        for (const Listed &entry : listing) {
            if (stopRequested())
                break;
            if (m_result.fileCount > AgentWorkspaceWalk::fileCap - 1) {
                m_result.truncated = true;
                break;
            }
            const QString path = folder.endsWith(QLatin1Char('/')) ? folder + entry.name : folder + QLatin1Char('/') + entry.name;
            unsigned char type = entry.type;
            if (type == DT_UNKNOWN) {
                struct stat info {};
                if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
                    continue;
                type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_LNK;
            }
            if (type == DT_DIR) {
                if (AgentWorkspaceWalk::isExcludedFolder(entry.name))
                    continue;
                QList<AgentFileNode> children = build(path);
                if (children.isEmpty())
                    continue;
                folders.append(AgentFileNode{path, entry.name, true, std::move(children)});
            } else if (type == DT_REG) {
                if (!AgentWorkspaceWalk::isMarkdownName(entry.name))
                    continue;
                ++m_result.fileCount;
                files.append(AgentFileNode{path, entry.name, false, {}});
                if (AgentWorkspaceWalk::isAgentDocName(entry.name))
                    m_result.agentDocPaths.append(path);
            }
            // Links, sockets, devices: skipped.
        }
        sortByName(folders);
        sortByName(files);
        folders.append(std::move(files));
        return folders;
    }

    bool stopRequested()
    {
        if (m_stop && m_stop->load(std::memory_order_relaxed))
            m_result.stopped = true;
        return m_result.stopped;
    }

    AgentWorkspaceWalk::Result m_result;

private:
    struct Listed {
        QString name;
        unsigned char type;
    };

    // The folder's visible entries in name order, so that a walk meets them in the
    // same order every time (the cap cuts at the same file). Empty when unreadable.
    static QList<Listed> list(const QString &folder)
    {
        QList<Listed> listing;
        DIR *dir = ::opendir(QFile::encodeName(folder).constData());
        if (!dir)
            return listing;
        while (const dirent *entry = ::readdir(dir)) {
            // Hidden entries are not listed at all, so they never count as "further".
            if (entry->d_name[0] == '.')
                continue;
            listing.append({QFile::decodeName(entry->d_name), entry->d_type});
        }
        ::closedir(dir);
        std::sort(listing.begin(), listing.end(), [](const Listed &a, const Listed &b) { return a.name < b.name; });
        return listing;
    }

    void sortByName(QList<AgentFileNode> &nodes) const
    {
        std::stable_sort(nodes.begin(), nodes.end(), [this](const AgentFileNode &a, const AgentFileNode &b) {
            return m_collator.compare(a.name, b.name) < 0;
        });
    }

    const std::atomic_bool *m_stop;
    QCollator m_collator;
};

} // namespace

AgentWorkspaceWalk::Result AgentWorkspaceWalk::walk(const QString &root, const std::atomic_bool *stop)
{
    Walker walker(stop);
    walker.m_result.nodes = walker.build(root);
    return std::move(walker.m_result);
}

bool AgentWorkspaceWalk::isMarkdownName(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QString extension = name.sliced(dot + 1).toLower();
    return extension == QLatin1String("md") || extension == QLatin1String("markdown")
        || extension == QLatin1String("mdown") || extension == QLatin1String("mkd")
        || extension == QLatin1String("mkdn") || extension == QLatin1String("mdx");
}

bool AgentWorkspaceWalk::isAgentDocName(const QString &name)
{
    const QString lower = name.toLower();
    return lower == QLatin1String("agents.md") || lower == QLatin1String("claude.md");
}

bool AgentWorkspaceWalk::isExcludedFolder(const QString &name)
{
    return excludedFolders().contains(name);
}
